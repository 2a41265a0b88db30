#include "services/Tasks.h"

#include "platform/Error.h"
#include "services/AppLog.h"

namespace {

QCoro::Task<> guarded(QCoro::Task<> task, QString category)
{
    try {
        co_await std::move(task);
    } catch (...) {
        AppLog::error(category, describe(std::current_exception()));
    }
}

} // namespace

void startTask(QCoro::Task<> task, QString category)
{
    // The returned task is dropped on purpose: QCoro keeps the coroutine alive until it finishes.
    guarded(std::move(task), std::move(category));
}

#pragma once

#include <QCoroFuture>
#include <QCoroTask>
#include <QFuture>
#include <QtConcurrent>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

namespace detail {

/** What blocking work ended with: its value, or what it threw. */
template<typename Result> struct BackgroundOutcome
{
    std::optional<Result> value;
    std::exception_ptr failure;
};

template<> struct BackgroundOutcome<void>
{
    std::exception_ptr failure;
};

template<typename Work> BackgroundOutcome<std::invoke_result_t<Work>> runCatching(Work &work)
{
    using Result = std::invoke_result_t<Work>;
    BackgroundOutcome<Result> outcome;
    try {
        if constexpr (std::is_void_v<Result>) {
            work();
        } else {
            outcome.value.emplace(work());
        }
    } catch (...) {
        outcome.failure = std::current_exception();
    }
    return outcome;
}

} // namespace detail

/**
 * Runs blocking work (file copies, syncing to disk) on a worker thread, so that the GUI thread never
 * waits for the disk, and resumes the awaiting coroutine with its result. Whatever the work throws is
 * thrown again in the coroutine, as if the work had run there. The work must own what it uses: the
 * caller may be gone before it ends.
 */
template<typename Work> auto inBackground(Work work) -> QCoro::Task<std::invoke_result_t<Work>>
{
    using Result = std::invoke_result_t<Work>;
    // Made before the co_await: g++ 12 mishandles a lambda built inside a co_await expression.
    QFuture<detail::BackgroundOutcome<Result>> running =
        QtConcurrent::run([work = std::move(work)]() mutable { return detail::runCatching(work); });
    detail::BackgroundOutcome<Result> outcome = co_await running;
    if (outcome.failure) {
        std::rethrow_exception(outcome.failure);
    }
    if constexpr (!std::is_void_v<Result>) {
        co_return std::move(*outcome.value);
    }
}

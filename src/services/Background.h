#pragma once

#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent>

#include <atomic>
#include <exception>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

/**
 * Blocking work (file copies, syncing to disk) run on a worker thread, so that the GUI thread never
 * waits for the disk. A coroutine starts the work, awaits the future it gets (QCoroFuture) and hands
 * the outcome to take(), which gives back the work's value or throws again what the work threw, as if
 * it had run in the coroutine. The work must own what it uses: the caller may be gone before it ends.
 *
 *     QFuture<Background::Outcome<void>> copying = Background::start(std::move(work));
 *     Background::take(co_await copying);
 *
 * Starting is a plain function, not a coroutine: g++ 12 mishandles objects with destructors passed
 * by value into coroutines and lambdas built inside co_await expressions.
 */
namespace Background {

namespace detail {
inline std::atomic<bool> whereStarted{false};
} // namespace detail

/**
 * From now on every piece of work, here and in the writers' queues, runs on the thread that starts
 * it, before the start returns. Only for the crash tests' driver: strace counts each thread's calls on
 * their own, so a step on a worker would never be one at which the driver is killed.
 */
inline void runWhereStarted()
{
    detail::whereStarted = true;
}

inline bool runsWhereStarted()
{
    return detail::whereStarted;
}

/** Runs `job` on `pool`; with runWhereStarted(), here and now. */
inline void post(QThreadPool &pool, std::function<void()> job)
{
    if (runsWhereStarted()) {
        job();
    } else {
        pool.start(std::move(job));
    }
}

template<typename Result> struct Outcome
{
    std::optional<Result> value;
    std::exception_ptr failure;
};

template<> struct Outcome<void>
{
    std::exception_ptr failure;
};

template<typename Work> QFuture<Outcome<std::invoke_result_t<Work>>> start(Work work)
{
    auto caught = [work = std::move(work)]() mutable {
        using Result = std::invoke_result_t<Work>;
        Outcome<Result> outcome;
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
    };
    if (runsWhereStarted()) {
        return QtFuture::makeReadyFuture(caught());
    }
    return QtConcurrent::run(std::move(caught));
}

inline void take(const Outcome<void> &outcome)
{
    if (outcome.failure) {
        std::rethrow_exception(outcome.failure);
    }
}

template<typename Result> Result take(Outcome<Result> outcome)
{
    if (outcome.failure) {
        std::rethrow_exception(outcome.failure);
    }
    return std::move(*outcome.value);
}

} // namespace Background

#pragma once

#include "platform/Error.h"

#include <QCoroTask>
#include <QString>

#include <functional>
#include <optional>

/** What a task produced: its value, or the description of what it threw. */
template<typename T> struct Outcome
{
    std::optional<T> value;
    std::optional<QString> error;
};

template<> struct Outcome<void>
{
    bool done = false;
    std::optional<QString> error;
};

namespace detail {
template<typename T> QCoro::Task<Outcome<T>> capture(QCoro::Task<T> task)
{
    Outcome<T> outcome;
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            outcome.done = true;
        } else {
            outcome.value = co_await std::move(task);
        }
    } catch (...) {
        outcome.error = describe(std::current_exception());
    }
    co_return outcome;
}
} // namespace detail

/**
 * Runs a task to completion on a local event loop. Exceptions are caught inside the awaited task,
 * because QCoro 0.8's waitFor never returns when the task it waits for throws.
 */
template<typename T> Outcome<T> await(QCoro::Task<T> task)
{
    return QCoro::waitFor(detail::capture(std::move(task)));
}

/** The description of the `Failure` that `action` threw; nothing when it returned. Other exceptions pass. */
template<typename Failure = Error> std::optional<QString> failureOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const Failure &failure) {
        return failure.description();
    }
    return std::nullopt;
}

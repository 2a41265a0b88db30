#pragma once

#include <utility>

/** Assigns `value` to a published field and says whether it changed, so the setter emits only then. */
template<typename T, typename U>
bool assignChanged(T &field, U &&value)
{
    if (field == value) {
        return false;
    }
    field = std::forward<U>(value);
    return true;
}

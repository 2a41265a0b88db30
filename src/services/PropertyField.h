#pragma once

#include <utility>

/** Assigns `value` to a published field and says whether it changed, so the setter emits only then. */
template<typename T, typename U> bool assignChanged(T &field, U &&value)
{
    if (field == value) {
        return false;
    }
    field = std::forward<U>(value);
    return true;
}

namespace PropertyFieldDetail {

template<typename Signal> struct Owner;

template<typename Class> struct Owner<void (Class::*)()>
{
    using type = Class;
};

} // namespace PropertyFieldDetail

/**
 * A field a QObject publishes as a property, with the owner's change signal: reading it reads the
 * value; set() assigns a different value and emits `Changed`, and leaves an equal one alone. It takes
 * the place of a hand-written setter that compares, assigns and emits.
 *
 *     PropertyField<QString, &Model::statusChanged> m_status{this};
 */
template<typename T, auto Changed> class PropertyField
{
    using Owner = typename PropertyFieldDetail::Owner<decltype(Changed)>::type;

public:
    explicit PropertyField(Owner *owner, T initial = T())
        : m_owner(owner)
        , m_value(std::move(initial))
    {}
    PropertyField(const PropertyField &) = delete;
    PropertyField &operator=(const PropertyField &) = delete;

    const T &get() const { return m_value; }
    operator const T &() const { return m_value; }
    const T *operator->() const { return &m_value; }

    void set(T value)
    {
        if (assignChanged(m_value, std::move(value))) {
            (m_owner->*Changed)();
        }
    }

private:
    Owner *const m_owner;
    T m_value;
};

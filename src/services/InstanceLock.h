#pragma once

#include <QString>

#include <optional>

/**
 * The exclusive advisory lock on a guest's lock file (an Android device's instance.lock, the Linux
 * machine's linux.lock), shared with every other copy of the application. The descriptor is
 * close-on-exec so no guest process inherits it, and the kernel drops the lock when the application
 * dies, so a crash never leaves a guest locked.
 */
namespace InstanceLock {

enum class Outcome { Locked, CannotOpen, HeldElsewhere };

struct Attempt
{
    Outcome outcome;
    int descriptor = -1;
};

/** Opens (creating it 0600) and locks without waiting. */
Attempt acquire(const QString &path);
/** Unlocks and closes `descriptor` if it is open, and sets it to -1. */
void release(int &descriptor);

/** A lock held for one operation, released when it goes out of scope. */
class Held
{
public:
    Held() = default;
    explicit Held(int descriptor)
        : m_descriptor(descriptor)
    {}
    Held(Held &&other) noexcept
        : m_descriptor(other.m_descriptor)
    {
        other.m_descriptor = -1;
    }
    Held &operator=(Held &&other) noexcept;
    Held(const Held &) = delete;
    Held &operator=(const Held &) = delete;
    ~Held() { release(m_descriptor); }

    bool held() const { return m_descriptor >= 0; }

private:
    int m_descriptor = -1;
};

/** Takes the lock, or throws VMFailure with `cannotOpen` or `heldElsewhere`. */
Held take(const QString &path, const QString &cannotOpen, const QString &heldElsewhere);
/** Takes the lock when nobody holds it; nothing when it is held elsewhere or cannot be opened. */
std::optional<Held> tryTake(const QString &path);

} // namespace InstanceLock

#pragma once

#include <QString>

/**
 * The exclusive advisory lock on a device's instance.lock, shared with every other copy of the
 * application. The descriptor is close-on-exec so no emulator inherits it, and the kernel drops the
 * lock when the application dies, so a crash never leaves a device locked.
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

} // namespace InstanceLock

#pragma once

#include <QCoroTask>
#include <QString>

#include <chrono>
#include <functional>

class VMFleet;
class VMModel;

/** Finding the guest a command names, and what the command line needs to know about its state. */
namespace Guests {

/**
 * The Android device whose id is `nameOrId`, or else the only one with that name. Throws
 * CommandFailure for an unknown or ambiguous name.
 */
VMModel &android(const VMFleet &fleet, const QString &nameOrId);

/** The key of an Android device's owner note. */
QString androidKey(const VMModel &device);
/** The key of the Linux machine's owner note. */
inline QString linuxKey()
{
    return QStringLiteral("linux");
}

/**
 * Whether some process holds the advisory lock on `lockFile`. A file that does not exist is held by
 * nobody; this never creates it.
 */
bool lockHeld(const QString &lockFile);

/**
 * Asks the corvanectl process that runs a guest to end it — SIGTERM stops it in order, SIGUSR1 forces
 * it — and waits until that process has let the guest's lock and note go. A guest whose lock is held
 * without a note is the window's, and is refused. Nothing running is success.
 */
QCoro::Task<int> endOwned(QString key, QString lockFile, QString name, int signal);

/** Resumes once `done` is true, looking every `interval`; the event loop runs meanwhile. */
QCoro::Task<> waitUntil(std::function<bool()> done,
                        std::chrono::milliseconds interval = std::chrono::milliseconds(50));

} // namespace Guests

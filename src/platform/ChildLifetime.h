#pragma once

#include <QtGlobal>

class QProcess;

/** How a supervised child is kept from outliving this application. */
enum class OrphanGuard {
    /** The kernel kills the child when the thread that started it dies (Linux only). */
    ParentDeathSignal,
    /** A small watchdog process kills the child once this application's end of a pipe closes. */
    Watchdog,
};

#ifdef Q_OS_LINUX
inline constexpr OrphanGuard defaultOrphanGuard = OrphanGuard::ParentDeathSignal;
#else
// macOS has no parent-death signal, so the watchdog stands in for it there.
inline constexpr OrphanGuard defaultOrphanGuard = OrphanGuard::Watchdog;
#endif

/**
 * Makes one QProcess start safe for a long-lived child: the child inherits nothing but its standard
 * channels (an advisory lock held by the application must not live on in it), and it dies with the
 * application. One instance serves one start.
 */
class ChildLifetime
{
public:
    explicit ChildLifetime(OrphanGuard guard);
    ~ChildLifetime();
    ChildLifetime(const ChildLifetime &) = delete;
    ChildLifetime &operator=(const ChildLifetime &) = delete;

    /** Installs the child-side setup on `process`; throws SystemError when the watchdog's pipe cannot be made. */
    void apply(QProcess &process);
    /** The child has ended: the watchdog, if any, leaves without killing anything. */
    void childEnded();

    /**
     * Applies a lifetime to `process` that is kept with the process object and ended when the child
     * has finished. For callers that need no say in when the guard ends. Throws like apply().
     */
    static void attach(QProcess &process, OrphanGuard guard = defaultOrphanGuard);

private:
    OrphanGuard m_guard;
    int m_watchdogRead = -1;
    int m_watchdogWrite = -1;
};

#include "platform/ChildLifetime.h"

#include "platform/Error.h"

#include <QProcess>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace {

int descriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return 1 << 16;
    }
    return int(std::min<rlim_t>(limit.rlim_cur, 1 << 20));
}

// Everything below runs in the forked child, before exec: async-signal-safe calls only.

template<std::size_t N>
[[noreturn]] void failInChild(const char (&message)[N])
{
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message, N - 1);
    ::_exit(127);
}

void markInheritedCloseOnExec(int limit)
{
#ifdef Q_OS_LINUX
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) {
        return;
    }
#endif
    for (int fd = 3; fd < limit; ++fd) {
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC)) {
            ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
        }
    }
}

void closeAllBut(int keep, int limit)
{
#ifdef Q_OS_LINUX
    if ((keep == 0 || ::close_range(0, unsigned(keep) - 1, 0) == 0) && ::close_range(unsigned(keep) + 1, ~0U, 0) == 0) {
        return;
    }
#endif
    for (int fd = 0; fd < limit; ++fd) {
        if (fd != keep) {
            ::close(fd);
        }
    }
}

// Forks the watchdog off the child that is about to become the supervised program. The watchdog
// holds only the read end of a pipe whose write end stays in the application alone.
void startWatchdog(int readEnd, int limit)
{
    const pid_t child = ::getpid();
    const pid_t watchdog = ::fork();
    if (watchdog < 0) {
        failInChild("corvane: cannot start the watchdog of this process\n");
    }
    if (watchdog > 0) {
        return;
    }
    closeAllBut(readEnd, limit);
    // Keystrokes meant for the terminal's foreground job must not remove the guard.
    ::signal(SIGINT, SIG_IGN);
    ::signal(SIGHUP, SIG_IGN);
    char farewell = 0;
    ssize_t count = 0;
    do {
        count = ::read(readEnd, &farewell, 1);
    } while (count < 0 && errno == EINTR);
    // End of file without a farewell byte: the application is gone. While the child is still this
    // process's parent it has not exited, so its process id cannot belong to anyone else yet.
    if (count == 0 && ::getppid() == child) {
        ::kill(child, SIGKILL);
    }
    ::_exit(0);
}

} // namespace

ChildLifetime::ChildLifetime(OrphanGuard guard)
    : m_guard(guard)
{
#ifndef Q_OS_LINUX
    m_guard = OrphanGuard::Watchdog;
#endif
}

ChildLifetime::~ChildLifetime()
{
    // Closing without a farewell makes the watchdog kill a child that is somehow still running.
    for (const int fd : {m_watchdogRead, m_watchdogWrite}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void ChildLifetime::apply(QProcess &process)
{
    const int limit = descriptorLimit();
    const pid_t application = ::getpid();
    if (m_guard == OrphanGuard::Watchdog) {
        int ends[2];
        if (::pipe(ends) != 0) {
            throw SystemError::fromErrno(errno);
        }
        for (const int fd : ends) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
        m_watchdogRead = ends[0];
        m_watchdogWrite = ends[1];
    }
    const OrphanGuard guard = m_guard;
    const int readEnd = m_watchdogRead;
    process.setChildProcessModifier([guard, application, limit, readEnd] {
        markInheritedCloseOnExec(limit);
        if (guard == OrphanGuard::Watchdog) {
            startWatchdog(readEnd, limit);
            return;
        }
#ifdef Q_OS_LINUX
        // The signal follows the death of the starting thread, which is the GUI thread here.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != application) {
            failInChild("corvane: the application ended while this process was starting\n");
        }
#else
        Q_UNUSED(application);
#endif
    });
}

void ChildLifetime::childEnded()
{
    if (m_watchdogWrite < 0) {
        return;
    }
    // The read end stays open until after the write, so the write cannot raise SIGPIPE.
    const char farewell = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_watchdogWrite, &farewell, 1);
    ::close(m_watchdogWrite);
    ::close(m_watchdogRead);
    m_watchdogWrite = m_watchdogRead = -1;
}

void ChildLifetime::attach(QProcess &process, OrphanGuard guard)
{
    auto lifetime = std::make_shared<ChildLifetime>(guard);
    lifetime->apply(process);
    // The connection holds the lifetime, so it goes with the process object at the latest.
    QObject::connect(&process, &QProcess::finished, &process, [lifetime] { lifetime->childEnded(); });
}

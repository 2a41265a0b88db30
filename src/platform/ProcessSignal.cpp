#include "platform/ProcessSignal.h"

#include <cerrno>
#include <csignal>
#include <sys/types.h>

namespace ProcessSignal {

bool send(qint64 pid, int signal)
{
    // A value that does not fit pid_t would wrap around to another process or a group.
    if (pid <= 0 || qint64(pid_t(pid)) != pid) {
        errno = ESRCH;
        return false;
    }
    return ::kill(pid_t(pid), signal) == 0;
}

bool kill(qint64 pid)
{
    return send(pid, SIGKILL);
}

} // namespace ProcessSignal

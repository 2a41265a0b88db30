#pragma once

#include <QtGlobal>

/**
 * Signals to other processes by id. Only a single, real process is ever addressed: an id of zero or
 * below would reach a whole process group or every process of the user, so it is refused.
 */
namespace ProcessSignal {

/** Sends `signal` to the process `pid`; false when refused or the system could not deliver it. */
bool send(qint64 pid, int signal);
/** Ends the process `pid` at once, without the chance to clean up. */
bool kill(qint64 pid);

} // namespace ProcessSignal

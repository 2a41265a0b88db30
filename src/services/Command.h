#pragma once

#include <QCoroTask>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

/**
 * Runs short-lived outside programs to completion and hashes files.
 *
 * Every run is recorded in the global log under "命令" before it starts and after it ends.
 */
namespace Command {

/** The exit statuses nearly every caller accepts. A function, not a braced default: g++ 12 rejects
 *  braced lists inside co_await expressions, which is where the runner is called. */
inline QSet<int> successOnly()
{
    return QSet<int>{0};
}

/**
 * Runs `executable` (an absolute path; never looked up on PATH, never through a shell) with
 * `arguments` passed one by one, and returns what it printed on standard output and standard error
 * together, in the order written, decoded as UTF-8 and not trimmed. Standard input reads end of file.
 *
 * `environment`, when given, is the program's complete environment; otherwise it inherits ours.
 * After `timeoutSeconds` the program receives SIGTERM and five seconds later SIGKILL.
 *
 * Throws VMFailure when the program ends with a status outside `acceptedExitCodes` or by a signal
 * (the message is the tail of its output), and SystemError when it cannot be launched.
 */
QCoro::Task<QString> run(QString executable, QStringList arguments,
                         std::optional<QMap<QString, QString>> environment = std::nullopt,
                         double timeoutSeconds = 60, QSet<int> acceptedExitCodes = successOnly());

/**
 * The SHA-1 digest of the whole file as 40 lowercase hexadecimal digits, computed on a worker
 * thread with bounded memory. Throws SystemError when the file cannot be opened or read.
 */
QCoro::Task<QString> checksum(QString file);

} // namespace Command

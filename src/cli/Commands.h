#pragma once

#include <QCoroTask>
#include <QString>
#include <QStringList>

class SignalPipe;

/**
 * The sub-commands. Each returns the program's exit status, or throws UsageError (status 2) or
 * CommandFailure (status 1); a model's own error becomes a CommandFailure carrying its message.
 */
namespace Commands {

/** Exit statuses; stable, scripts depend on them. */
enum Status { Success = 0, Failed = 1, Usage = 2 };

/** Runs the program on its arguments (without the program name). Never throws. */
QCoro::Task<int> run(QStringList arguments, SignalPipe *signals);

/** The help of `command` ("" for the program), or an empty string for an unknown one. */
QString help(const QString &command);

QCoro::Task<int> list(QStringList words);
QCoro::Task<int> android(QStringList words, SignalPipe *signals);
QCoro::Task<int> snapshot(QStringList words);
QCoro::Task<int> linuxMachine(QStringList words, SignalPipe *signals);
QCoro::Task<int> ios(QStringList words);
QCoro::Task<int> windows(QStringList words);
QCoro::Task<int> installAndroid(QStringList words, SignalPipe *signals);

} // namespace Commands

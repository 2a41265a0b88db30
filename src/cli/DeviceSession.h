#pragma once

#include <QCoroTask>
#include <QStringList>

class SignalPipe;
class VMModel;

/**
 * Runs one Android device in this process, from start to an orderly stop: the foreground form of
 * `android start` and the script form `android run`. SIGINT and SIGTERM stop the device as the quit
 * guard does; SIGUSR1 forces it to quit.
 */
namespace DeviceSession {

/** Starts the device and stays until it stops or a signal arrives; then stops it. */
QCoro::Task<int> foreground(VMModel *device, SignalPipe *signals);

/**
 * Starts the device, runs `command` once it has booted with ANDROID_SERIAL and ANDROID_ADB_SERVER_PORT
 * pointing at it, stops it, rolls back to the latest snapshot when asked, and returns the command's
 * exit status.
 */
QCoro::Task<int> run(VMModel *device, QStringList command, bool rollback, SignalPipe *signals);

} // namespace DeviceSession

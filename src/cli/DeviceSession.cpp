#include "cli/DeviceSession.h"

#include "android/VMModel.h"
#include "cli/Commands.h"
#include "cli/Guests.h"
#include "cli/OwnerNote.h"
#include "cli/SignalPipe.h"
#include "cli/Terminal.h"
#include "platform/ProcessSignal.h"
#include "services/ProcessWait.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <csignal>

using namespace std::chrono_literals;

namespace {

const auto slowBoot = QStringLiteral("开机耗时较长");

OwnerNote claimOwnership(const VMModel &device)
{
    if (!device.installed()) {
        throw CommandFailure{QStringLiteral("无法启动 ") + device.name() +
                             QStringLiteral("：安卓环境尚未安装，请先在 Corvane 窗口中安装。")};
    }
    std::optional<OwnerNote> note = OwnerNote::claim(Guests::androidKey(device));
    if (!note) {
        const std::optional<OwnerNote::Owner> owner = OwnerNote::read(Guests::androidKey(device));
        throw CommandFailure{
            QStringLiteral("无法启动 ") + device.name() +
            QStringLiteral("：此实例已由另一个 corvanectl 进程运行") +
            (owner ? QStringLiteral("（PID ") + QString::number(owner->pid) + QStringLiteral("）")
                   : QString()) +
            QStringLiteral("。")};
    }
    return std::move(*note);
}

/** Starts the device; returns once it has booted, or earlier when a signal arrives. Throws on failure. */
QCoro::Task<> boot(VMModel *device, OwnerNote *note, SignalPipe *signals)
{
    device->start();
    co_await Guests::waitUntil([device] { return !device->busy(); });
    if (!device->running()) {
        const QString reason = device->error().isEmpty() ? device->status() : device->error();
        throw CommandFailure{QStringLiteral("无法启动 ") + device->name() + QStringLiteral("：") + reason};
    }
    note->setPort(device->port());
    Terminal::err(device->name() + QStringLiteral(" 启动中 · 端口 ") + QString::number(device->port()) +
                  QStringLiteral(" · emulator-") + QString::number(device->port()));
    co_await Guests::waitUntil([device, signals] {
        return device->booted() || !device->running() || device->status() == slowBoot || signals->received();
    });
    if (signals->received() || device->booted()) {
        co_return;
    }
    if (device->running()) {
        // Not booted in time: the device must not be left behind by a command that failed.
        co_await device->stop();
        co_await Guests::waitUntil([device] { return !device->running(); });
        throw CommandFailure{device->name() + QStringLiteral(" 开机超时，已停止。")};
    }
    throw CommandFailure{QStringLiteral("无法启动 ") + device->name() + QStringLiteral("：") +
                         (device->error().isEmpty() ? device->status() : device->error())};
}

/** Ends the device as the signal asks: SIGUSR1 forces it, anything else stops it in order. */
QCoro::Task<> end(VMModel *device, int signal)
{
    if (!device->running()) {
        co_return;
    }
    if (signal == SIGUSR1) {
        co_await device->forceQuit();
    } else {
        co_await device->stop();
    }
    co_await Guests::waitUntil([device] { return !device->running(); });
    Terminal::err(device->status() + QStringLiteral("：") + device->name());
}

} // namespace

namespace DeviceSession {

QCoro::Task<int> foreground(VMModel *device, SignalPipe *signals)
{
    OwnerNote note = claimOwnership(*device);
    co_await boot(device, &note, signals);
    if (device->booted()) {
        Terminal::err(device->name() + QStringLiteral(" 已开机。按 Ctrl+C 停止。"));
    }
    co_await Guests::waitUntil([device, signals] { return !device->running() || signals->received(); });
    if (device->running()) {
        co_await end(device, signals->received());
        co_return Commands::Success;
    }
    if (!device->error().isEmpty()) {
        throw CommandFailure{device->name() + QStringLiteral("：") + device->error()};
    }
    Terminal::err(device->name() + QStringLiteral(" 已停止。"));
    co_return Commands::Success;
}

QCoro::Task<int> run(VMModel *device, QStringList command, bool rollback, SignalPipe *signals)
{
    if (rollback && !device->latestSnapshot()) {
        throw CommandFailure{device->name() + QStringLiteral(" 还没有快照，无法在运行后回滚。")};
    }
    OwnerNote note = claimOwnership(*device);
    co_await boot(device, &note, signals);
    if (signals->received()) {
        co_await end(device, signals->received());
        throw CommandFailure{QStringLiteral("已中断：命令未运行。")};
    }

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ANDROID_SERIAL"),
                       QStringLiteral("emulator-") + QString::number(device->port()));
    environment.insert(QStringLiteral("ANDROID_ADB_SERVER_PORT"), QString::number(VMPaths::adbServerPort));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.setProgram(command.first());
    process.setArguments(command.mid(1));
    // A signal meant for this program reaches the command first; the device is stopped once it ends.
    QObject::connect(signals, &SignalPipe::signalled, &process, [&process](int signal) {
        if (process.state() != QProcess::NotRunning) {
            ProcessSignal::send(process.processId(), signal == SIGUSR1 ? SIGKILL : SIGTERM);
        }
    });
    process.start();
    co_await ProcessStateWait::ended(process);

    int status = Commands::Failed;
    QString failure;
    if (process.error() == QProcess::FailedToStart) {
        failure =
            QStringLiteral("无法运行命令 ") + command.first() + QStringLiteral("：") + process.errorString();
    } else if (process.exitStatus() == QProcess::CrashExit) {
        failure = QStringLiteral("命令 ") + command.first() + QStringLiteral(" 异常结束。");
    } else {
        status = process.exitCode();
    }

    co_await end(device, signals->received() == SIGUSR1 ? SIGUSR1 : SIGTERM);
    if (rollback) {
        co_await device->rollbackLatestSnapshot();
        if (!device->error().isEmpty()) {
            throw CommandFailure{QStringLiteral("无法回滚 ") + device->name() + QStringLiteral("：") +
                                 device->error()};
        }
        Terminal::err(device->name() + QStringLiteral(" 已回滚到最新快照。"));
    }
    if (!failure.isEmpty()) {
        throw CommandFailure{failure};
    }
    co_return status;
}

} // namespace DeviceSession

// `corvanectl linux …`: the Linux machine on QEMU, run in the foreground as an Android device is.
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Guests.h"
#include "cli/OwnerNote.h"
#include "cli/SignalPipe.h"
#include "cli/Terminal.h"
#include "linux/LinuxISO.h"
#include "linux/LinuxModel.h"
#include "linux/engine/QemuEngine.h"
#include "platform/Error.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <csignal>

namespace {

const auto machineName = QStringLiteral("Linux 虚拟机");

/** How long a guest asked to power off has before it is stopped; a second signal cuts it short. */
constexpr qint64 shutdownGraceMs = 90'000;

OwnerNote claimOwnership(const LinuxModel &model)
{
    std::optional<OwnerNote> note = OwnerNote::claim(Guests::linuxKey());
    if (!note) {
        const std::optional<OwnerNote::Owner> owner = OwnerNote::read(Guests::linuxKey());
        throw CommandFailure{
            QStringLiteral("无法启动 Linux：虚拟机已由另一个 corvanectl 进程运行") +
            (owner ? QStringLiteral("（PID ") + QString::number(owner->pid) + QStringLiteral("）")
                   : QString()) +
            QStringLiteral("。")};
    }
    // Checked before the ISO is stored, so a machine the window runs keeps the settings it runs with.
    if (Guests::lockHeld(model.lockFile())) {
        throw CommandFailure{QStringLiteral("无法启动 Linux：Linux 设备正在另一个 App 窗口运行。")};
    }
    return std::move(*note);
}

/** Ends a running machine: asked to power off first, stopped when it does not in time or on SIGUSR1. */
QCoro::Task<> end(LinuxModel *model, SignalPipe *signals)
{
    if (signals->received() != SIGUSR1) {
        signals->clear();
        model->clearError();
        model->requestStop();
        if (model->error().isEmpty()) {
            Terminal::err(QStringLiteral("已请求 Linux 关机，最多等待 ") +
                          QString::number(shutdownGraceMs / 1000) +
                          QStringLiteral(" 秒；再按一次 Ctrl+C 立即强制退出。"));
        }
        QElapsedTimer waited;
        waited.start();
        co_await Guests::waitUntil([&] {
            return !model->running() || !model->error().isEmpty() || signals->received() ||
                   waited.elapsed() > shutdownGraceMs;
        });
        if (!model->running()) {
            Terminal::err(model->status());
            co_return;
        }
        if (!model->error().isEmpty()) {
            Terminal::err(model->error());
        }
    }
    co_await model->forceStop();
    if (model->running()) {
        throw CommandFailure{QStringLiteral("Linux 未能停止：") + model->error()};
    }
    Terminal::err(model->status());
}

QCoro::Task<int> foreground(LinuxModel *model, std::optional<QString> iso, SignalPipe *signals)
{
    if (iso) {
        try {
            LinuxISO::validateFile(*iso);
        } catch (const Error &failure) {
            throw CommandFailure{QStringLiteral("无法启动 Linux：") + *iso + QStringLiteral("：") +
                                 failure.description()};
        }
    }
    OwnerNote note = claimOwnership(*model);
    if (iso) {
        LinuxConfiguration chosen = model->configuration();
        chosen.isoPath = QFileInfo(*iso).absoluteFilePath();
        chosen.attachISO = true;
        model->setConfiguration(chosen);
        model->save();
        if (!model->error().isEmpty()) {
            throw CommandFailure{QStringLiteral("无法保存 Linux 设置：") + model->error()};
        }
    }
    co_await model->start();
    if (!model->running()) {
        throw CommandFailure{QStringLiteral("无法启动 Linux：") + model->error()};
    }
    Terminal::err(model->status());
    Terminal::err(QStringLiteral("Linux 已启动。按 Ctrl+C 关机。"));
    co_await Guests::waitUntil([model, signals] { return !model->running() || signals->received(); });
    if (model->running()) {
        co_await end(model, signals);
        co_return Commands::Success;
    }
    if (!model->error().isEmpty()) {
        throw CommandFailure{QStringLiteral("Linux：") + model->error()};
    }
    Terminal::err(model->status());
    co_return Commands::Success;
}

} // namespace

namespace Commands {

QCoro::Task<int> linuxMachine(QStringList words, SignalPipe *signals)
{
    if (words.isEmpty()) {
        throw UsageError{QStringLiteral("缺少操作。运行 corvanectl help linux 查看用法。")};
    }
    const QString action = words.takeFirst();
    const Arguments arguments = Arguments::parse(words, {}, {QStringLiteral("--iso")});
    if (action != QLatin1String("start") && action != QLatin1String("stop") &&
        action != QLatin1String("kill")) {
        throw UsageError{QStringLiteral("未知的 Linux 操作：") + action};
    }
    arguments.expectPositional(0, QStringLiteral("corvanectl linux ") + action);
    if (action != QLatin1String("start") && arguments.values.contains(QStringLiteral("--iso"))) {
        throw UsageError{QStringLiteral("--iso 只用于 corvanectl linux start。")};
    }
    QemuEngine engine;
    LinuxModel model(engine);
    if (action == QLatin1String("stop") || action == QLatin1String("kill")) {
        co_return co_await Guests::endOwned(Guests::linuxKey(), model.lockFile(), machineName,
                                            action == QLatin1String("kill") ? SIGUSR1 : SIGTERM);
    }
    std::optional<QString> iso;
    if (arguments.values.contains(QStringLiteral("--iso"))) {
        iso = arguments.values.value(QStringLiteral("--iso"));
    }
    co_return co_await foreground(&model, iso, signals);
}

} // namespace Commands

// `corvanectl android …`: one Android device at a time, through the same fleet and models as the window.
#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/DeviceSession.h"
#include "cli/Guests.h"
#include "cli/OwnerNote.h"
#include "cli/Terminal.h"
#include "platform/Error.h"
#include "services/Command.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <optional>

#include <csignal>

using namespace std::chrono_literals;

namespace {

QCoro::Task<int> installApk(VMModel *device, QString file)
{
    QFile apk(file);
    if (!apk.open(QIODevice::ReadOnly)) {
        throw CommandFailure{QStringLiteral("无法读取 ") + file + QStringLiteral("：") + apk.errorString()};
    }
    // An APK is a ZIP archive; anything else would only fail later inside adb with a vaguer message.
    if (apk.read(4) != QByteArray("PK\x03\x04", 4) ||
        !file.endsWith(QLatin1String(".apk"), Qt::CaseInsensitive)) {
        throw CommandFailure{file + QStringLiteral(" 不是 APK 文件。")};
    }
    const std::optional<OwnerNote::Owner> owner = OwnerNote::read(Guests::androidKey(*device));
    if (!owner || owner->port <= 0) {
        throw CommandFailure{QStringLiteral("无法安装：") + device->name() +
                             QStringLiteral(" 未由 corvanectl 运行。请先运行 corvanectl android start。")};
    }
    const QStringList arguments{QStringLiteral("-P"),
                                QString::number(VMPaths::adbServerPort),
                                QStringLiteral("-s"),
                                QStringLiteral("emulator-") + QString::number(owner->port),
                                QStringLiteral("install"),
                                QStringLiteral("-r"),
                                QFileInfo(file).absoluteFilePath()};
    QString output;
    try {
        output = co_await Command::run(device->paths().adbExecutable(), arguments,
                                       device->paths().environment(), 180);
    } catch (...) {
        throw CommandFailure{QStringLiteral("安装失败：") + describe(std::current_exception())};
    }
    if (!output.contains(QLatin1String("Success"))) {
        throw CommandFailure{QStringLiteral("安装失败：") + output.trimmed()};
    }
    Terminal::err(QStringLiteral("已安装：") + QFileInfo(file).fileName());
    co_return Commands::Success;
}

qint64 positiveNumber(const Arguments &arguments, const QString &option)
{
    bool ok = false;
    const qint64 value = arguments.values.value(option).toLongLong(&ok);
    if (!ok || value <= 0) {
        throw UsageError{option + QStringLiteral(" 需要一个正整数。")};
    }
    return value;
}

int addDevice(VMFleet &fleet, const Arguments &arguments)
{
    // Read before the device is made: a mistyped option must not leave a device behind.
    const auto option = [&arguments](const QString &name) -> std::optional<qint64> {
        if (!arguments.values.contains(name)) {
            return std::nullopt;
        }
        return positiveNumber(arguments, name);
    };
    const std::optional<qint64> cores = option(QStringLiteral("--cpu"));
    const std::optional<qint64> memoryGB = option(QStringLiteral("--memory"));

    const qsizetype before = fleet.models().size();
    fleet.addDevice();
    if (fleet.models().size() == before) {
        throw CommandFailure{QStringLiteral("无法添加设备：") + fleet.error()};
    }
    VMModel *device = fleet.current();
    VMConfiguration configuration = device->configuration();
    if (cores) {
        configuration.cores = *cores;
    }
    if (memoryGB) {
        // The configuration caps the memory far lower; this only keeps the product in range.
        configuration.memoryMB = std::min<qint64>(*memoryGB, 1 << 20) * 1024;
    }
    device->setConfiguration(configuration);
    device->save();
    if (!device->error().isEmpty()) {
        throw CommandFailure{QStringLiteral("无法保存设备配置：") + device->error()};
    }
    Terminal::out(device->id() + u'\t' + device->name());
    return Commands::Success;
}

} // namespace

namespace Commands {

QCoro::Task<int> android(QStringList words, SignalPipe *signals)
{
    if (words.isEmpty()) {
        throw UsageError{QStringLiteral("缺少操作。运行 corvanectl help android 查看用法。")};
    }
    const QString action = words.takeFirst();
    // A quicker look at a starting device than the window's: a script waits on every poll.
    VMFleet::Options options;
    options.timing.bootPollInterval = 500ms;
    options.timing.bootAttempts = 480;
    VMFleet fleet({}, options);
    if (action == QLatin1String("add")) {
        const Arguments arguments =
            Arguments::parse(words, {}, {QStringLiteral("--cpu"), QStringLiteral("--memory")});
        arguments.expectPositional(0, QStringLiteral("corvanectl android add [--cpu N] [--memory GB]"));
        co_return addDevice(fleet, arguments);
    }
    const Arguments arguments = Arguments::parse(words, {QStringLiteral("--rollback")});
    const QString usage = QStringLiteral("corvanectl android ") + action + QStringLiteral(" 名称|ID");
    if (action == QLatin1String("install-apk")) {
        arguments.expectPositional(2, usage + QStringLiteral(" APK文件"));
    } else if (action == QLatin1String("run")) {
        arguments.expectPositional(1, usage + QStringLiteral(" [--rollback] -- 命令…"));
        if (arguments.rest.isEmpty()) {
            throw UsageError{QStringLiteral("缺少要运行的命令（写在 -- 之后）。")};
        }
    } else if (QStringList{QStringLiteral("start"), QStringLiteral("stop"), QStringLiteral("kill"),
                           QStringLiteral("copy"), QStringLiteral("delete")}
                   .contains(action)) {
        arguments.expectPositional(1, usage);
    } else {
        throw UsageError{QStringLiteral("未知的安卓操作：") + action};
    }
    if ((action != QLatin1String("run") && arguments.has(QStringLiteral("--rollback"))) ||
        (action != QLatin1String("run") && !arguments.rest.isEmpty())) {
        throw UsageError{QStringLiteral("--rollback 和 -- 只用于 corvanectl android run。")};
    }

    VMModel &device = Guests::android(fleet, arguments.positional.first());
    if (action == QLatin1String("start")) {
        co_return co_await DeviceSession::foreground(&device, signals);
    }
    if (action == QLatin1String("run")) {
        co_return co_await DeviceSession::run(&device, arguments.rest,
                                              arguments.has(QStringLiteral("--rollback")), signals);
    }
    if (action == QLatin1String("stop")) {
        co_return co_await Guests::endOwned(Guests::androidKey(device), device.paths().lockFile(),
                                            device.name(), SIGTERM);
    }
    if (action == QLatin1String("kill")) {
        co_return co_await Guests::endOwned(Guests::androidKey(device), device.paths().lockFile(),
                                            device.name(), SIGUSR1);
    }
    if (action == QLatin1String("install-apk")) {
        co_return co_await installApk(&device, arguments.positional.at(1));
    }
    if (action == QLatin1String("copy")) {
        fleet.setSelected(device.id());
        co_await fleet.duplicateTask();
        if (!fleet.error().isEmpty()) {
            throw CommandFailure{QStringLiteral("无法复制 ") + device.name() + QStringLiteral("：") +
                                 fleet.error()};
        }
        VMModel *copy = fleet.current();
        Terminal::out(copy->id() + u'\t' + copy->name());
        co_return Success;
    }
    // delete
    const QString name = device.name();
    co_await fleet.deleteTask(device.id());
    if (!fleet.error().isEmpty()) {
        throw CommandFailure{QStringLiteral("无法删除 ") + name + QStringLiteral("：") + fleet.error()};
    }
    Terminal::err(QStringLiteral("已将 ") + name + QStringLiteral(" 移到废纸篓。"));
    co_return Success;
}

} // namespace Commands

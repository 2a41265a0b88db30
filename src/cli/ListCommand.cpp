// `corvanectl list`: every guest in one look, as a table for people or JSON for scripts.
#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Guests.h"
#include "cli/OwnerNote.h"
#include "cli/Terminal.h"
#include "ios/IOSModel.h"
#include "linux/LinuxModel.h"
#include "linux/engine/QemuEngine.h"
#include "platform/Host.h"
#include "windows/WindowsModel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonObject androidEntry(const VMModel &device)
{
    const std::optional<OwnerNote::Owner> owner = OwnerNote::read(Guests::androidKey(device));
    const bool running = device.running() || Guests::lockHeld(device.paths().lockFile());
    const VMConfiguration &configuration = device.configuration();
    QJsonObject entry{
        {QStringLiteral("id"), device.id()},
        {QStringLiteral("name"), device.name()},
        {QStringLiteral("state"), running ? QStringLiteral("running") : QStringLiteral("stopped")},
        {QStringLiteral("port"), QJsonValue::Null},
        {QStringLiteral("installed"), device.installed()},
        {QStringLiteral("configuration"),
         QJsonObject{{QStringLiteral("cores"), configuration.cores},
                     {QStringLiteral("memoryMB"), configuration.memoryMB},
                     {QStringLiteral("screen"), configuration.screen},
                     {QStringLiteral("softwareGPU"), configuration.softwareGPU}}},
        {QStringLiteral("snapshots"), device.snapshots().size()},
    };
    if (running && owner && owner->port > 0) {
        entry.insert(QStringLiteral("port"), owner->port);
    }
    return entry;
}

QString stateLabel(const QJsonObject &entry)
{
    return entry.value(QStringLiteral("state")).toString() == QLatin1String("running")
               ? QStringLiteral("运行中")
               : QStringLiteral("已停止");
}

QString printTable(const QJsonObject &all)
{
    QList<QStringList> rows;
    for (const QJsonValue &value : all.value(QStringLiteral("android")).toArray()) {
        const QJsonObject device = value.toObject();
        const QJsonObject configuration = device.value(QStringLiteral("configuration")).toObject();
        const QJsonValue port = device.value(QStringLiteral("port"));
        rows.append({QStringLiteral("安卓"), device.value(QStringLiteral("name")).toString(),
                     device.value(QStringLiteral("id")).toString(), stateLabel(device),
                     port.isNull() ? QStringLiteral("-") : QString::number(port.toInt()),
                     QString::number(configuration.value(QStringLiteral("cores")).toInteger()) +
                         QStringLiteral(" 核 · ") +
                         QString::number(configuration.value(QStringLiteral("memoryMB")).toInteger() / 1024) +
                         QStringLiteral("GB · ") + configuration.value(QStringLiteral("screen")).toString(),
                     QString::number(device.value(QStringLiteral("snapshots")).toInt())});
    }
    const QJsonObject ios = all.value(QStringLiteral("ios")).toObject();
    for (const QJsonValue &value : ios.value(QStringLiteral("devices")).toArray()) {
        const QJsonObject device = value.toObject();
        rows.append({QStringLiteral("iOS"), device.value(QStringLiteral("name")).toString(),
                     device.value(QStringLiteral("udid")).toString(),
                     device.value(QStringLiteral("state")).toString(), QStringLiteral("-"),
                     QStringLiteral("-"),
                     QString::number(device.value(QStringLiteral("snapshots")).toInt())});
    }
    const QJsonObject linuxEntry = all.value(QStringLiteral("linux")).toObject();
    rows.append({QStringLiteral("Linux"), QStringLiteral("Linux 虚拟机"), QStringLiteral("linux"),
                 stateLabel(linuxEntry), QStringLiteral("-"),
                 linuxEntry.value(QStringLiteral("prepared")).toBool() ? QStringLiteral("已准备")
                                                                       : QStringLiteral("未准备"),
                 QString::number(linuxEntry.value(QStringLiteral("snapshots")).toInt())});
    const QJsonObject windows = all.value(QStringLiteral("windows")).toObject();
    const QJsonValue bundle = windows.value(QStringLiteral("bundle"));
    rows.append({QStringLiteral("Windows"), QStringLiteral("Windows 虚拟机"), QStringLiteral("windows"),
                 QStringLiteral("-"), QStringLiteral("-"),
                 bundle.isNull() ? QStringLiteral("未关联") : bundle.toString(),
                 QString::number(windows.value(QStringLiteral("snapshots")).toInt())});

    QString text = Terminal::table({QStringLiteral("类型"), QStringLiteral("名称"), QStringLiteral("ID"),
                                    QStringLiteral("状态"), QStringLiteral("端口"), QStringLiteral("配置"),
                                    QStringLiteral("快照")},
                                   rows);
    const QString iosProblem = ios.value(QStringLiteral("error")).toString();
    if (!iosProblem.isEmpty()) {
        text += QStringLiteral("iOS：") + ios.value(QStringLiteral("status")).toString() +
                QStringLiteral("（") + iosProblem.section(u'\n', 0, 0) + QStringLiteral("）\n");
    }
    return text;
}

} // namespace

namespace Commands {

QCoro::Task<int> list(QStringList words)
{
    const Arguments arguments = Arguments::parse(words, {QStringLiteral("--json")});
    arguments.expectPositional(0, QStringLiteral("corvanectl list [--json]"));

    QJsonObject all;
    const VMFleet fleet;
    QJsonArray android;
    for (const VMModel *device : fleet.models()) {
        android.append(androidEntry(*device));
    }
    all.insert(QStringLiteral("android"), android);

    IOSModel ios;
    co_await ios.refresh();
    QJsonArray iosDevices;
    for (const IOSDevice &device : ios.devices()) {
        qsizetype snapshots = 0;
        for (const IOSSnapshotRecord &record : ios.snapshots()) {
            snapshots += record.sourceDeviceID == device.udid ? 1 : 0;
        }
        iosDevices.append(QJsonObject{{QStringLiteral("udid"), device.udid},
                                      {QStringLiteral("name"), device.name},
                                      {QStringLiteral("state"), device.state},
                                      {QStringLiteral("snapshots"), snapshots}});
    }
    all.insert(QStringLiteral("ios"),
               QJsonObject{{QStringLiteral("devices"), iosDevices},
                           {QStringLiteral("status"), ios.status()},
                           {QStringLiteral("error"),
                            ios.error().isEmpty() ? QJsonValue() : QJsonValue(ios.error())}});

    QemuEngine engine;
    const LinuxModel linuxModel(engine);
    all.insert(QStringLiteral("linux"),
               QJsonObject{{QStringLiteral("prepared"), linuxModel.prepared()},
                           {QStringLiteral("state"), Guests::lockHeld(linuxModel.lockFile())
                                                         ? QStringLiteral("running")
                                                         : QStringLiteral("stopped")},
                           {QStringLiteral("snapshots"), linuxModel.snapshots().size()}});

    const WindowsModel windows(Host::dataRoot());
    const std::optional<QString> bundle = windows.projectPath();
    all.insert(QStringLiteral("windows"),
               QJsonObject{{QStringLiteral("bundle"), bundle ? QJsonValue(*bundle) : QJsonValue()},
                           {QStringLiteral("snapshots"), windows.snapshots().size()}});

    if (arguments.has(QStringLiteral("--json"))) {
        Terminal::out(QString::fromUtf8(QJsonDocument(all).toJson(QJsonDocument::Indented)));
    } else {
        Terminal::out(printTable(all));
    }
    co_return Success;
}

} // namespace Commands

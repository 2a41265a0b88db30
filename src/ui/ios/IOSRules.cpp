#include "ui/ios/IOSRules.h"

#include "services/SnapshotText.h"

namespace IOSRules {
namespace {

const auto bootedState = QStringLiteral("Booted");
const auto shutDownState = QStringLiteral("Shutdown");

} // namespace

DeviceActions deviceActions(const IOSDevice &device, bool hasSnapshot, bool busy)
{
    const bool booted = device.state == bootedState;
    const bool shutDown = device.state == shutDownState;
    DeviceActions actions;
    // A running device is already showing in the Simulator; what it offers is stopping it.
    actions.boot = !busy && device.isAvailable != false && !booted;
    actions.shutdown = !busy && booted;
    actions.forceQuit = !busy && booted;
    actions.remove = !busy && shutDown;
    actions.rename = !busy;
    actions.createSnapshot = !busy && shutDown;
    actions.rollback = !busy && shutDown && hasSnapshot;
    actions.snapshotMenu = !busy && hasSnapshot;
    return actions;
}

QString stateText(const IOSDevice &device)
{
    return device.state == bootedState ? QStringLiteral("iPhone 正在运行") : QStringLiteral("iPhone 已停止");
}

QString snapshotText(const std::optional<IOSSnapshotRecord> &latest)
{
    if (!latest) {
        return QStringLiteral("尚未创建");
    }
    return QStringLiteral("最近：") + SnapshotText::shortDateTime(latest->created());
}

bool showsRuntimeHint(bool loaded, bool noRuntimes)
{
    return loaded && noRuntimes;
}

QList<Choice> runtimeChoices(const QList<IOSRuntime> &runtimes)
{
    QList<Choice> choices;
    for (const IOSRuntime &runtime : runtimes) {
        choices.append({runtime.name, runtime.identifier});
    }
    if (choices.isEmpty()) {
        choices.append({QStringLiteral("未安装"), QString()});
    }
    return choices;
}

QList<Choice> typeChoices(const QList<IOSDeviceType> &types)
{
    QList<Choice> choices;
    for (const IOSDeviceType &type : types) {
        choices.append({type.name, type.identifier});
    }
    if (choices.isEmpty()) {
        choices.append({QStringLiteral("不可用"), QString()});
    }
    return choices;
}

std::optional<QString> typeName(const QList<IOSDeviceType> &types, const QString &identifier)
{
    for (const IOSDeviceType &type : types) {
        if (type.identifier == identifier) {
            return type.name;
        }
    }
    return std::nullopt;
}

} // namespace IOSRules

#pragma once

#include "ios/IOSInventory.h"
#include "ios/IOSSnapshotRecord.h"

#include <QList>
#include <QString>

#include <optional>

/** What the iOS page shows and allows, as functions of the model's published state. */
namespace IOSRules {

/** The actions of one device card and its snapshot line. */
struct DeviceActions
{
    bool boot = false;
    bool shutdown = false;
    bool forceQuit = false;
    bool remove = false;
    bool rename = false;
    bool createSnapshot = false;
    bool rollback = false;
    bool snapshotMenu = false;
};

DeviceActions deviceActions(const IOSDevice &device, bool hasSnapshot, bool busy);

/** "iPhone 正在运行" or "iPhone 已停止". */
QString stateText(const IOSDevice &device);
/** "尚未创建", or "最近：" and the snapshot's time in the user's short styles. */
QString snapshotText(const std::optional<IOSSnapshotRecord> &latest);

/** The hint to install a runtime shows once the inventory was read and offered none. */
bool showsRuntimeHint(bool loaded, bool noRuntimes);

/** One entry of a picker: what it reads and the identifier it stands for. */
struct Choice
{
    QString label;
    QString value;

    bool operator==(const Choice &other) const = default;
};

/** The runtime picker's entries; a single "未安装" standing for nothing when there are none. */
QList<Choice> runtimeChoices(const QList<IOSRuntime> &runtimes);
/** The device-type picker's entries; a single "不可用" standing for nothing when there are none. */
QList<Choice> typeChoices(const QList<IOSDeviceType> &types);

/** The name of the device type with this identifier, if the list has one. */
std::optional<QString> typeName(const QList<IOSDeviceType> &types, const QString &identifier);

} // namespace IOSRules

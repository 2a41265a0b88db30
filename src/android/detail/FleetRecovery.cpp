#include "android/detail/FleetRecovery.h"

#include "android/VMPaths.h"
#include "platform/Error.h"
#include "platform/Host.h"
#include "services/AppLog.h"
#include "services/FileIO.h"
#include "services/FileSnapshotStore.h"
#include "services/InstanceLock.h"

#include <QDir>
#include <QRegularExpression>

namespace FleetRecovery {
namespace {

const auto category = QStringLiteral("Android");
const QString primaryId = QStringLiteral("primary");

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

/** Device folders are named by the ids the fleet gives; nothing else in "instances" is its own. */
bool isDeviceId(const QString &name)
{
    static const QRegularExpression uuid(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    return uuid.match(name).hasMatch();
}

void trash(const QString &path, const QString &found)
{
    try {
        Host::current().moveToTrash(path);
        AppLog::warn(category, found + QStringLiteral("，已移到废纸篓：") + path);
    } catch (...) {
        AppLog::warn(category,
                     found + QStringLiteral("，但未能移到废纸篓：") + describe(std::current_exception()));
    }
}

void reportAbandonedWrites(const QStringList &removed)
{
    if (!removed.isEmpty()) {
        AppLog::warn(category,
                     QStringLiteral("已清理中断的写入留下的临时文件：") + removed.join(QStringLiteral("、")));
    }
}

void recoverDevice(const VMPaths &paths, const QString &id)
{
    if (const std::optional<InstanceLock::Held> lock = InstanceLock::tryTake(paths.lockFile())) {
        reportAbandonedWrites(FileIO::removeAbandonedWrites(paths.root()));
        FileSnapshotStore::recover(paths.avdFolder(), paths.snapshotCollection(id), QStringLiteral("Android"),
                                   FileSnapshotStore::Temporaries::Own);
    }
}

/** A copy or an addition is complete once its name file is written; without one it never loads. */
void removeUnfinishedDevice(const QString &folder, const QString &id)
{
    const std::optional<InstanceLock::Held> lock =
        InstanceLock::tryTake(folder + QStringLiteral("/instance.lock"));
    if (!lock) {
        // Another copy of the application is making this device right now.
        return;
    }
    FileIO::removeIfPresent(folder);
    AppLog::warn(category, QStringLiteral("已清理上次中断时未完成的设备副本：") + id);
}

} // namespace

void run(const VMPaths &shared)
{
    reportAbandonedWrites(FileIO::removeAbandonedWrites(shared.sharedRoot()));
    const bool primaryDeleted = FileIO::exists(shared.primaryDeletedMarker());
    if (!primaryDeleted) {
        recoverDevice(shared, primaryId);
    } else if (FileIO::exists(shared.avdHome())) {
        // The marker is written before the device's files go: the deletion was cut short after it.
        if (const std::optional<InstanceLock::Held> lock = InstanceLock::tryTake(shared.lockFile())) {
            trash(shared.avdHome(), QStringLiteral("发现上次中断的设备删除（安卓 1）"));
        }
    }

    QStringList devices;
    for (const QString &entry : entriesOf(shared.instancesFolder())) {
        const VMPaths paths(shared.instanceFolder(entry), shared.root());
        if (FileIO::exists(paths.instanceNameFile())) {
            devices.append(entry);
            recoverDevice(paths, entry);
        } else if (isDeviceId(entry)) {
            removeUnfinishedDevice(paths.root(), entry);
        }
    }

    // A device's snapshots go to the Trash right after the device itself; a deletion cut short
    // in between leaves them without their device.
    const QString collections = shared.sharedRoot() + QStringLiteral("/snapshots/android");
    for (const QString &id : entriesOf(collections)) {
        const bool orphan = id == primaryId ? primaryDeleted
                                            : isDeviceId(id) && !devices.contains(id) &&
                                                  !FileIO::exists(shared.instanceFolder(id));
        if (orphan) {
            trash(shared.snapshotCollection(id), QStringLiteral("发现已删除设备留下的快照 ") + id);
        }
    }
}

} // namespace FleetRecovery

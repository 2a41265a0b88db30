// The snapshot side of the Linux machine: clones of its whole folder, with the settings beside them.
#include "linux/LinuxModel.h"

#include "services/FileSnapshotStore.h"
#include "services/SnapshotText.h"

namespace {

const auto label = QStringLiteral("Linux");

} // namespace

void LinuxModel::recoverSnapshots()
{
    // Held elsewhere, the machine or its snapshots are in another copy's hands, and so is their repair.
    if (const std::optional<InstanceLock::Held> lock = InstanceLock::tryTake(lockFile())) {
        FileSnapshotStore::recover(m_paths.root(), snapshotCollection(), label,
                                   FileSnapshotStore::Temporaries::Own);
    }
}

QString LinuxModel::snapshotCollection() const
{
    return m_base + QStringLiteral("/snapshots/linux");
}

void LinuxModel::loadSnapshots()
{
    connect(&m_snapshots, &FolderSnapshots::snapshotsChanged, this, &LinuxModel::snapshotsChanged);
    connect(&m_snapshots, &FolderSnapshots::busyChanged, this, &LinuxModel::snapshotBusyChanged);
    connect(&m_snapshots, &FolderSnapshots::messageChanged, this, &LinuxModel::snapshotMessageChanged);
    m_snapshots.refresh();
}

std::optional<FolderSnapshots::Place> LinuxModel::snapshotPlace() const
{
    return FolderSnapshots::Place{m_paths.root(), snapshotCollection(), QStringLiteral("linux"), label,
                                  label};
}

InstanceLock::Held LinuxModel::lockForSnapshots() const
{
    // Another copy of the application may run this machine: snapshot work waits for its lock.
    return InstanceLock::take(lockFile(), QStringLiteral("无法锁定 Linux 数据盘。"),
                              QStringLiteral("Linux 设备正在另一个 App 窗口运行。"));
}

QByteArray LinuxModel::snapshotSettings() const
{
    return m_configuration->validated().toJson();
}

bool LinuxModel::rolledBack(const SnapshotRecord &record, const std::optional<QByteArray> &kept)
{
    // The folder now holds the snapshot's files, whatever becomes of its settings below.
    setPrepared(m_paths.prepared());
    const std::optional<LinuxConfiguration> stored =
        kept ? LinuxConfiguration::fromJson(*kept) : std::nullopt;
    if (stored) {
        setConfiguration(stored->validated());
        save();
    }
    setStatus(QStringLiteral("Linux 已回滚到 ") + SnapshotText::shortDateTime(record.createdAt));
    return stored.has_value();
}

QCoro::Task<> LinuxModel::createSnapshot()
{
    if (m_prepared && !m_running && !m_busy) {
        co_await m_snapshots.create();
    }
}

QCoro::Task<> LinuxModel::rollbackLatestSnapshot()
{
    if (!m_running && !m_busy) {
        co_await m_snapshots.rollbackLatest();
    }
}

void LinuxModel::deleteLatestSnapshot()
{
    m_snapshots.deleteLatest();
}

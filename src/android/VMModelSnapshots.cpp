// The snapshot side of an Android device: file-level copies of its AVD folder, with its settings.
#include "android/VMModel.h"

#include "services/SnapshotText.h"

QString VMModel::snapshotCollection() const
{
    return m_paths.snapshotCollection(m_id);
}

void VMModel::loadSnapshots()
{
    connect(&m_snapshots, &FolderSnapshots::snapshotsChanged, this, &VMModel::snapshotsChanged);
    connect(&m_snapshots, &FolderSnapshots::busyChanged, this, &VMModel::snapshotBusyChanged);
    connect(&m_snapshots, &FolderSnapshots::messageChanged, this, &VMModel::snapshotMessageChanged);
    m_snapshots.refresh();
}

std::optional<FolderSnapshots::Place> VMModel::snapshotPlace() const
{
    return FolderSnapshots::Place{m_paths.avdFolder(), snapshotCollection(), m_id, m_name, m_name};
}

InstanceLock::Held VMModel::lockForSnapshots() const
{
    // Another copy of the application may run or copy this device: snapshot work waits for its lock.
    return InstanceLock::take(m_paths.lockFile(), QStringLiteral("无法锁定实例数据目录。"),
                              QStringLiteral("此实例已在另一个窗口运行，请复制实例后多开。"));
}

QByteArray VMModel::snapshotSettings() const
{
    return m_configuration->validated().toJson();
}

bool VMModel::rolledBack(const SnapshotRecord &record, const std::optional<QByteArray> &kept)
{
    const std::optional<VMConfiguration> stored = kept ? VMConfiguration::fromJson(*kept) : std::nullopt;
    const VMConfiguration configuration = stored ? stored->validated() : m_configuration.get();
    m_paths.configure(configuration);
    // Stored with the files, so the next load and the next start use the settings restored here.
    saveConfiguration(m_paths, configuration);
    setConfiguration(configuration);
    refreshInstalled();
    setStatus(QStringLiteral("已回滚到快照"));
    setDetail(QStringLiteral("恢复时间：") + SnapshotText::shortDateTime(record.createdAt));
    return stored.has_value();
}

QCoro::Task<> VMModel::createSnapshot()
{
    if (m_installed && !m_running && !m_busy) {
        co_await m_snapshots.create();
    }
}

QCoro::Task<> VMModel::rollbackLatestSnapshot()
{
    if (!m_running && !m_busy) {
        co_await m_snapshots.rollbackLatest();
    }
}

void VMModel::deleteLatestSnapshot()
{
    m_snapshots.deleteLatest();
}

// The snapshot side of an Android device: file-level copies of its AVD folder.
#include "android/VMModel.h"

#include "platform/Error.h"
#include "services/FileSnapshotStore.h"
#include "services/InstanceLock.h"
#include "services/PropertyField.h"
#include "services/SnapshotText.h"

QString VMModel::snapshotCollection() const
{
    return m_paths.snapshotCollection(m_id);
}

QString VMModel::snapshotSource() const
{
    return m_paths.avdFolder();
}

namespace {

// Another copy of the application may run or copy this device: snapshot work waits for its lock.
InstanceLock::Held lockForSnapshots(const VMPaths &paths)
{
    return InstanceLock::take(paths.lockFile(), QStringLiteral("无法锁定实例数据目录。"),
                              QStringLiteral("此实例已在另一个窗口运行，请复制实例后多开。"));
}

} // namespace

void VMModel::refreshSnapshots()
{
    setSnapshots(FileSnapshotStore::records(snapshotCollection()));
    const auto latest = latestSnapshot();
    setSnapshotMessage(SnapshotText::summary(latest));
}

QCoro::Task<> VMModel::createSnapshot()
{
    if (!m_installed || m_running || m_busy || m_snapshotBusy) {
        co_return;
    }
    QPointer self(this);
    setSnapshotBusy(true);
    setError(QString());
    setSnapshotMessage(QStringLiteral("正在创建快照…"));
    try {
        const InstanceLock::Held lock = lockForSnapshots(m_paths);
        const QByteArray configuration = m_configuration.validated().toJson();
        co_await FileSnapshotStore::create(snapshotSource(), snapshotCollection(), QStringLiteral("Android"),
                                           m_id, m_name, configuration, m_name);
    } catch (...) {
        if (self) {
            setError(describe(std::current_exception()));
        }
    }
    if (!self) {
        co_return;
    }
    setSnapshotBusy(false);
    refreshSnapshots();
}

QCoro::Task<> VMModel::rollbackLatestSnapshot()
{
    const auto latest = latestSnapshot();
    if (!latest || m_running || m_busy || m_snapshotBusy) {
        co_return;
    }
    QPointer self(this);
    setSnapshotBusy(true);
    setError(QString());
    setSnapshotMessage(QStringLiteral("正在回滚…"));
    try {
        const InstanceLock::Held lock = lockForSnapshots(m_paths);
        const std::optional<QByteArray> kept =
            co_await FileSnapshotStore::restore(snapshotSource(), snapshotCollection(), *latest, m_name);
        if (!self) {
            co_return;
        }
        VMConfiguration configuration = m_configuration;
        if (kept) {
            if (const auto decoded = VMConfiguration::fromJson(*kept)) {
                configuration = decoded->validated();
            }
        }
        m_paths.configure(configuration);
        // Stored with the files, so the next load and the next start use the settings restored here.
        saveConfiguration(m_paths, configuration);
        setConfiguration(configuration);
        refreshInstalled();
        setStatus(QStringLiteral("已回滚到快照"));
        setDetail(QStringLiteral("恢复时间：") + SnapshotText::shortDateTime(latest->createdAt));
    } catch (...) {
        if (self) {
            setError(describe(std::current_exception()));
        }
    }
    if (!self) {
        co_return;
    }
    setSnapshotBusy(false);
    refreshSnapshots();
}

void VMModel::deleteLatestSnapshot()
{
    const auto latest = latestSnapshot();
    if (!latest || m_snapshotBusy) {
        return;
    }
    try {
        const InstanceLock::Held lock = lockForSnapshots(m_paths);
        FileSnapshotStore::deleteSnapshot(snapshotCollection(), *latest);
    } catch (const Error &failure) {
        setError(failure.description());
    }
    refreshSnapshots();
}

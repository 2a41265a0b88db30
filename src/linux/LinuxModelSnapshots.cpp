// The snapshot side of the Linux machine: clones of its whole folder, with the settings beside them.
#include "linux/LinuxModel.h"

#include "platform/Error.h"
#include "services/FileSnapshotStore.h"
#include "services/InstanceLock.h"
#include "services/SnapshotText.h"

#include <QPointer>

namespace {

const auto label = QStringLiteral("Linux");

} // namespace

InstanceLock::Held LinuxModel::lockForSnapshots() const
{
    // Another copy of the application may run this machine: snapshot work waits for its lock.
    return InstanceLock::take(lockFile(), QStringLiteral("无法锁定 Linux 数据盘。"),
                              QStringLiteral("Linux 设备正在另一个 App 窗口运行。"));
}

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

std::optional<SnapshotRecord> LinuxModel::latestSnapshot() const
{
    if (m_snapshots.isEmpty()) {
        return std::nullopt;
    }
    return m_snapshots.first();
}

void LinuxModel::refreshSnapshots()
{
    setSnapshots(FileSnapshotStore::records(snapshotCollection()));
    const auto latest = latestSnapshot();
    setSnapshotMessage(SnapshotText::summary(latest));
}

QCoro::Task<> LinuxModel::createSnapshot()
{
    if (!m_prepared || m_running || m_busy || m_snapshotBusy) {
        co_return;
    }
    QPointer self(this);
    setSnapshotBusy(true);
    setError(QString());
    setSnapshotMessage(QStringLiteral("正在创建快照…"));
    try {
        const InstanceLock::Held lock = lockForSnapshots();
        const QByteArray configuration = m_configuration.validated().toJson();
        co_await FileSnapshotStore::create(m_paths.root(), snapshotCollection(), label,
                                           QStringLiteral("linux"), label, configuration, label);
    } catch (...) {
        const QString description = describe(std::current_exception());
        if (self) {
            setError(description);
        }
    }
    if (!self) {
        co_return;
    }
    setSnapshotBusy(false);
    refreshSnapshots();
}

QCoro::Task<> LinuxModel::rollbackLatestSnapshot()
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
        const InstanceLock::Held lock = lockForSnapshots();
        const std::optional<QByteArray> kept =
            co_await FileSnapshotStore::restore(m_paths.root(), snapshotCollection(), *latest, label);
        if (!self) {
            co_return;
        }
        // The folder now holds the snapshot's files, whatever becomes of its settings below.
        setPrepared(m_paths.prepared());
        // Every snapshot here is taken with its settings: one without readable settings has lost them.
        // That must not hide that the disk itself has been rolled back.
        const std::optional<LinuxConfiguration> stored =
            kept ? LinuxConfiguration::fromJson(*kept) : std::optional<LinuxConfiguration>();
        if (stored) {
            setConfiguration(stored->validated());
            save();
        } else {
            setError(QStringLiteral("快照中的 Linux 设置无法读取，已保留当前设置。"));
        }
        setStatus(QStringLiteral("Linux 已回滚到 ") + SnapshotText::shortDateTime(latest->createdAt));
    } catch (...) {
        const QString description = describe(std::current_exception());
        if (self) {
            setError(description);
        }
    }
    if (!self) {
        co_return;
    }
    setSnapshotBusy(false);
    refreshSnapshots();
}

void LinuxModel::deleteLatestSnapshot()
{
    const auto latest = latestSnapshot();
    if (!latest || m_snapshotBusy) {
        return;
    }
    try {
        const InstanceLock::Held lock = lockForSnapshots();
        FileSnapshotStore::deleteSnapshot(snapshotCollection(), *latest);
    } catch (const Error &failure) {
        setError(failure.description());
        return;
    }
    refreshSnapshots();
}

// Snapshots of the associated UTM bundle, kept in ".Corvane Snapshots" beside it.
#include "windows/WindowsModel.h"

#include "platform/Error.h"
#include "services/FileIO.h"
#include "services/FileSnapshotStore.h"
#include "services/InstanceLock.h"
#include "services/SnapshotText.h"

#include <QFileInfo>
#include <QPointer>

namespace {

const auto platform = QStringLiteral("Windows");
const auto label = QStringLiteral("Windows 虚拟机");

// UTM holds no lock of ours, but two copies of this application must not swap the bundle at once.
QString lockFile(const QString &collection)
{
    return collection + QStringLiteral(".lock");
}

InstanceLock::Held lockForSnapshots(const QString &collection)
{
    FileIO::createFolder(QFileInfo(collection).path());
    return InstanceLock::take(lockFile(collection), QStringLiteral("无法锁定 Windows 虚拟机快照目录。"),
                              QStringLiteral("Windows 虚拟机的快照正在另一个 App 窗口中处理。"));
}

} // namespace

std::optional<QString> WindowsModel::snapshotCollection() const
{
    const std::optional<QString> project = projectPath();
    if (!project) {
        return std::nullopt;
    }
    const QFileInfo bundle(*project);
    return bundle.path() + QStringLiteral("/.Corvane Snapshots/") + bundle.fileName();
}

void WindowsModel::recoverSnapshots()
{
    const std::optional<QString> project = projectPath();
    const std::optional<QString> collection = snapshotCollection();
    if (!project || !collection || !FileIO::exists(QFileInfo(*collection).path())) {
        return;
    }
    // Other bundles may share the folder, so only temporaries a note names as this bundle's are touched.
    if (const std::optional<InstanceLock::Held> lock = InstanceLock::tryTake(lockFile(*collection))) {
        FileSnapshotStore::recover(*project, *collection, platform, FileSnapshotStore::Temporaries::Shared);
    }
}

std::optional<SnapshotRecord> WindowsModel::latestSnapshot() const
{
    if (m_snapshots.isEmpty()) {
        return std::nullopt;
    }
    return m_snapshots.first();
}

void WindowsModel::refreshSnapshots()
{
    const std::optional<QString> collection = snapshotCollection();
    setSnapshots(collection ? FileSnapshotStore::records(*collection) : QList<SnapshotRecord>());
    const std::optional<SnapshotRecord> latest = latestSnapshot();
    setSnapshotMessage(SnapshotText::summary(latest));
}

QCoro::Task<> WindowsModel::createSnapshot()
{
    const std::optional<QString> project = projectPath();
    const std::optional<QString> collection = snapshotCollection();
    if (m_busy || !project || !collection) {
        co_return;
    }
    if (!hasConfiguration(*project)) {
        setError(QStringLiteral("Windows 虚拟机文件不存在。"));
        co_return;
    }
    QPointer self(this);
    setBusy(true);
    setError(QString());
    setSnapshotMessage(QStringLiteral("正在创建快照…"));
    try {
        const InstanceLock::Held lock = lockForSnapshots(*collection);
        const QByteArray settings = m_configuration.validated().toJson();
        co_await FileSnapshotStore::create(*project, *collection, platform, *project,
                                           QFileInfo(*project).completeBaseName(), settings, label);
    } catch (...) {
        if (self) {
            setError(describe(std::current_exception()));
        }
    }
    if (!self) {
        co_return;
    }
    setBusy(false);
    refreshSnapshots();
}

QCoro::Task<> WindowsModel::rollbackLatestSnapshot()
{
    const std::optional<SnapshotRecord> latest = latestSnapshot();
    const std::optional<QString> project = projectPath();
    const std::optional<QString> collection = snapshotCollection();
    if (m_busy || !latest || !project || !collection) {
        co_return;
    }
    QPointer self(this);
    setBusy(true);
    setError(QString());
    setSnapshotMessage(QStringLiteral("正在回滚…"));
    try {
        const InstanceLock::Held lock = lockForSnapshots(*collection);
        const std::optional<QByteArray> kept =
            co_await FileSnapshotStore::restore(*project, *collection, *latest, label);
        if (!self) {
            co_return;
        }
        bool restored = true;
        if (kept) {
            try {
                WindowsConfiguration stored = WindowsConfiguration::fromJson(*kept).validated();
                // The bundle stays where the user has it now, wherever it was when the snapshot was taken.
                stored.projectPath = *project;
                setConfiguration(stored);
                save();
            } catch (const Error &failure) {
                setError(failure.description());
                restored = false;
            }
        }
        if (restored) {
            setMessage(QStringLiteral("Windows 已回滚到 ") + SnapshotText::shortDateTime(latest->createdAt) +
                       QStringLiteral("。请在 UTM 中重新打开。"));
        }
    } catch (...) {
        if (self) {
            setError(describe(std::current_exception()));
        }
    }
    if (!self) {
        co_return;
    }
    setBusy(false);
    refreshSnapshots();
}

void WindowsModel::deleteLatestSnapshot()
{
    const std::optional<SnapshotRecord> latest = latestSnapshot();
    const std::optional<QString> collection = snapshotCollection();
    if (!latest || !collection || m_busy) {
        return;
    }
    try {
        const InstanceLock::Held lock = lockForSnapshots(*collection);
        FileSnapshotStore::deleteSnapshot(*collection, *latest);
        refreshSnapshots();
    } catch (const Error &failure) {
        setError(failure.description());
    }
}

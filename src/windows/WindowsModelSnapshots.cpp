// Snapshots of the associated UTM bundle, kept in ".Corvane Snapshots" beside it.
#include "windows/WindowsModel.h"

#include "platform/Error.h"
#include "services/FileIO.h"
#include "services/FileSnapshotStore.h"
#include "services/SnapshotText.h"

#include <QFileInfo>

namespace {

const auto platform = QStringLiteral("Windows");

// UTM holds no lock of ours, but two copies of this application must not swap the bundle at once.
QString lockFile(const QString &collection)
{
    return collection + QStringLiteral(".lock");
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

void WindowsModel::loadSnapshots()
{
    connect(&m_snapshots, &FolderSnapshots::snapshotsChanged, this, &WindowsModel::snapshotsChanged);
    connect(&m_snapshots, &FolderSnapshots::busyChanged, this, [this] { setBusy(m_snapshots.busy()); });
    connect(&m_snapshots, &FolderSnapshots::messageChanged, this, &WindowsModel::snapshotMessageChanged);
    m_snapshots.refresh();
}

std::optional<FolderSnapshots::Place> WindowsModel::snapshotPlace() const
{
    const std::optional<QString> project = projectPath();
    const std::optional<QString> collection = snapshotCollection();
    if (!project || !collection) {
        return std::nullopt;
    }
    return FolderSnapshots::Place{*project, *collection, *project, QFileInfo(*project).completeBaseName(),
                                  QStringLiteral("Windows 虚拟机")};
}

InstanceLock::Held WindowsModel::lockForSnapshots() const
{
    const QString collection = snapshotCollection().value_or(QString());
    FileIO::createFolder(QFileInfo(collection).path());
    return InstanceLock::take(lockFile(collection), QStringLiteral("无法锁定 Windows 虚拟机快照目录。"),
                              QStringLiteral("Windows 虚拟机的快照正在另一个 App 窗口中处理。"));
}

QByteArray WindowsModel::snapshotSettings() const
{
    return m_configuration->validated().toJson();
}

bool WindowsModel::rolledBack(const SnapshotRecord &record, const std::optional<QByteArray> &kept)
{
    std::optional<WindowsConfiguration> stored;
    if (kept) {
        try {
            stored = WindowsConfiguration::fromJson(*kept).validated();
        } catch (const Error &) {
            // Told as settings that cannot be read, whatever the decoder's words.
        }
    }
    if (stored) {
        // The bundle stays where the user has it now, wherever it was when the snapshot was taken.
        stored->projectPath = m_configuration->projectPath;
        setConfiguration(*stored);
        save();
    }
    setMessage(QStringLiteral("Windows 已回滚到 ") + SnapshotText::shortDateTime(record.createdAt) +
               QStringLiteral("。请在 UTM 中重新打开。"));
    return stored.has_value();
}

QCoro::Task<> WindowsModel::createSnapshot()
{
    const std::optional<QString> project = projectPath();
    if (m_busy || !project) {
        co_return;
    }
    if (!hasConfiguration(*project)) {
        setError(QStringLiteral("Windows 虚拟机文件不存在。"));
        co_return;
    }
    co_await m_snapshots.create();
}

QCoro::Task<> WindowsModel::rollbackLatestSnapshot()
{
    if (!m_busy) {
        co_await m_snapshots.rollbackLatest();
    }
}

void WindowsModel::deleteLatestSnapshot()
{
    if (!m_busy) {
        m_snapshots.deleteLatest();
    }
}

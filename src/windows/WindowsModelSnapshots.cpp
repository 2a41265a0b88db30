// Snapshots of the associated UTM bundle, kept in ".Corvane Snapshots" beside it.
#include "windows/WindowsModel.h"

#include "services/Error.h"
#include "services/FileSnapshotStore.h"
#include "services/SnapshotText.h"

#include <QFileInfo>
#include <QPointer>

namespace {

const auto platform = QStringLiteral("Windows");
const auto label = QStringLiteral("Windows 虚拟机");

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
        FileSnapshotStore::deleteSnapshot(*collection, *latest);
        refreshSnapshots();
    } catch (const Error &failure) {
        setError(failure.description());
    }
}

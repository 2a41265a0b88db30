#include "services/FolderSnapshots.h"

#include "platform/Error.h"
#include "services/FileSnapshotStore.h"
#include "services/PropertyField.h"
#include "services/SnapshotText.h"

#include <QPointer>

FolderSnapshots::FolderSnapshots(Guest &guest, QString platform, QObject *parent)
    : QObject(parent)
    , m_guest(guest)
    , m_platform(std::move(platform))
    , m_message(SnapshotText::summary(std::nullopt))
{}

std::optional<SnapshotRecord> FolderSnapshots::latest() const
{
    if (m_snapshots.isEmpty()) {
        return std::nullopt;
    }
    return m_snapshots.first();
}

void FolderSnapshots::refresh()
{
    const std::optional<Place> place = m_guest.snapshotPlace();
    setSnapshots(place ? FileSnapshotStore::records(place->collection) : QList<SnapshotRecord>());
    setMessage(SnapshotText::summary(latest()));
}

QCoro::Task<> FolderSnapshots::create()
{
    const std::optional<Place> place = m_guest.snapshotPlace();
    if (m_busy || !place) {
        co_return;
    }
    QPointer self(this);
    setBusy(true);
    m_guest.showSnapshotError(QString());
    setMessage(QStringLiteral("正在创建快照…"));
    try {
        const InstanceLock::Held lock = m_guest.lockForSnapshots();
        const QByteArray settings = m_guest.snapshotSettings();
        co_await FileSnapshotStore::create(place->folder, place->collection, m_platform, place->deviceID,
                                           place->displayName, settings, place->inUseLabel);
    } catch (...) {
        if (self) {
            m_guest.showSnapshotError(describe(std::current_exception()));
        }
    }
    if (!self) {
        co_return;
    }
    setBusy(false);
    refresh();
}

QCoro::Task<> FolderSnapshots::rollbackLatest()
{
    const std::optional<SnapshotRecord> record = latest();
    const std::optional<Place> place = m_guest.snapshotPlace();
    if (m_busy || !record || !place) {
        co_return;
    }
    QPointer self(this);
    setBusy(true);
    m_guest.showSnapshotError(QString());
    setMessage(QStringLiteral("正在回滚…"));
    try {
        const InstanceLock::Held lock = m_guest.lockForSnapshots();
        const std::optional<QByteArray> kept =
            co_await FileSnapshotStore::restore(place->folder, place->collection, *record, place->inUseLabel);
        if (!self) {
            co_return;
        }
        // The folder is rolled back whatever becomes of the settings; losing them must not hide that.
        if (!m_guest.rolledBack(*record, kept)) {
            m_guest.showSnapshotError(QStringLiteral("快照中的 ") + m_platform +
                                      QStringLiteral(" 设置无法读取，已保留当前设置。"));
        }
    } catch (...) {
        if (self) {
            m_guest.showSnapshotError(describe(std::current_exception()));
        }
    }
    if (!self) {
        co_return;
    }
    setBusy(false);
    refresh();
}

void FolderSnapshots::deleteLatest()
{
    const std::optional<SnapshotRecord> record = latest();
    const std::optional<Place> place = m_guest.snapshotPlace();
    if (m_busy || !record || !place) {
        return;
    }
    try {
        const InstanceLock::Held lock = m_guest.lockForSnapshots();
        FileSnapshotStore::deleteSnapshot(place->collection, *record);
    } catch (const Error &failure) {
        m_guest.showSnapshotError(failure.description());
    }
    // Also after a failure: whatever the delete got done, the list shows what is left.
    refresh();
}

void FolderSnapshots::setSnapshots(const QList<SnapshotRecord> &snapshots)
{
    if (assignChanged(m_snapshots, snapshots)) {
        Q_EMIT snapshotsChanged();
    }
}

void FolderSnapshots::setBusy(bool busy)
{
    if (assignChanged(m_busy, busy)) {
        Q_EMIT busyChanged();
    }
}

void FolderSnapshots::setMessage(const QString &message)
{
    if (assignChanged(m_message, message)) {
        Q_EMIT messageChanged();
    }
}

#pragma once

#include "ios/IOSInventory.h"
#include "ios/IOSSnapshotRecord.h"
#include "ios/detail/IOSRegistry.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class IOSSimctl;

/**
 * The snapshot side of the iOS model: hidden simulator clones of owned devices and the registry that
 * records them, newest first. Its steps throw; IOSModel runs them one at a time, decides which
 * devices may be snapshotted, and shows failures.
 */
class IOSSnapshots : public QObject
{
    Q_OBJECT

public:
    /** Reads the registry at `registry`; runs no outside program. */
    IOSSnapshots(QString registry, const IOSSimctl &simctl, QObject *parent = nullptr);

    /** Newest first. */
    const QList<IOSSnapshotRecord> &records() const { return m_records; }
    const QString &registry() const { return m_registry.path(); }
    /** Why the registry could not be read when this was made; empty when it could. */
    const QString &loadError() const { return m_registry.loadError(); }

    /** The device's newest snapshot, the earlier of equal times first; the one a rollback restores. */
    std::optional<IOSSnapshotRecord> latest(const QString &udid) const;

    /** Clones a shut-down device and records the clone; a clone that cannot be recorded is deleted. */
    QCoro::Task<IOSSnapshotRecord> take(IOSDevice device);
    /** Makes a fresh device from the snapshot's clone, named `name`; returns its UDID. */
    QCoro::Task<QString> restore(IOSSnapshotRecord snapshot, QString name);
    /** Deletes the snapshot's clone and its record. */
    QCoro::Task<> remove(IOSSnapshotRecord snapshot);
    /** Deletes the clones of every snapshot of the device, as far as simctl can, and drops their records. */
    QCoro::Task<> removeAllOf(QString udid);
    /** Moves the device's snapshots to the device that replaced it, in memory; save() writes it. */
    void follow(const QString &from, const QString &to);
    /** Writes the registry; throws on failure. */
    void save();

Q_SIGNALS:
    void recordsChanged();

private:
    void setRecords(const QList<IOSSnapshotRecord> &records);

    const IOSSimctl &m_simctl;
    QList<IOSSnapshotRecord> m_records;
    IOSRegistry::File m_registry;
};

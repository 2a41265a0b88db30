#pragma once

#include "services/InstanceLock.h"
#include "services/SnapshotRecord.h"

#include <QByteArray>
#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

/**
 * The snapshots of one guest's folder, as a guest shows and changes them: the list (newest first), the
 * busy flag, the one-line message, and the create / roll back / delete / refresh flow around
 * FileSnapshotStore. Every guest that snapshots a folder (an Android device, the Linux machine, the
 * Windows bundle) keeps one and supplies only what is its own through `Guest`.
 *
 * Create and rollback hold the guest's lock for their whole duration, set `busy`, clear the guest's
 * error, and end with `busy` false and the list refreshed; a delete holds the lock too and refreshes
 * the list whether or not it succeeded. Failures go to the guest's error. Everything runs on the
 * thread of the guest's model; only the copies themselves wait on outside programs.
 */
class FolderSnapshots : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<SnapshotRecord> snapshots READ snapshots NOTIFY snapshotsChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(QString message READ message NOTIFY messageChanged)

public:
    /** The folder snapshotted and where its snapshots are kept. */
    struct Place
    {
        QString folder;
        QString collection;
        /** What the records name: the guest and how it is shown. */
        QString deviceID;
        QString displayName;
        /** How a refusal names the guest while another program holds files in the folder. */
        QString inUseLabel;
    };

    /** What a guest supplies: its folder and collection, its lock, and its settings. */
    class Guest
    {
    public:
        /** Nothing while the guest has no folder to snapshot. */
        virtual std::optional<Place> snapshotPlace() const = 0;
        /** Taken for the whole of a create, rollback or delete; throws when another copy holds it. */
        virtual InstanceLock::Held lockForSnapshots() const = 0;
        /** The settings kept with a new snapshot. */
        virtual QByteArray snapshotSettings() const = 0;
        /**
         * Called once the folder holds the snapshot's files: adopts the settings kept with it (`kept`)
         * and shows the rollback. Returns false, keeping the current settings, when `kept` is missing
         * or cannot be read. May throw; the failure then goes to the error.
         */
        virtual bool rolledBack(const SnapshotRecord &record, const std::optional<QByteArray> &kept) = 0;
        /** Shows a failure to the user; an empty text clears it. */
        virtual void showSnapshotError(const QString &error) = 0;

    protected:
        ~Guest() = default;
    };

    /** `platform` ("Android", "Linux", "Windows") goes into the records and the log lines. */
    FolderSnapshots(Guest &guest, QString platform, QObject *parent = nullptr);

    /** Newest first. */
    const QList<SnapshotRecord> &snapshots() const { return m_snapshots; }
    /** The first of `snapshots`: the one a rollback or a delete acts on. */
    std::optional<SnapshotRecord> latest() const;
    /** A create or a rollback is in progress. */
    bool busy() const { return m_busy; }
    /** "最近快照：…", "尚未创建快照", or what is in progress. */
    const QString &message() const { return m_message; }

    /** Lists the collection again and words the message from it. */
    void refresh();
    /** Clones the folder with the guest's settings; ignored while busy or without a place. */
    QCoro::Task<> create();
    /** Puts the latest snapshot's files and settings back; ignored while busy or without one. */
    QCoro::Task<> rollbackLatest();
    /** Deletes the latest snapshot; ignored while busy or without one. */
    void deleteLatest();

Q_SIGNALS:
    void snapshotsChanged();
    void busyChanged();
    void messageChanged();

private:
    void setSnapshots(const QList<SnapshotRecord> &snapshots);
    void setBusy(bool busy);
    void setMessage(const QString &message);

    Guest &m_guest;
    const QString m_platform;
    QList<SnapshotRecord> m_snapshots;
    bool m_busy = false;
    QString m_message;
};

#pragma once

#include "ios/IOSDevices.h"
#include "ios/IOSInventory.h"
#include "ios/IOSSimctl.h"
#include "ios/IOSSnapshotRecord.h"
#include "ios/IOSSnapshots.h"
#include "services/PropertyField.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <optional>

/**
 * The iOS simulator devices created here, driven through `xcrun simctl`: the inventory of runtimes
 * and device types, creation, boot (shown in the Simulator application), shutdown, rename, delete,
 * and snapshots kept as hidden simulator clones. Only devices recorded in the owned-device registry
 * are listed or touched; every other simulator on the machine is left alone.
 *
 * The devices and the snapshots are objects of their own (IOSDevices, IOSSnapshots); this model
 * admits one operation at a time across both, carries the steps that involve both (a delete takes
 * the device's snapshots with it, a rollback replaces the device), and shows what happened.
 *
 * Every operation is a task that never throws: outcomes show in the fields and the global log.
 * `busy` admits one operation at a time; a request made while one runs is dropped.
 */
class IOSModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString runtime READ runtime WRITE setRuntime NOTIFY runtimeChanged)
    Q_PROPERTY(QString type READ type WRITE setType NOTIFY typeChanged)
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(bool loaded READ loaded NOTIFY loadedChanged)
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(QList<IOSSnapshotRecord> snapshots READ snapshots NOTIFY snapshotsChanged)

public:
    /** The programs run and how their time-outs scale. */
    using Options = IOSSimctl::Options;

    /** Reads both registries under `root` (the data root when empty); runs no outside program. */
    explicit IOSModel(QString root = {}, Options options = {}, QObject *parent = nullptr);

    const QList<IOSRuntime> &runtimes() const { return m_devices.runtimes(); }
    const QList<IOSDeviceType> &types() const { return m_devices.types(); }
    /** Owned devices simctl still reports, by name. */
    const QList<IOSDevice> &devices() const { return m_devices.devices(); }
    const QString &runtime() const { return m_devices.runtime(); }
    void setRuntime(const QString &runtime) { m_devices.setRuntime(runtime); }
    const QString &type() const { return m_devices.type(); }
    void setType(const QString &type) { m_devices.setType(type); }
    const QString &name() const { return m_devices.name(); }
    void setName(const QString &name) { m_devices.setName(name); }
    bool busy() const { return m_busy; }
    bool loaded() const { return m_loaded; }
    /** The last failure shown to the user; empty when there is none. */
    const QString &error() const { return m_error; }
    void clearError() { setError(QString()); }
    const QString &status() const { return m_status; }
    /** Snapshot records, newest first. */
    const QList<IOSSnapshotRecord> &snapshots() const { return m_snapshots.records(); }
    /** UDIDs of the devices created here. */
    const QSet<QString> &owned() const { return m_devices.owned(); }
    const QString &registry() const { return m_devices.registry(); }
    const QString &snapshotRegistry() const { return m_snapshots.registry(); }

    /** Reads the inventory again; a failure shows the no-Xcode state. */
    QCoro::Task<> refresh();
    /** Creates a device from `name` (trimmed), `type` and `runtime`. */
    QCoro::Task<> create();
    /** `action` is "boot", "shutdown", "force" or "delete"; anything else is ignored. */
    QCoro::Task<> operate(IOSDevice device, QString action);
    QCoro::Task<> rename(IOSDevice device, QString to);

    /** The device's newest snapshot, the earlier of equal times first; the one rollback restores. */
    std::optional<IOSSnapshotRecord> latestSnapshot(const IOSDevice &device) const
    {
        return m_snapshots.latest(device.udid);
    }
    /** Clones a shut-down device into a hidden snapshot device. */
    QCoro::Task<> createSnapshot(IOSDevice device);
    /**
     * Replaces a shut-down device by a fresh clone of its newest snapshot under the same name. The
     * clone is recorded before the old device is deleted, so the user's data always exists somewhere.
     */
    QCoro::Task<> rollback(IOSDevice device);
    QCoro::Task<> deleteLatestSnapshot(IOSDevice device);

Q_SIGNALS:
    void runtimesChanged();
    void typesChanged();
    void devicesChanged();
    void runtimeChanged();
    void typeChanged();
    void nameChanged();
    void busyChanged();
    void loadedChanged();
    void errorChanged();
    void statusChanged();
    void snapshotsChanged();

private:
    /** Shows what the inventory just read holds. */
    void onInventoryRead();

    void setBusy(bool busy) { m_busy.set(busy); }
    void setError(const QString &error) { m_error.set(error); }
    /** Inside a catch: publishes the failure being handled as `error` and logs it after `logPrefix`. */
    void failWith(const QString &logCategory, const QString &logPrefix);
    void setStatus(const QString &status) { m_status.set(status); }

    const IOSSimctl m_simctl;
    IOSDevices m_devices;
    IOSSnapshots m_snapshots;
    PropertyField<bool, &IOSModel::busyChanged> m_busy{this};
    PropertyField<bool, &IOSModel::loadedChanged> m_loaded{this};
    PropertyField<QString, &IOSModel::errorChanged> m_error{this};
    PropertyField<QString, &IOSModel::statusChanged> m_status{this, QStringLiteral("正在检查本机 Xcode…")};
};

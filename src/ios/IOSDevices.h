#pragma once

#include "ios/IOSInventory.h"
#include "ios/detail/IOSRegistry.h"
#include "services/PropertyField.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

class IOSSimctl;

/**
 * The device side of the iOS model: the inventory simctl reports (runtimes, device types and the
 * devices created here), the choices for a new device, and the owned-device registry that decides
 * which simulators are ours. Its steps throw; IOSModel runs them one at a time and shows failures.
 */
class IOSDevices : public QObject
{
    Q_OBJECT

public:
    /** Reads the registry at `registry`; runs no outside program. */
    IOSDevices(QString registry, const IOSSimctl &simctl, QObject *parent = nullptr);

    const QList<IOSRuntime> &runtimes() const { return m_runtimes; }
    const QList<IOSDeviceType> &types() const { return m_types; }
    /** Owned devices simctl still reports, by name. */
    const QList<IOSDevice> &devices() const { return m_devices; }
    const QString &runtime() const { return m_runtime; }
    void setRuntime(const QString &runtime) { m_runtime.set(runtime); }
    const QString &type() const { return m_type; }
    void setType(const QString &type) { m_type.set(type); }
    const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name.set(name); }
    /** UDIDs of the devices created here. */
    const QSet<QString> &owned() const { return m_owned; }
    bool owns(const QString &udid) const { return m_owned.contains(udid); }
    const QString &registry() const { return m_registry.path(); }
    /** Why the registry could not be read when this was made; empty when it could. */
    const QString &loadError() const { return m_registry.loadError(); }

    /** Reads the inventory and derives the lists and choices, then says inventoryRead. */
    QCoro::Task<> reload();
    /**
     * Creates a device named `name` of the chosen type and runtime and records it; returns its UDID.
     * A device that cannot be recorded is deleted again.
     */
    QCoro::Task<QString> create(QString name);
    /**
     * "boot" (shown in the Simulator, booted first unless it already is), "shutdown", "delete", or
     * "force": a shutdown with the shorter time-out. Leaves the registry alone.
     */
    QCoro::Task<> run(IOSDevice device, QString action);
    QCoro::Task<> rename(QString udid, QString name);

    /** Adds a device to the registry in memory; save() writes it. */
    void adopt(const QString &udid) { m_owned.insert(udid); }
    /** Takes a device out of the registry in memory; save() writes it. */
    void release(const QString &udid) { m_owned.remove(udid); }
    /** Writes the registry; throws on failure. */
    void save();

Q_SIGNALS:
    void runtimesChanged();
    void typesChanged();
    void devicesChanged();
    void runtimeChanged();
    void typeChanged();
    void nameChanged();
    /** A read of the inventory has been applied to the lists. */
    void inventoryRead();

private:
    void apply(const IOSInventory &inventory);

    const IOSSimctl &m_simctl;
    PropertyField<QList<IOSRuntime>, &IOSDevices::runtimesChanged> m_runtimes{this};
    PropertyField<QList<IOSDeviceType>, &IOSDevices::typesChanged> m_types{this};
    PropertyField<QList<IOSDevice>, &IOSDevices::devicesChanged> m_devices{this};
    PropertyField<QString, &IOSDevices::runtimeChanged> m_runtime{this};
    PropertyField<QString, &IOSDevices::typeChanged> m_type{this};
    PropertyField<QString, &IOSDevices::nameChanged> m_name{this, QStringLiteral("iPhone 17 Pro")};
    QSet<QString> m_owned;
    IOSRegistry::File m_registry;
};

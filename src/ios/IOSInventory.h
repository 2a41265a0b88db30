#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

/** A simulator runtime as `simctl list --json` reports it. */
struct IOSRuntime
{
    QString identifier;
    QString name;
    bool isAvailable = false;

    bool operator==(const IOSRuntime &other) const = default;
};

/** A simulator device type (a hardware model) as simctl reports it. */
struct IOSDeviceType
{
    QString identifier;
    QString name;

    bool operator==(const IOSDeviceType &other) const = default;
};

/** One simulator device; `state` is simctl's own word ("Booted", "Shutdown", …). */
struct IOSDevice
{
    QString udid;
    QString name;
    QString state;
    std::optional<bool> isAvailable;

    bool operator==(const IOSDevice &other) const = default;
};

/** Everything `xcrun simctl list --json` says about the machine's simulators that this system reads. */
struct IOSInventory
{
    QList<IOSRuntime> runtimes;
    QList<IOSDeviceType> devicetypes;
    /** Devices by runtime identifier. */
    QMap<QString, QList<IOSDevice>> devices;

    /**
     * Reads simctl's JSON. Unknown keys are ignored; a missing or mistyped required key fails the
     * whole read with a VMFailure naming where it went wrong.
     */
    static IOSInventory decode(const QByteArray &json);
};

#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class VirtualMachineEngine;

/**
 * The Linux machine's settings as the user edits them and as linux-configuration.json keeps them.
 * Every use goes through validated(), so a stored value this host cannot give is clamped, not refused.
 */
struct LinuxConfiguration
{
    qint64 cores = 4;
    qint64 memoryGB = 4;
    /** Only read when the disk is first created. */
    qint64 diskGB = 32;
    QString isoPath;
    bool attachISO = true;
    QString macAddress;
    qint64 resolutionWidth = 1280;
    qint64 resolutionHeight = 800;

    /** The settings of a machine never configured, with a fresh address from `engine`. */
    static LinuxConfiguration defaults(const VirtualMachineEngine &engine);

    /** A copy clamped to what the current host can give; resolution and address are left alone. */
    LinuxConfiguration validated() const;

    /** Compact JSON object with exactly the eight fields. */
    QByteArray toJson() const;
    /** The configuration in `json`, or nothing unless all eight fields are present with their types. */
    static std::optional<LinuxConfiguration> fromJson(const QByteArray &json);
    /**
     * The configuration stored at `path` as written, or the defaults (with a new address) when the
     * file is missing, unreadable or incomplete. Not validated; the file is left alone.
     */
    static LinuxConfiguration load(const QString &path, const VirtualMachineEngine &engine);

    friend bool operator==(const LinuxConfiguration &, const LinuxConfiguration &) = default;
};

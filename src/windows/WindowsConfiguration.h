#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>
#include <QVariantMap>

/**
 * The Windows machine's settings as windows-configuration.json keeps them, and the UTM configuration
 * written from them. The hardware values only shape bundles created afterwards.
 */
struct WindowsConfiguration
{
    static constexpr qint64 GiB = qint64(1) << 30;

    qint64 cores = 4;
    qint64 memoryGB = 4;
    qint64 diskGB = 64;
    QString isoPath;
    /** The associated ".utm" bundle; empty when there is none. */
    QString projectPath;

    /** A copy clamped to what this host can give: at most 8 cores, 4 to 8 GB and at most half the memory. */
    WindowsConfiguration validated() const;

    /** Compact JSON object with exactly the five fields. */
    QByteArray toJson() const;
    /** Throws SystemError, describing what is wrong, unless all five fields are present with their types. */
    static WindowsConfiguration fromJson(const QByteArray &json);
    /** The configuration stored at `path`, or the defaults when it is missing or cannot be decoded. */
    static WindowsConfiguration load(const QString &path);

    /** UTM's config.plist content for a machine identified by `id`. */
    QVariantMap plist(const QUuid &id) const;
    /** A locally administered unicast address derived from `id`, "02:" and five lower-case octets. */
    static QString macAddress(const QUuid &id);
    /** The standard upper-case text of `id`. */
    static QString uuidText(const QUuid &id);

    /**
     * Creates `path` as a sparse file of exactly `bytes` bytes. Refuses to touch an existing file;
     * throws VMFailure or SystemError.
     */
    static void sparseDisk(const QString &path, qint64 bytes);

    friend bool operator==(const WindowsConfiguration &, const WindowsConfiguration &) = default;
};

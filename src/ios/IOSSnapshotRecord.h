#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

/** One iOS snapshot: a hidden simulator clone of an owned device, as listed in "ios-snapshots.json". */
struct IOSSnapshotRecord
{
    /** 2001-01-01 00:00:00 UTC in seconds since the Unix epoch: the zero of `createdAt`. */
    static constexpr qint64 referenceEpoch = 978'307'200;

    QString id;
    /** The owned device the snapshot belongs to; follows the device to its new UDID after a rollback. */
    QString sourceDeviceID;
    QString snapshotDeviceID;
    QString deviceName;
    /**
     * Seconds since 2001-01-01 00:00:00 UTC, as the registry stores it. Kept as the stored number
     * rather than a QDateTime so rewriting the registry never rounds away what another writer put there.
     */
    double createdAt = 0;

    /** `createdAt` as a point in time (to the millisecond). */
    QDateTime created() const;
    static double secondsSinceReference(const QDateTime &time);

    /** The registry's bytes: a compact JSON array of records in the given order, keys in field order. */
    static QByteArray encodeList(const QList<IOSSnapshotRecord> &records);
    /** Reads the registry; throws VMFailure when it is not a list of complete records. */
    static QList<IOSSnapshotRecord> decodeList(const QByteArray &json);

    bool operator==(const IOSSnapshotRecord &other) const = default;
};

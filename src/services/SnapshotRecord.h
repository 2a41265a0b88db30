#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

/** One point-in-time copy of a guest's data, as described by the snapshot.json beside its payload. */
struct SnapshotRecord
{
    QString id;
    QString platform;
    QString deviceID;
    QString displayName;
    QDateTime createdAt;

    QByteArray toJson() const;
    /** Only complete records with a whole-second UTC date ("2026-03-01T08:15:42Z") decode. */
    static std::optional<SnapshotRecord> fromJson(const QByteArray &json);

    bool operator==(const SnapshotRecord &other) const = default;
};

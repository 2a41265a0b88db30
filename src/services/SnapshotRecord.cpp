#include "services/SnapshotRecord.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

QByteArray SnapshotRecord::toJson() const
{
    const QJsonObject object{
        {QStringLiteral("id"), id},
        {QStringLiteral("platform"), platform},
        {QStringLiteral("deviceID"), deviceID},
        {QStringLiteral("displayName"), displayName},
        {QStringLiteral("createdAt"), createdAt.toUTC().toString(Qt::ISODate)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<SnapshotRecord> SnapshotRecord::fromJson(const QByteArray &json)
{
    static const QRegularExpression wholeSecondUtc(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$)"));
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    const char *const keys[] = {"id", "platform", "deviceID", "displayName", "createdAt"};
    for (const char *key : keys) {
        if (!object.value(QLatin1String(key)).isString()) {
            return std::nullopt;
        }
    }
    const QString stamp = object.value(QLatin1String("createdAt")).toString();
    if (!wholeSecondUtc.match(stamp).hasMatch()) {
        return std::nullopt;
    }
    QDateTime createdAt = QDateTime::fromString(stamp, Qt::ISODate);
    if (!createdAt.isValid()) {
        return std::nullopt;
    }
    return SnapshotRecord{object.value(QLatin1String("id")).toString(), object.value(QLatin1String("platform")).toString(),
                          object.value(QLatin1String("deviceID")).toString(),
                          object.value(QLatin1String("displayName")).toString(), createdAt.toUTC()};
}

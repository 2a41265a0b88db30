#include "ios/IOSSnapshotRecord.h"

#include "platform/Error.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <cmath>

namespace {

/** One JSON scalar as Qt's writer spells it: its escaping for strings, shortest round-trip for numbers. */
QByteArray scalar(const QJsonValue &value)
{
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

[[noreturn]] void fail(const QString &reason)
{
    throw VMFailure(QStringLiteral("快照记录格式不正确：") + reason);
}

} // namespace

QDateTime IOSSnapshotRecord::created() const
{
    // A hand-edited registry may hold any number; keep the conversion defined (about ±270 million years).
    const double milliseconds = std::clamp(createdAt * 1000, -8.6e18, 8.6e18);
    return QDateTime::fromMSecsSinceEpoch(
        IOSSnapshotRecord::referenceEpoch * 1000 + qint64(std::llround(milliseconds)), Qt::UTC);
}

double IOSSnapshotRecord::secondsSinceReference(const QDateTime &time)
{
    return double(time.toMSecsSinceEpoch() - referenceEpoch * 1000) / 1000.0;
}

QByteArray IOSSnapshotRecord::encodeList(const QList<IOSSnapshotRecord> &records)
{
    QByteArray json("[");
    for (const IOSSnapshotRecord &record : records) {
        if (json.size() > 1) {
            json += ',';
        }
        json += "{\"id\":" + scalar(record.id) + ",\"sourceDeviceID\":" + scalar(record.sourceDeviceID) +
                ",\"snapshotDeviceID\":" + scalar(record.snapshotDeviceID) +
                ",\"deviceName\":" + scalar(record.deviceName) +
                ",\"createdAt\":" + scalar(record.createdAt) + '}';
    }
    json += ']';
    return json;
}

QList<IOSSnapshotRecord> IOSSnapshotRecord::decodeList(const QByteArray &json)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        fail(parseError.errorString() + QStringLiteral("（位置 ") + QString::number(parseError.offset) +
             u'）');
    }
    if (!document.isArray()) {
        fail(QStringLiteral("顶层不是数组"));
    }
    QList<IOSSnapshotRecord> records;
    const QJsonArray array = document.array();
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString position = u'[' + QString::number(i) + u']';
        if (!array.at(i).isObject()) {
            fail(position + QStringLiteral(" 不是对象"));
        }
        const QJsonObject object = array.at(i).toObject();
        IOSSnapshotRecord record;
        const std::pair<const char *, QString *> strings[] = {{"id", &record.id},
                                                              {"sourceDeviceID", &record.sourceDeviceID},
                                                              {"snapshotDeviceID", &record.snapshotDeviceID},
                                                              {"deviceName", &record.deviceName}};
        for (const auto &[key, field] : strings) {
            const QJsonValue value = object.value(QLatin1String(key));
            if (!value.isString()) {
                fail(position + u'.' + QLatin1String(key) + QStringLiteral(" 缺失或不是字符串"));
            }
            *field = value.toString();
        }
        const QJsonValue createdAt = object.value(QLatin1String("createdAt"));
        if (!createdAt.isDouble()) {
            fail(position + QStringLiteral(".createdAt 缺失或不是数字"));
        }
        record.createdAt = createdAt.toDouble();
        records.append(record);
    }
    return records;
}

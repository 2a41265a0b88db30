#include "ios/IOSInventory.h"

#include "platform/Error.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace {

[[noreturn]] void fail(const QString &reason)
{
    throw VMFailure(QStringLiteral("无法识别 simctl 返回的模拟器列表：") + reason);
}

QString where(const QString &path, const char *key)
{
    return path.isEmpty() ? QString::fromLatin1(key) : path + u'.' + QLatin1String(key);
}

QJsonValue required(const QJsonObject &object, const QString &path, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull()) {
        fail(QStringLiteral("缺少 ") + where(path, key));
    }
    return value;
}

QString requiredString(const QJsonObject &object, const QString &path, const char *key)
{
    const QJsonValue value = required(object, path, key);
    if (!value.isString()) {
        fail(where(path, key) + QStringLiteral(" 不是字符串"));
    }
    return value.toString();
}

bool requiredBool(const QJsonObject &object, const QString &path, const char *key)
{
    const QJsonValue value = required(object, path, key);
    if (!value.isBool()) {
        fail(where(path, key) + QStringLiteral(" 不是布尔值"));
    }
    return value.toBool();
}

QJsonArray requiredArray(const QJsonObject &object, const QString &path, const char *key)
{
    const QJsonValue value = required(object, path, key);
    if (!value.isArray()) {
        fail(where(path, key) + QStringLiteral(" 不是数组"));
    }
    return value.toArray();
}

QJsonObject element(const QJsonArray &array, qsizetype index, const QString &path)
{
    const QJsonValue value = array.at(index);
    if (!value.isObject()) {
        fail(path + u'[' + QString::number(index) + QStringLiteral("] 不是对象"));
    }
    return value.toObject();
}

QString indexed(const QString &path, qsizetype index)
{
    return path + u'[' + QString::number(index) + u']';
}

} // namespace

IOSInventory IOSInventory::decode(const QByteArray &json)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        fail(parseError.errorString() + QStringLiteral("（位置 ") + QString::number(parseError.offset) +
             u'）');
    }
    if (!document.isObject()) {
        fail(QStringLiteral("顶层不是对象"));
    }
    const QJsonObject root = document.object();
    IOSInventory inventory;

    const QJsonArray runtimes = requiredArray(root, {}, "runtimes");
    for (qsizetype i = 0; i < runtimes.size(); ++i) {
        const QString path = indexed(QStringLiteral("runtimes"), i);
        const QJsonObject object = element(runtimes, i, QStringLiteral("runtimes"));
        inventory.runtimes.append({requiredString(object, path, "identifier"),
                                   requiredString(object, path, "name"),
                                   requiredBool(object, path, "isAvailable")});
    }

    const QJsonArray types = requiredArray(root, {}, "devicetypes");
    for (qsizetype i = 0; i < types.size(); ++i) {
        const QString path = indexed(QStringLiteral("devicetypes"), i);
        const QJsonObject object = element(types, i, QStringLiteral("devicetypes"));
        inventory.devicetypes.append(
            {requiredString(object, path, "identifier"), requiredString(object, path, "name")});
    }

    const QJsonValue groups = required(root, {}, "devices");
    if (!groups.isObject()) {
        fail(QStringLiteral("devices 不是对象"));
    }
    const QJsonObject byRuntime = groups.toObject();
    for (auto group = byRuntime.begin(); group != byRuntime.end(); ++group) {
        const QString groupPath = QStringLiteral("devices.") + group.key();
        if (!group.value().isArray()) {
            fail(groupPath + QStringLiteral(" 不是数组"));
        }
        const QJsonArray list = group.value().toArray();
        QList<IOSDevice> devices;
        for (qsizetype i = 0; i < list.size(); ++i) {
            const QString path = indexed(groupPath, i);
            const QJsonObject object = element(list, i, groupPath);
            IOSDevice device{requiredString(object, path, "udid"), requiredString(object, path, "name"),
                             requiredString(object, path, "state"), std::nullopt};
            const QJsonValue available = object.value(QLatin1String("isAvailable"));
            if (available.isBool()) {
                device.isAvailable = available.toBool();
            } else if (!available.isUndefined() && !available.isNull()) {
                fail(where(path, "isAvailable") + QStringLiteral(" 不是布尔值"));
            }
            devices.append(device);
        }
        inventory.devices.insert(group.key(), devices);
    }
    return inventory;
}

#include "preferences/AppPreferences.h"

#include "platform/Error.h"
#include "platform/Host.h"
#include "preferences/PreferenceNotifier.h"
#include "preferences/detail/PreferenceWriter.h"
#include "services/AppLog.h"
#include "services/FileIO.h"
#include "services/JsonValue.h"
#include "services/UnreadableFile.h"

#include <QFile>
#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

constexpr qint64 GiB = qint64(1) << 30;

const QString doubleTag = QStringLiteral("double");

// JSON has one kind of number and Qt reads every whole one back as an integer, so a double is
// wrapped in a one-key object; otherwise a stored 2.0 would come back as the integer 2.
QJsonValue encodeValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return QJsonObject{{doubleTag, value.toDouble()}};
    case QMetaType::ULongLong:
    case QMetaType::ULong:
        // Only the part of the unsigned range that JSON's integers can carry stays an integer.
        if (value.toULongLong() <= quint64(std::numeric_limits<qint64>::max())) {
            return QJsonValue(value.toLongLong());
        }
        return QJsonObject{{doubleTag, value.toDouble()}};
    default:
        return QJsonValue::fromVariant(value);
    }
}

QVariant decodeValue(const QJsonValue &value)
{
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        if (object.size() == 1 && object.value(doubleTag).isDouble()) {
            return object.value(doubleTag).toDouble();
        }
    }
    return value.toVariant();
}

// A dozen preferences take a few hundred bytes; a file anywhere near this is not one we wrote.
constexpr qint64 storeLimit = qint64(1024) * 1024;

bool readJsonSettings(QIODevice &device, QSettings::SettingsMap &map)
{
    // QSettings hands over the file it opened; reading it again by name keeps the read within the limit.
    const auto *file = qobject_cast<const QFile *>(&device);
    const std::optional<QByteArray> bytes =
        file ? FileIO::readSmallFile(file->fileName(), storeLimit) : std::nullopt;
    const std::optional<QJsonObject> object = bytes ? JsonValue::object(*bytes) : std::nullopt;
    if (!object) {
        // QSettings then reports a format error and reads nothing: every key falls back to its default.
        return false;
    }
    for (auto it = object->constBegin(); it != object->constEnd(); ++it) {
        map.insert(it.key(), decodeValue(it.value()));
    }
    return true;
}

bool writeJsonSettings(QIODevice &device, const QSettings::SettingsMap &map)
{
    QJsonObject object;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        object.insert(it.key(), encodeValue(it.value()));
    }
    const QByteArray data = QJsonDocument(object).toJson(QJsonDocument::Indented);
    return device.write(data) == data.size();
}

/** The value as this process last set it, whether or not it is in the file yet. */
QVariant valueOf(const QSettings &store, QLatin1StringView name)
{
    const QString key(name);
    if (std::optional<QVariant> pending = PreferenceWriter::instance().pending(store, key)) {
        return *std::move(pending);
    }
    return store.value(key);
}

std::optional<qint64> storedInteger(const QSettings &store, QLatin1StringView name)
{
    const QVariant value = valueOf(store, name);
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return value.toLongLong();
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        if (value.toULongLong() <= quint64(std::numeric_limits<qint64>::max())) {
            return value.toLongLong();
        }
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

const auto category = QStringLiteral("设置");

/**
 * QSettings rewrites the whole file from what it could read, so the first write after an unreadable
 * file would leave only the keys written since. Whatever stands there is set aside first; false when
 * that fails, and the write must not happen.
 */
bool keepUnreadableStore(const QSettings &store)
{
    if (store.format() != AppPreferences::jsonFormat()) {
        return true;
    }
    const QString path = store.fileName();
    if (!FileIO::exists(path)) {
        return true;
    }
    // An empty file holds nothing to lose; QSettings reads it as empty, not as damaged.
    const std::optional<QByteArray> bytes = FileIO::readSmallFile(path, storeLimit);
    if (bytes && (bytes->isEmpty() || JsonValue::object(*bytes))) {
        return true;
    }
    try {
        UnreadableFile::setAside(path, category, QStringLiteral("偏好设置文件无法读取，原文件已另存为 "));
        return true;
    } catch (...) {
        AppLog::error(category, QStringLiteral("偏好设置文件无法读取，也无法另存，更改未保存：") +
                                    describe(std::current_exception()));
        return false;
    }
}

void storeValue(QSettings &store, QLatin1StringView name, const QVariant &value)
{
    const QString key(name);
    if (store.format() == QSettings::NativeFormat) {
        // The system's own store keeps the file in the background itself.
        if (keepUnreadableStore(store)) {
            store.setValue(key, value);
        }
    } else {
        PreferenceWriter::instance().set(store, key, value, keepUnreadableStore);
    }
    Q_EMIT PreferenceNotifier::instance()->changed(key);
}

} // namespace

void AppPreferences::flush()
{
    PreferenceWriter::instance().flush();
}

void AppPreferences::clear(QSettings &store)
{
    flush();
    store.clear();
    store.sync();
}

std::unique_ptr<QSettings> AppPreferences::openStore()
{
    const QString organization = QStringLiteral("Corvane");
    const QString application = QStringLiteral("CorvaneBeta");
    const QSettings::Format format = Host::nativePreferenceStore() ? QSettings::NativeFormat : jsonFormat();
    return std::make_unique<QSettings>(format, QSettings::UserScope, organization, application);
}

QSettings::Format AppPreferences::jsonFormat()
{
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("json"), readJsonSettings, writeJsonSettings);
    return format;
}

bool AppPreferences::read(const QSettings &store, const BoolKey &key)
{
    const QVariant value = valueOf(store, key.name);
    return value.typeId() == QMetaType::Bool ? value.toBool() : key.defaultValue;
}

qint64 AppPreferences::read(const QSettings &store, const IntegerKey &key)
{
    return storedInteger(store, key.name).value_or(key.defaultValue);
}

QString AppPreferences::read(const QSettings &store, const StringKey &key)
{
    const QVariant value = valueOf(store, key.name);
    return value.typeId() == QMetaType::QString ? value.toString() : QString(key.defaultValue);
}

qint64 AppPreferences::multiMemoryGB(const QSettings &store)
{
    return storedInteger(store, multiMemoryGBKey)
        .value_or(multiMemoryGBDefault(Host::current().physicalMemory()));
}

void AppPreferences::write(QSettings &store, const BoolKey &key, bool value)
{
    storeValue(store, key.name, value);
}

void AppPreferences::write(QSettings &store, const IntegerKey &key, qint64 value)
{
    storeValue(store, key.name, value);
}

void AppPreferences::write(QSettings &store, const StringKey &key, const QString &value)
{
    storeValue(store, key.name, value);
}

void AppPreferences::setMultiMemoryGB(QSettings &store, qint64 gigabytes)
{
    storeValue(store, multiMemoryGBKey, gigabytes);
}

qint64 AppPreferences::memoryBudgetMB(const QSettings &store)
{
    const qint64 memory = Host::current().physicalMemory();
    if (memory < 5 * GiB) {
        return 1024;
    }
    const qint64 usable = memory / GiB - 4;
    return std::min(std::max<qint64>(multiMemoryGB(store), 1), usable) * 1024;
}

AppPreferences::Range AppPreferences::newDeviceCoresRange(int activeProcessors)
{
    return {1, std::clamp<qint64>(activeProcessors, 1, 8)};
}

AppPreferences::Range AppPreferences::newDeviceMemoryGBRange(qint64 physicalMemory)
{
    return {1, std::clamp<qint64>(physicalMemory / (2 * GiB), 1, 8)};
}

AppPreferences::Range AppPreferences::multiMemoryGBRange(qint64 physicalMemory)
{
    const qint64 gigabytes = physicalMemory / GiB;
    return {1, gigabytes > 4 ? gigabytes - 4 : 1};
}

qint64 AppPreferences::multiMemoryGBDefault(qint64 physicalMemory)
{
    const qint64 gigabytes = physicalMemory / GiB;
    return gigabytes >= 5 ? gigabytes - 4 : 1;
}

#include "linux/LinuxConfiguration.h"

#include "linux/engine/VirtualMachineEngine.h"
#include "platform/Host.h"
#include "preferences/AppPreferences.h"
#include "services/FileIO.h"
#include "services/JsonValue.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>

namespace {

const QString coresKey = QStringLiteral("cores");
const QString memoryKey = QStringLiteral("memoryGB");
const QString diskKey = QStringLiteral("diskGB");
const QString isoPathKey = QStringLiteral("isoPath");
const QString attachISOKey = QStringLiteral("attachISO");
const QString macAddressKey = QStringLiteral("macAddress");
const QString widthKey = QStringLiteral("resolutionWidth");
const QString heightKey = QStringLiteral("resolutionHeight");

} // namespace

LinuxConfiguration LinuxConfiguration::defaults(const VirtualMachineEngine &engine)
{
    LinuxConfiguration configuration;
    configuration.macAddress = engine.randomLocallyAdministeredMACAddress();
    return configuration;
}

LinuxConfiguration LinuxConfiguration::validated() const
{
    const Host &host = Host::current();
    // The same share of the host as a new Android device; a host that reports no processors still
    // gets one core rather than an unbootable machine.
    const AppPreferences::Range coreRange = AppPreferences::newDeviceCoresRange(host.activeProcessorCount());
    const AppPreferences::Range memoryRange = AppPreferences::newDeviceMemoryGBRange(host.physicalMemory());

    LinuxConfiguration result = *this;
    result.cores = std::clamp(cores, coreRange.minimum, coreRange.maximum);
    result.memoryGB = std::clamp(memoryGB, memoryRange.minimum, memoryRange.maximum);
    result.diskGB = std::clamp<qint64>(diskGB, 16, 256);
    return result;
}

QByteArray LinuxConfiguration::toJson() const
{
    const QJsonObject object{
        {coresKey, cores},           {memoryKey, memoryGB},         {diskKey, diskGB},
        {isoPathKey, isoPath},       {attachISOKey, attachISO},     {macAddressKey, macAddress},
        {widthKey, resolutionWidth}, {heightKey, resolutionHeight},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<LinuxConfiguration> LinuxConfiguration::fromJson(const QByteArray &json)
{
    const std::optional<QJsonObject> stored = JsonValue::object(json);
    if (!stored) {
        return std::nullopt;
    }
    const QJsonObject &object = *stored;
    const std::optional<qint64> cores = JsonValue::integer(object.value(coresKey));
    const std::optional<qint64> memory = JsonValue::integer(object.value(memoryKey));
    const std::optional<qint64> disk = JsonValue::integer(object.value(diskKey));
    const QJsonValue isoPath = object.value(isoPathKey);
    const QJsonValue attachISO = object.value(attachISOKey);
    const QJsonValue macAddress = object.value(macAddressKey);
    const std::optional<qint64> width = JsonValue::integer(object.value(widthKey));
    const std::optional<qint64> height = JsonValue::integer(object.value(heightKey));
    if (!cores || !memory || !disk || !isoPath.isString() || !attachISO.isBool() || !macAddress.isString() ||
        !width || !height) {
        return std::nullopt;
    }
    LinuxConfiguration configuration;
    configuration.cores = *cores;
    configuration.memoryGB = *memory;
    configuration.diskGB = *disk;
    configuration.isoPath = isoPath.toString();
    configuration.attachISO = attachISO.toBool();
    configuration.macAddress = macAddress.toString();
    configuration.resolutionWidth = *width;
    configuration.resolutionHeight = *height;
    return configuration;
}

LinuxConfiguration LinuxConfiguration::load(const QString &path, const VirtualMachineEngine &engine)
{
    // A handful of settings: a file anywhere near the limit is not one we wrote.
    if (const std::optional<QByteArray> bytes = FileIO::readSmallFile(path, qint64(1024) * 1024)) {
        if (const std::optional<LinuxConfiguration> stored = fromJson(*bytes)) {
            return *stored;
        }
    }
    return defaults(engine);
}

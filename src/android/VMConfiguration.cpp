#include "android/VMConfiguration.h"

#include "platform/Host.h"
#include "platform/Tools.h"
#include "preferences/AppPreferences.h"
#include "services/FileIO.h"
#include "services/JsonValue.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>

namespace {

constexpr qint64 MiB = qint64(1) << 20;
constexpr qint64 GiB = qint64(1) << 30;

const QString coresKey = QStringLiteral("cores");
const QString memoryKey = QStringLiteral("memoryMB");
const QString screenKey = QStringLiteral("screen");
const QString softwareGPUKey = QStringLiteral("softwareGPU");

} // namespace

const QList<VMConfiguration::ScreenPreset> &VMConfiguration::screenPresets()
{
    static const QList<ScreenPreset> presets{
        {QStringLiteral(u"720 × 1280"), 720, 1280, 320},
        {QStringLiteral(u"1080 × 1920"), 1080, 1920, 420},
        {QStringLiteral(u"1280 × 800"), 1280, 800, 240},
    };
    return presets;
}

const VMConfiguration::ScreenPreset &VMConfiguration::screenPreset(const QString &label)
{
    const QList<ScreenPreset> &presets = screenPresets();
    const auto found = std::find_if(presets.cbegin(), presets.cend(),
                                    [&label](const ScreenPreset &preset) { return preset.label == label; });
    return found != presets.cend() ? *found : presets.first();
}

VMConfiguration VMConfiguration::defaultConfiguration()
{
    return VMConfiguration{};
}

VMConfiguration VMConfiguration::forNewDevice(const QSettings &store)
{
    using P = AppPreferences;
    const qint64 memory = Host::current().physicalMemory();
    const qint64 gigabytes = P::read(store, P::newDeviceMemoryGB);

    VMConfiguration configuration;
    configuration.cores = P::read(store, P::newDeviceCores);
    if (memory >= 16 * GiB) {
        configuration.memoryMB = std::clamp<qint64>(gigabytes, 1, 8) * 1024;
    } else if (memory >= 2 * GiB && gigabytes >= 1) {
        configuration.memoryMB = std::min(gigabytes, memory / (2 * GiB)) * 1024;
    } else {
        configuration.memoryMB = 1024;
    }
    configuration.screen = screenPresets().first().label;
    configuration.softwareGPU = P::read(store, P::newDeviceSoftwareGPU);
    return configuration.validated();
}

VMConfiguration VMConfiguration::validated() const
{
    const Host &host = Host::current();
    // A host that reports no processors still gets one core rather than an unbootable device.
    const qint64 processors = std::max<qint64>(host.activeProcessorCount(), 1);
    const qint64 memory = host.physicalMemory();

    VMConfiguration result = *this;
    result.cores = std::min({std::max<qint64>(cores, 1), processors, qint64(8)});

    const qint64 requested = std::max<qint64>(memoryMB, 1024);
    if (memory < 2 * GiB) {
        result.memoryMB = 1024;
    } else if (memory >= 16 * GiB) {
        result.memoryMB = std::min<qint64>(requested, 8192);
    } else {
        result.memoryMB = std::min(requested, memory / (2 * MiB));
    }

    result.screen = screenPreset(screen).label;
    return result;
}

QString VMConfiguration::gpuMode() const
{
    return softwareGPU ? QStringLiteral("software") : QStringLiteral("auto");
}

QString VMConfiguration::ini(const QString &imagePath) const
{
    const VMConfiguration config = validated();
    const ScreenPreset &preset = screenPreset(config.screen);
    const QString width = QString::number(preset.width);
    const QString height = QString::number(preset.height);
    const Tools::AndroidVariant variant = Tools::androidVariant(Host::current().androidHost());

    const QStringList lines{
        QStringLiteral("AvdId=Corvane"),
        QStringLiteral("avd.ini.displayname=Corvane"),
        QStringLiteral("avd.ini.encoding=UTF-8"),
        QStringLiteral("abi.type=") + variant.abi,
        QStringLiteral("hw.cpu.arch=") + variant.cpuArch,
        QStringLiteral("hw.cpu.ncore=") + QString::number(config.cores),
        QStringLiteral("hw.ramSize=") + QString::number(config.memoryMB),
        QStringLiteral("hw.lcd.width=") + width,
        QStringLiteral("hw.lcd.height=") + height,
        QStringLiteral("hw.lcd.density=") + QString::number(preset.density),
        QStringLiteral("hw.keyboard=yes"),
        QStringLiteral("hw.mainKeys=no"),
        QStringLiteral("hw.gpu.enabled=yes"),
        QStringLiteral("hw.gpu.mode=") + config.gpuMode(),
        QStringLiteral("hw.audioInput=no"),
        QStringLiteral("hw.camera.back=none"),
        QStringLiteral("hw.camera.front=none"),
        QStringLiteral("hw.sensors.orientation=yes"),
        QStringLiteral("hw.sensors.proximity=yes"),
        QStringLiteral("hw.battery=yes"),
        QStringLiteral("hw.accelerometer=yes"),
        QStringLiteral("hw.dPad=no"),
        QStringLiteral("hw.gsmModem=yes"),
        QStringLiteral("hw.gps=yes"),
        QStringLiteral("hw.sdCard=no"),
        QStringLiteral("disk.dataPartition.size=8G"),
        QStringLiteral("disk.cachePartition=yes"),
        QStringLiteral("disk.cachePartition.size=128M"),
        QStringLiteral("image.sysdir.1=") + imagePath + u'/',
        QStringLiteral("tag.id=default"),
        QStringLiteral("tag.display=Default"),
        QStringLiteral("target=android-34"),
        QStringLiteral("fastboot.forceColdBoot=yes"),
        QStringLiteral("fastboot.forceFastBoot=no"),
        QStringLiteral("showDeviceFrame=no"),
        QStringLiteral("skin.dynamic=yes"),
        QStringLiteral("skin.name=") + width + u'x' + height,
        QStringLiteral("vm.heapSize=256"),
    };
    return lines.join(u'\n') + u'\n';
}

QStringList VMConfiguration::arguments(int port) const
{
    const VMConfiguration config = validated();
    return {
        QStringLiteral("-avd"),         QStringLiteral("Corvane"),
        QStringLiteral("-port"),        QString::number(port),
        QStringLiteral("-cores"),       QString::number(config.cores),
        QStringLiteral("-memory"),      QString::number(config.memoryMB),
        QStringLiteral("-gpu"),         config.gpuMode(),
        QStringLiteral("-no-snapshot"), QStringLiteral("-no-boot-anim"),
        QStringLiteral("-no-metrics"),
    };
}

QByteArray VMConfiguration::toJson() const
{
    const QJsonObject object{
        {coresKey, cores},
        {memoryKey, memoryMB},
        {screenKey, screen},
        {softwareGPUKey, softwareGPU},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<VMConfiguration> VMConfiguration::fromJson(const QByteArray &json)
{
    const std::optional<QJsonObject> stored = JsonValue::object(json);
    if (!stored) {
        return std::nullopt;
    }
    const QJsonObject &object = *stored;
    const std::optional<qint64> cores = JsonValue::integer(object.value(coresKey));
    const std::optional<qint64> memory = JsonValue::integer(object.value(memoryKey));
    const QJsonValue screen = object.value(screenKey);
    const QJsonValue softwareGPU = object.value(softwareGPUKey);
    if (!cores || !memory || !screen.isString() || !softwareGPU.isBool()) {
        return std::nullopt;
    }
    return VMConfiguration{*cores, *memory, screen.toString(), softwareGPU.toBool()};
}

VMConfiguration VMConfiguration::load(const QString &path)
{
    // Four small settings: a file anywhere near the limit is not one we wrote.
    if (const std::optional<QByteArray> bytes = FileIO::readSmallFile(path, qint64(1024) * 1024)) {
        if (const std::optional<VMConfiguration> stored = fromJson(*bytes)) {
            return *stored;
        }
    }
    return defaultConfiguration().validated();
}

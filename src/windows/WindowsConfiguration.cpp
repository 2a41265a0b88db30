#include "windows/WindowsConfiguration.h"

#include "platform/Error.h"
#include "platform/Host.h"
#include "services/FileIO.h"
#include "services/JsonValue.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QVariantList>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace {

const QString coresKey = QStringLiteral("cores");
const QString memoryKey = QStringLiteral("memoryGB");
const QString diskKey = QStringLiteral("diskGB");
const QString isoPathKey = QStringLiteral("isoPath");
const QString projectPathKey = QStringLiteral("projectPath");

qint64 requiredInteger(const QJsonObject &object, const QString &key)
{
    if (!object.contains(key)) {
        throw SystemError(QStringLiteral("No value for key \"%1\".").arg(key));
    }
    const std::optional<qint64> value = JsonValue::integer(object.value(key));
    if (!value) {
        throw SystemError(QStringLiteral("Expected a whole number for key \"%1\".").arg(key));
    }
    return *value;
}

QString requiredString(const QJsonObject &object, const QString &key)
{
    if (!object.contains(key)) {
        throw SystemError(QStringLiteral("No value for key \"%1\".").arg(key));
    }
    const QJsonValue value = object.value(key);
    if (!value.isString()) {
        throw SystemError(QStringLiteral("Expected a string for key \"%1\".").arg(key));
    }
    return value.toString();
}

QString newIdentifier()
{
    return WindowsConfiguration::uuidText(QUuid::createUuid());
}

} // namespace

WindowsConfiguration WindowsConfiguration::validated() const
{
    const Host &host = Host::current();
    const qint64 processors = std::max<qint64>(host.activeProcessorCount(), 1);
    const qint64 halfMemoryGB = std::clamp<qint64>(host.physicalMemory() / (2 * GiB), 4, 8);

    WindowsConfiguration result = *this;
    result.cores = std::min({std::max<qint64>(cores, 1), processors, qint64(8)});
    result.memoryGB = std::min(std::max<qint64>(memoryGB, 4), halfMemoryGB);
    result.diskGB = std::clamp<qint64>(diskGB, 64, 512);
    return result;
}

QByteArray WindowsConfiguration::toJson() const
{
    const QJsonObject object{
        {coresKey, cores},     {memoryKey, memoryGB},         {diskKey, diskGB},
        {isoPathKey, isoPath}, {projectPathKey, projectPath},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

WindowsConfiguration WindowsConfiguration::fromJson(const QByteArray &json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        throw SystemError(error.errorString());
    }
    if (!document.isObject()) {
        throw SystemError(QStringLiteral("Expected a JSON object."));
    }
    const QJsonObject object = document.object();
    WindowsConfiguration configuration;
    configuration.cores = requiredInteger(object, coresKey);
    configuration.memoryGB = requiredInteger(object, memoryKey);
    configuration.diskGB = requiredInteger(object, diskKey);
    configuration.isoPath = requiredString(object, isoPathKey);
    configuration.projectPath = requiredString(object, projectPathKey);
    return configuration;
}

WindowsConfiguration WindowsConfiguration::load(const QString &path)
{
    // A handful of settings: a file anywhere near the limit is not one we wrote.
    if (const std::optional<QByteArray> bytes = FileIO::readSmallFile(path, qint64(1024) * 1024)) {
        try {
            return fromJson(*bytes);
        } catch (const Error &) {
            // An unreadable settings file is replaced by the defaults, as for a first start.
        }
    }
    return {};
}

QVariantMap WindowsConfiguration::plist(const QUuid &id) const
{
    const QVariantMap information{
        {QStringLiteral("Name"), QStringLiteral("Windows ARM64")},
        {QStringLiteral("UUID"), uuidText(id)},
        {QStringLiteral("IconCustom"), false},
        {QStringLiteral("Icon"), QStringLiteral("windows-11")},
        {QStringLiteral("Notes"),
         QStringLiteral("Created locally by Corvane. Windows installation and shutdown are managed in UTM.")},
    };
    const QVariantMap system{
        {QStringLiteral("Architecture"), QStringLiteral("aarch64")},
        {QStringLiteral("Target"), QStringLiteral("virt")},
        {QStringLiteral("CPU"), QStringLiteral("default")},
        {QStringLiteral("CPUFlagsAdd"), QVariantList()},
        {QStringLiteral("CPUFlagsRemove"), QVariantList()},
        {QStringLiteral("CPUCount"), cores},
        {QStringLiteral("ForceMulticore"), false},
        {QStringLiteral("MemorySize"), memoryGB * 1024},
        {QStringLiteral("JITCacheSize"), 0},
    };
    const QVariantMap qemu{
        {QStringLiteral("DebugLog"), false},      {QStringLiteral("UEFIBoot"), true},
        {QStringLiteral("RNGDevice"), true},      {QStringLiteral("BalloonDevice"), false},
        {QStringLiteral("TPMDevice"), true},      {QStringLiteral("Hypervisor"), true},
        {QStringLiteral("TSO"), false},           {QStringLiteral("RTCLocalTime"), true},
        {QStringLiteral("PS2Controller"), false}, {QStringLiteral("AdditionalArguments"), QVariantList()},
    };
    const QVariantMap input{
        {QStringLiteral("UsbBusSupport"), QStringLiteral("3.0")},
        {QStringLiteral("UsbSharing"), false},
        {QStringLiteral("MaximumUsbShare"), 3},
    };
    const QVariantMap sharing{
        {QStringLiteral("DirectoryShareMode"), QStringLiteral("None")},
        {QStringLiteral("DirectoryShareReadOnly"), true},
        {QStringLiteral("ClipboardSharing"), false},
    };
    const QVariantMap display{
        {QStringLiteral("Hardware"), QStringLiteral("virtio-ramfb")},
        {QStringLiteral("DynamicResolution"), true},
        {QStringLiteral("UpscalingFilter"), QStringLiteral("Linear")},
        {QStringLiteral("DownscalingFilter"), QStringLiteral("Linear")},
        {QStringLiteral("NativeResolution"), false},
    };
    const QVariantMap installer{
        {QStringLiteral("ImageName"), QStringLiteral("installer.iso")},
        {QStringLiteral("ImageType"), QStringLiteral("CD")},
        {QStringLiteral("Interface"), QStringLiteral("USB")},
        {QStringLiteral("InterfaceVersion"), 1},
        {QStringLiteral("Identifier"), newIdentifier()},
        {QStringLiteral("ReadOnly"), true},
    };
    const QVariantMap disk{
        {QStringLiteral("ImageName"), QStringLiteral("windows.img")},
        {QStringLiteral("ImageType"), QStringLiteral("Disk")},
        {QStringLiteral("Interface"), QStringLiteral("NVMe")},
        {QStringLiteral("InterfaceVersion"), 1},
        {QStringLiteral("Identifier"), newIdentifier()},
        {QStringLiteral("ReadOnly"), false},
    };
    const QVariantMap network{
        {QStringLiteral("Mode"), QStringLiteral("Emulated")},
        {QStringLiteral("Hardware"), QStringLiteral("virtio-net-pci")},
        {QStringLiteral("MacAddress"), macAddress(id)},
        {QStringLiteral("IsolateFromHost"), false},
        {QStringLiteral("PortForward"), QVariantList()},
    };
    return {
        {QStringLiteral("Backend"), QStringLiteral("QEMU")},
        {QStringLiteral("ConfigurationVersion"), 4},
        {QStringLiteral("Information"), information},
        {QStringLiteral("System"), system},
        {QStringLiteral("QEMU"), qemu},
        {QStringLiteral("Input"), input},
        {QStringLiteral("Sharing"), sharing},
        {QStringLiteral("Display"), QVariantList{display}},
        {QStringLiteral("Drive"), QVariantList{installer, disk}},
        {QStringLiteral("Network"), QVariantList{network}},
        {QStringLiteral("Serial"), QVariantList()},
        {QStringLiteral("Sound"), QVariantList()},
    };
}

QString WindowsConfiguration::macAddress(const QUuid &id)
{
    const QString digits = uuidText(id).remove(u'-').left(10);
    QStringList octets{QStringLiteral("02")};
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        octets.append(digits.mid(i, 2));
    }
    return octets.join(u':').toLower();
}

QString WindowsConfiguration::uuidText(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

void WindowsConfiguration::sparseDisk(const QString &path, qint64 bytes)
{
    if (FileIO::exists(path)) {
        throw VMFailure(QStringLiteral("目标磁盘已存在，不会覆盖。"));
    }
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST) {
            throw VMFailure(QStringLiteral("目标磁盘已存在，不会覆盖。"));
        }
        throw VMFailure(QStringLiteral("无法创建虚拟磁盘。"));
    }
    // Extending by truncation allocates nothing; a volume that cannot hold a file this large says so here.
    if (::ftruncate(fd, off_t(bytes)) != 0) {
        const int reason = errno;
        ::close(fd);
        ::unlink(name.constData());
        throw SystemError::fromErrno(reason);
    }
    ::close(fd);
}

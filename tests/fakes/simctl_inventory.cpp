#include "simctl_inventory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <sys/file.h>

namespace Simctl {

namespace {

const QString deviceTypePrefix = QStringLiteral("com.apple.CoreSimulator.SimDeviceType.");
const QString runtimePrefix = QStringLiteral("com.apple.CoreSimulator.SimRuntime.");

QString deviceSet()
{
    return QDir::homePath() + "/Library/Developer/CoreSimulator/Devices";
}

struct TypeModel
{
    const char *name;
    const char *id;
    const char *family;
    const char *model;
    const char *platform; // the Xcode platform folder holding its profile
    int minMajor;
    int minMinor;
};

// In the real tool's order: phones, tablets, TVs, watches.
const TypeModel typeModels[] = {
    {"iPhone 15", "iPhone-15", "iPhone", "iPhone15,4", "iPhoneOS", 17, 0},
    {"iPhone 16 Pro", "iPhone-16-Pro", "iPhone", "iPhone17,1", "iPhoneOS", 18, 0},
    {"iPad Air (M2)", "iPad-Air-11-inch-M2", "iPad", "iPad14,8", "iPhoneOS", 17, 4},
    {"Apple TV", "Apple-TV-1080p", "Apple TV", "AppleTV5,3", "AppleTVOS", 9, 0},
    {"Apple Watch Series 9", "Apple-Watch-Series-9-45mm", "Apple Watch", "Watch7,2", "WatchOS", 10, 0},
};

struct RuntimeModel
{
    const char *platform;
    const char *typePlatform; // which device types it can run
    int major;
    int minor;
    const char *build;
    bool available;
};

const RuntimeModel runtimeModels[] = {
    {"iOS", "iPhoneOS", 16, 4, "20E247", false},
    {"iOS", "iPhoneOS", 17, 5, "21F79", true},
    {"iOS", "iPhoneOS", 18, 2, "22C150", true},
    {"watchOS", "WatchOS", 10, 5, "21T575", true},
};

// The real tool packs versions as major << 16 | minor << 8 | patch.
int packed(int major, int minor)
{
    return major << 16 | minor << 8;
}

QString typeBundle(const TypeModel &type)
{
    return QStringLiteral(
               "/Applications/Xcode.app/Contents/Developer/Platforms/%1.platform/Library/Developer/"
               "CoreSimulator/Profiles/DeviceTypes/%2.simdevicetype")
        .arg(QLatin1String(type.platform), QLatin1String(type.name));
}

QJsonObject deviceType(const TypeModel &type)
{
    return {{"productFamily", type.family},
            {"bundlePath", typeBundle(type)},
            {"maxRuntimeVersion", 4294967295.0},
            {"maxRuntimeVersionString", "65535.255.255"},
            {"identifier", QString(deviceTypePrefix + type.id)},
            {"modelIdentifier", type.model},
            {"minRuntimeVersionString", QStringLiteral("%1.%2.0").arg(type.minMajor).arg(type.minMinor)},
            {"minRuntimeVersion", packed(type.minMajor, type.minMinor)},
            {"name", type.name}};
}

QJsonObject runtime(const RuntimeModel &model)
{
    const QString version = QStringLiteral("%1.%2").arg(model.major).arg(model.minor);
    const QString name = QLatin1String(model.platform) + u' ' + version;
    const QString bundle = QStringLiteral("/Library/Developer/CoreSimulator/Volumes/%1_%2/Library/Developer/"
                                          "CoreSimulator/Profiles/Runtimes/%3.simruntime")
                               .arg(QLatin1String(model.platform), QLatin1String(model.build), name);
    QJsonArray supported;
    for (const TypeModel &type : typeModels) {
        if (qstrcmp(type.platform, model.typePlatform) == 0 &&
            packed(type.minMajor, type.minMinor) <= packed(model.major, model.minor)) {
            supported.append(QJsonObject{{"bundlePath", typeBundle(type)},
                                         {"name", type.name},
                                         {"identifier", QString(deviceTypePrefix + type.id)},
                                         {"productFamily", type.family}});
        }
    }
    QJsonObject object{
        {"bundlePath", bundle},
        {"buildversion", model.build},
        {"platform", model.platform},
        {"runtimeRoot", QString(bundle + "/Contents/Resources/RuntimeRoot")},
        {"identifier", QString(runtimePrefix + model.platform + u'-' + QString::number(model.major) + u'-' +
                               QString::number(model.minor))},
        {"version", version},
        {"isInternal", false},
        {"isAvailable", model.available},
        {"name", name},
        {"supportedDeviceTypes", supported}};
    if (!model.available) {
        object.insert("availabilityError",
                      QString("The " + name +
                              " simulator runtime is not available. Download it in Xcode "
                              "Settings."));
    }
    return object;
}

// Member order of each kind of object in the real tool's output; keys it does not know follow by name.
enum class Shape { Other, Top, Runtime, DeviceType, SupportedType, DeviceGroups, Device };

const QHash<Shape, QStringList> memberOrder{
    {Shape::Top, {"devicetypes", "runtimes", "devices", "pairs"}},
    {Shape::Runtime,
     {"bundlePath", "buildversion", "platform", "runtimeRoot", "identifier", "version", "isInternal",
      "isAvailable", "availabilityError", "name", "supportedDeviceTypes"}},
    {Shape::DeviceType,
     {"productFamily", "bundlePath", "maxRuntimeVersion", "maxRuntimeVersionString", "identifier",
      "modelIdentifier", "minRuntimeVersionString", "minRuntimeVersion", "name"}},
    {Shape::SupportedType, {"bundlePath", "name", "identifier", "productFamily"}},
    {Shape::Device,
     {"lastBootedAt", "dataPath", "dataPathSize", "logPath", "udid", "isAvailable", "availabilityError",
      "deviceTypeIdentifier", "state", "name"}},
};

Shape memberShape(Shape parent, const QString &key)
{
    if (parent == Shape::Top) {
        return key == "devicetypes" ? Shape::DeviceType
               : key == "runtimes"  ? Shape::Runtime
               : key == "devices"   ? Shape::DeviceGroups
                                    : Shape::Other;
    }
    if (parent == Shape::Runtime && key == "supportedDeviceTypes") {
        return Shape::SupportedType;
    }
    return parent == Shape::DeviceGroups ? Shape::Device : Shape::Other;
}

QStringList orderedKeys(const QJsonObject &object, Shape shape)
{
    const QStringList known = memberOrder.value(shape);
    QStringList keys = object.keys(); // sorted by name
    std::stable_sort(keys.begin(), keys.end(), [&known](const QString &a, const QString &b) {
        const auto rank = [&known](const QString &key) {
            const qsizetype index = known.indexOf(key);
            return index < 0 ? known.size() : index;
        };
        return rank(a) < rank(b);
    });
    return keys;
}

void quote(QByteArray &out, const QString &text)
{
    out += '"';
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '/':
            out += "\\/";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                out += "\\u00" + QByteArray::number(static_cast<int>(c), 16).rightJustified(2, '0');
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void write(QByteArray &out, const QJsonValue &value, Shape shape, int depth)
{
    const QByteArray inner(2 * (depth + 1), ' ');
    const QByteArray outer(2 * depth, ' ');
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        out += "{\n";
        const QStringList keys = orderedKeys(object, shape);
        for (qsizetype i = 0; i < keys.size(); ++i) {
            out += inner;
            quote(out, keys[i]);
            out += " : ";
            write(out, object.value(keys[i]), memberShape(shape, keys[i]), depth + 1);
            out += i + 1 < keys.size() ? ",\n" : "\n";
        }
        out += (keys.isEmpty() ? "\n" : "") + outer + '}';
    } else if (value.isArray()) {
        const QJsonArray array = value.toArray();
        out += "[\n";
        for (qsizetype i = 0; i < array.size(); ++i) {
            out += inner;
            write(out, array[i], shape, depth + 1);
            out += i + 1 < array.size() ? ",\n" : "\n";
        }
        out += (array.isEmpty() ? "\n" : "") + outer + ']';
    } else if (value.isString()) {
        quote(out, value.toString());
    } else if (value.isBool()) {
        out += value.toBool() ? "true" : "false";
    } else if (value.isDouble()) {
        const double number = value.toDouble();
        out += std::trunc(number) == number && std::abs(number) < 9007199254740992.0
                   ? QByteArray::number(static_cast<qint64>(number))
                   : QString::number(number, 'g', QLocale::FloatingPointShortest).toUtf8();
    } else {
        out += "null";
    }
}

} // namespace

QJsonObject newDevice(const QString &udid, const QString &name, const QString &type)
{
    QJsonObject device{{"dataPathSize", 13242368},
                       {"isAvailable", true},
                       {"deviceTypeIdentifier", type},
                       {"state", "Shutdown"},
                       {"name", name}};
    moveDevicePaths(device, udid);
    return device;
}

void moveDevicePaths(QJsonObject &device, const QString &udid)
{
    device.insert("udid", udid);
    device.insert("dataPath", QString(deviceSet() + u'/' + udid + "/data"));
    device.insert("logPath", QString(QDir::homePath() + "/Library/Logs/CoreSimulator/" + udid));
}

QJsonObject defaultInventory()
{
    QJsonArray types;
    for (const TypeModel &type : typeModels) {
        types.append(deviceType(type));
    }
    QJsonArray runtimes;
    QJsonObject devices;
    for (const RuntimeModel &model : runtimeModels) {
        const QJsonObject object = runtime(model);
        runtimes.append(object);
        devices.insert(object.value("identifier").toString(), QJsonArray());
    }
    QJsonObject foreign = newDevice("5D1E7C2A-8B3F-4E6D-9A0C-1F2E3D4C5B6A", "Someone Else's iPhone",
                                    deviceTypePrefix + "iPhone-15");
    foreign.insert("lastBootedAt", "2024-11-02T09:41:00Z");
    foreign.insert("dataPathSize", 1843200000);
    devices.insert(runtimePrefix + "iOS-17-5", QJsonArray{foreign});
    return {{"devicetypes", types}, {"runtimes", runtimes}, {"devices", devices}, {"pairs", QJsonObject()}};
}

QByteArray print(const QJsonObject &inventory)
{
    QByteArray out;
    write(out, inventory, Shape::Top, 0);
    return out + '\n';
}

StateFile::StateFile()
    : path(qEnvironmentVariable("FAKE_SIMCTL_STATE"))
{
    // Without a state file of its own the stand-in keeps its devices where the real tool does.
    if (path.isEmpty()) {
        path = deviceSet() + "/inventory.json";
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    lockFd = ::open(QFile::encodeName(path + ".lock").constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd >= 0) {
        ::flock(lockFd, LOCK_EX);
    }
}

StateFile::~StateFile()
{
    if (lockFd >= 0) {
        ::close(lockFd);
    }
}

std::optional<QJsonObject> StateFile::load(QString &error)
{
    QFile file(path);
    if (!file.exists()) {
        return defaultInventory();
    }
    if (!file.open(QIODevice::ReadOnly)) {
        error = "cannot read the device set " + path + ": " + file.errorString();
        return std::nullopt;
    }
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parse);
    if (!document.isObject()) {
        error = "the device set " + path + " is not a JSON object: " + parse.errorString();
        return std::nullopt;
    }
    return document.object();
}

bool StateFile::store(const QJsonObject &inventory, QString &error)
{
    QSaveFile file(path);
    const QByteArray bytes = print(inventory);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = "cannot write the device set " + path + ": " + file.errorString();
        return false;
    }
    return true;
}

} // namespace Simctl

#include "ios/IOSDevices.h"

#include "ios/IOSSimctl.h"
#include "ios/detail/IOSRegistry.h"
#include "platform/Error.h"
#include "services/CodePointOrder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>

#include <algorithm>
#include <exception>

namespace {

const auto category = QStringLiteral("iPhone");
const auto bootedState = QStringLiteral("Booted");

QStringList decodeUDIDs(const QByteArray &json)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        throw VMFailure(parseError.errorString() + QStringLiteral("（位置 ") +
                        QString::number(parseError.offset) + u'）');
    }
    if (!document.isArray()) {
        throw VMFailure(QStringLiteral("内容不是设备标识列表"));
    }
    QStringList udids;
    for (const QJsonValue &value : document.array()) {
        if (!value.isString()) {
            throw VMFailure(QStringLiteral("内容不是设备标识列表"));
        }
        udids.append(value.toString());
    }
    return udids;
}

bool isPhoneOrTablet(const QString &name)
{
    return name.startsWith(QLatin1String("iPhone")) || name.startsWith(QLatin1String("iPad"));
}

} // namespace

IOSDevices::IOSDevices(QString registry, const IOSSimctl &simctl, QObject *parent)
    : QObject(parent)
    , m_simctl(simctl)
    , m_registry(std::move(registry), QStringLiteral("iOS 设备记录"), category)
{
    if (const std::optional<QStringList> udids = m_registry.load(decodeUDIDs)) {
        m_owned = QSet<QString>(udids->cbegin(), udids->cend());
    }
}

void IOSDevices::save()
{
    QStringList udids(m_owned.cbegin(), m_owned.cend());
    std::sort(udids.begin(), udids.end(), codePointLess);
    m_registry.save(QJsonDocument(QJsonArray::fromStringList(udids)).toJson(QJsonDocument::Compact));
}

QCoro::Task<> IOSDevices::reload()
{
    QPointer self(this);
    const QStringList arguments{QStringLiteral("list"), QStringLiteral("--json")};
    const QString output = co_await m_simctl.run(arguments, 45);
    if (!self) {
        co_return;
    }
    apply(IOSInventory::decode(output.toUtf8()));
}

void IOSDevices::apply(const IOSInventory &inventory)
{
    QList<IOSRuntime> runtimes;
    for (const IOSRuntime &runtime : inventory.runtimes) {
        if (runtime.isAvailable && runtime.identifier.contains(QLatin1String(".iOS-"))) {
            runtimes.append(runtime);
        }
    }
    QList<IOSDeviceType> types;
    for (const IOSDeviceType &type : inventory.devicetypes) {
        if (isPhoneOrTablet(type.name)) {
            types.append(type);
        }
    }
    QList<IOSDevice> devices;
    for (const QList<IOSDevice> &group : inventory.devices) {
        for (const IOSDevice &device : group) {
            if (m_owned.contains(device.udid)) {
                devices.append(device);
            }
        }
    }
    std::stable_sort(devices.begin(), devices.end(),
                     [](const IOSDevice &a, const IOSDevice &b) { return codePointLess(a.name, b.name); });

    m_runtimes.set(runtimes);
    m_types.set(types);
    m_devices.set(devices);

    const auto runtimeListed =
        std::any_of(runtimes.cbegin(), runtimes.cend(),
                    [this](const IOSRuntime &runtime) { return runtime.identifier == m_runtime; });
    if (!runtimeListed) {
        setRuntime(runtimes.isEmpty() ? QString() : runtimes.first().identifier);
    }
    const auto typeListed = std::any_of(types.cbegin(), types.cend(), [this](const IOSDeviceType &type) {
        return type.identifier == m_type;
    });
    if (!typeListed) {
        // Prefer the newest iPhone: simctl lists types oldest first.
        const auto lastiPhone = std::find_if(types.crbegin(), types.crend(), [](const IOSDeviceType &type) {
            return type.name.startsWith(QLatin1String("iPhone"));
        });
        if (lastiPhone != types.crend()) {
            setType(lastiPhone->identifier);
        } else {
            setType(types.isEmpty() ? QString() : types.first().identifier);
        }
    }
    Q_EMIT inventoryRead();
}

QCoro::Task<QString> IOSDevices::create(QString name)
{
    QPointer self(this);
    const QStringList arguments{QStringLiteral("create"), name, m_type, m_runtime};
    const QString output = co_await m_simctl.run(arguments, 60);
    if (!self) {
        co_return QString();
    }
    const QString udid = output.trimmed();
    if (!IOSRegistry::isUUID(udid)) {
        throw VMFailure(QStringLiteral("Xcode 未返回有效设备标识。\n") + output);
    }
    m_owned.insert(udid);
    std::exception_ptr saveFailure;
    try {
        save();
    } catch (...) {
        saveFailure = std::current_exception();
    }
    if (saveFailure) {
        // An unrecorded device would be invisible here for good; take it away again.
        m_owned.remove(udid);
        co_await m_simctl.deleteQuietly(udid, 60);
        if (!self) {
            co_return QString();
        }
        std::rethrow_exception(saveFailure);
    }
    co_return udid;
}

QCoro::Task<> IOSDevices::run(IOSDevice device, QString action)
{
    QPointer self(this);
    if (action == QLatin1String("force")) {
        const QStringList arguments{QStringLiteral("shutdown"), device.udid};
        co_await m_simctl.run(arguments, 30);
        co_return;
    }
    const bool boot = action == QLatin1String("boot");
    if (!boot || device.state != bootedState) {
        const QStringList arguments{action, device.udid};
        co_await m_simctl.run(arguments, 60);
        if (!self) {
            co_return;
        }
    }
    if (boot) {
        co_await m_simctl.show(device.udid);
    }
}

QCoro::Task<> IOSDevices::rename(QString udid, QString name)
{
    const QStringList arguments{QStringLiteral("rename"), udid, name};
    co_await m_simctl.run(arguments, 30);
}

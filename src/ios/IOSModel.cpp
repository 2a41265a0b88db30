#include "ios/IOSModel.h"

#include "ios/detail/IOSRegistry.h"
#include "platform/Error.h"
#include "platform/Host.h"
#include "services/AppLog.h"
#include "services/CodePointOrder.h"
#include "services/FileIO.h"
#include "services/PropertyField.h"
#include "services/UnreadableFile.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>

#include <algorithm>
#include <exception>

namespace {

const auto category = QStringLiteral("iPhone");
const auto bootedState = QStringLiteral("Booted");
const auto shutDownState = QStringLiteral("Shutdown");

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

IOSModel::IOSModel(QString root, Options options, QObject *parent)
    : QObject(parent)
    , m_name(this, QStringLiteral("iPhone 17 Pro"))
    , m_status(this, QStringLiteral("正在检查本机 Xcode…"))
    , m_registry((root.isEmpty() ? Host::dataRoot() : root) + QStringLiteral("/ios-devices.json"))
    , m_snapshotRegistry((root.isEmpty() ? Host::dataRoot() : root) + QStringLiteral("/ios-snapshots.json"))
    , m_simctl(std::move(options))
{
    loadRegistry();
    loadSnapshotRegistry();
}

void IOSModel::loadRegistry()
{
    if (!FileIO::exists(m_registry)) {
        return;
    }
    try {
        const QStringList udids = decodeUDIDs(IOSRegistry::read(m_registry));
        m_owned = QSet<QString>(udids.cbegin(), udids.cend());
    } catch (...) {
        m_owned.clear();
        m_registryUnreadable = true;
        setError(QStringLiteral("iOS 设备记录无法读取：") + describe(std::current_exception()));
    }
}

void IOSModel::save()
{
    QStringList udids(m_owned.cbegin(), m_owned.cend());
    std::sort(udids.begin(), udids.end(), codePointLess);
    FileIO::createFolder(QFileInfo(m_registry).absolutePath());
    if (m_registryUnreadable) {
        UnreadableFile::setAside(m_registry, category,
                                 QStringLiteral("iOS 设备记录无法读取，原文件已另存为 "));
        m_registryUnreadable = false;
    }
    FileIO::writeAtomically(m_registry,
                            QJsonDocument(QJsonArray::fromStringList(udids)).toJson(QJsonDocument::Compact));
}

QCoro::Task<> IOSModel::reload()
{
    QPointer self(this);
    const QStringList arguments{QStringLiteral("list"), QStringLiteral("--json")};
    const QString output = co_await m_simctl.run(arguments, 45);
    if (!self) {
        co_return;
    }
    apply(IOSInventory::decode(output.toUtf8()));
}

void IOSModel::apply(const IOSInventory &inventory)
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

    m_loaded.set(true);
    setStatus(runtimes.isEmpty() ? QStringLiteral("尚未安装可用的 iOS Simulator 运行时")
                                 : QStringLiteral("已检测到 ") + QString::number(runtimes.size()) +
                                       QStringLiteral(" 个 iOS 运行时"));
}

QCoro::Task<> IOSModel::refresh()
{
    if (m_busy) {
        co_return;
    }
    QPointer self(this);
    setBusy(true);
    try {
        co_await reload();
    } catch (...) {
        if (!self) {
            co_return;
        }
        m_loaded.set(true);
        setStatus(QStringLiteral("无法读取 Xcode 模拟器环境"));
        setError(describe(std::current_exception()));
    }
    if (self) {
        setBusy(false);
    }
}

QCoro::Task<> IOSModel::create()
{
    if (m_busy || m_runtime->isEmpty() || m_type->isEmpty()) {
        co_return;
    }
    QPointer self(this);
    setBusy(true);
    const QString name = m_name->trimmed();
    if (name.isEmpty()) {
        setError(QStringLiteral("请输入设备名称。"));
        setBusy(false);
        co_return;
    }
    try {
        const QStringList arguments{QStringLiteral("create"), name, m_type, m_runtime};
        const QString output = co_await m_simctl.run(arguments, 60);
        if (!self) {
            co_return;
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
                co_return;
            }
            std::rethrow_exception(saveFailure);
        }
        co_await reload();
        if (!self) {
            co_return;
        }
        AppLog::info(category, QStringLiteral("已创建 iOS 设备：") + name + QStringLiteral(" · ") + udid);
    } catch (...) {
        if (!self) {
            co_return;
        }
        setError(describe(std::current_exception()));
    }
    setBusy(false);
}

QCoro::Task<> IOSModel::operate(IOSDevice device, QString action)
{
    const QString boot = QStringLiteral("boot");
    const QString remove = QStringLiteral("delete");
    const QString force = QStringLiteral("force");
    const bool known =
        action == boot || action == QLatin1String("shutdown") || action == force || action == remove;
    if (m_busy || !m_owned.contains(device.udid) || !known) {
        co_return;
    }
    QPointer self(this);
    setBusy(true);
    AppLog::info(category, QStringLiteral("设备操作：") + device.name + QStringLiteral(" · ") + action);
    try {
        if (action == remove && device.state != shutDownState) {
            throw VMFailure(QStringLiteral("请先关闭该 iOS 设备，再删除。"));
        }
        if (action == force) {
            const QStringList arguments{QStringLiteral("shutdown"), device.udid};
            co_await m_simctl.run(arguments, 30);
            if (!self) {
                co_return;
            }
        } else {
            if (action != boot || device.state != bootedState) {
                const QStringList arguments{action, device.udid};
                co_await m_simctl.run(arguments, 60);
                if (!self) {
                    co_return;
                }
            }
            if (action == boot) {
                co_await m_simctl.show(device.udid);
                if (!self) {
                    co_return;
                }
            }
            if (action == remove) {
                QStringList clones;
                for (const IOSSnapshotRecord &record : m_snapshots) {
                    if (record.sourceDeviceID == device.udid) {
                        clones.append(record.snapshotDeviceID);
                    }
                }
                for (const QString &clone : clones) {
                    co_await m_simctl.deleteQuietly(clone, 60);
                    if (!self) {
                        co_return;
                    }
                }
                QList<IOSSnapshotRecord> remaining = m_snapshots;
                remaining.removeIf(
                    [&](const IOSSnapshotRecord &record) { return record.sourceDeviceID == device.udid; });
                setSnapshots(remaining);
                m_owned.remove(device.udid);
                save();
                saveSnapshots();
            }
        }
        co_await reload();
        if (!self) {
            co_return;
        }
    } catch (...) {
        if (!self) {
            co_return;
        }
        failWith(category, device.name + QStringLiteral(" 操作失败："));
    }
    setBusy(false);
}

QCoro::Task<> IOSModel::rename(IOSDevice device, QString to)
{
    const QString name = to.trimmed();
    if (m_busy || !m_owned.contains(device.udid) || name.isEmpty()) {
        co_return;
    }
    QPointer self(this);
    setBusy(true);
    try {
        const QStringList arguments{QStringLiteral("rename"), device.udid, name};
        co_await m_simctl.run(arguments, 30);
        if (!self) {
            co_return;
        }
        co_await reload();
        if (!self) {
            co_return;
        }
    } catch (...) {
        if (!self) {
            co_return;
        }
        setError(describe(std::current_exception()));
    }
    setBusy(false);
}

void IOSModel::failWith(const QString &logCategory, const QString &logPrefix)
{
    const QString description = describe(std::current_exception());
    setError(description);
    AppLog::error(logCategory, logPrefix + description);
}

void IOSModel::setSnapshots(const QList<IOSSnapshotRecord> &value)
{
    if (assignChanged(m_snapshots, value)) {
        Q_EMIT snapshotsChanged();
    }
}

#include "ios/IOSModel.h"

#include "platform/Error.h"
#include "platform/Host.h"
#include "services/AppLog.h"
#include "services/SnapshotText.h"

#include <QPointer>

#include <exception>
#include <optional>

namespace {

const auto category = QStringLiteral("iPhone");
const auto snapshotCategory = QStringLiteral("快照");
const auto shutDownState = QStringLiteral("Shutdown");

QString dataFile(const QString &root, const QString &name)
{
    return (root.isEmpty() ? Host::dataRoot() : root) + u'/' + name;
}

} // namespace

IOSModel::IOSModel(QString root, Options options, QObject *parent)
    : QObject(parent)
    , m_simctl(std::move(options))
    , m_devices(dataFile(root, QStringLiteral("ios-devices.json")), m_simctl)
    , m_snapshots(dataFile(root, QStringLiteral("ios-snapshots.json")), m_simctl)
{
    // The later failure shows when both registries are unreadable.
    for (const QString &loadError : {m_devices.loadError(), m_snapshots.loadError()}) {
        if (!loadError.isEmpty()) {
            setError(loadError);
        }
    }
    connect(&m_devices, &IOSDevices::runtimesChanged, this, &IOSModel::runtimesChanged);
    connect(&m_devices, &IOSDevices::typesChanged, this, &IOSModel::typesChanged);
    connect(&m_devices, &IOSDevices::devicesChanged, this, &IOSModel::devicesChanged);
    connect(&m_devices, &IOSDevices::runtimeChanged, this, &IOSModel::runtimeChanged);
    connect(&m_devices, &IOSDevices::typeChanged, this, &IOSModel::typeChanged);
    connect(&m_devices, &IOSDevices::nameChanged, this, &IOSModel::nameChanged);
    connect(&m_devices, &IOSDevices::inventoryRead, this, &IOSModel::onInventoryRead);
    connect(&m_snapshots, &IOSSnapshots::recordsChanged, this, &IOSModel::snapshotsChanged);
}

void IOSModel::onInventoryRead()
{
    m_loaded.set(true);
    const qsizetype runtimes = m_devices.runtimes().size();
    setStatus(runtimes == 0 ? QStringLiteral("尚未安装可用的 iOS Simulator 运行时")
                            : QStringLiteral("已检测到 ") + QString::number(runtimes) +
                                  QStringLiteral(" 个 iOS 运行时"));
}

void IOSModel::failWith(const QString &logCategory, const QString &logPrefix)
{
    const QString description = describe(std::current_exception());
    setError(description);
    AppLog::error(logCategory, logPrefix + description);
}

QCoro::Task<> IOSModel::refresh()
{
    if (m_busy) {
        co_return;
    }
    QPointer self(this);
    setBusy(true);
    try {
        co_await m_devices.reload();
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
    if (m_busy || m_devices.runtime().isEmpty() || m_devices.type().isEmpty()) {
        co_return;
    }
    QPointer self(this);
    setBusy(true);
    const QString name = m_devices.name().trimmed();
    if (name.isEmpty()) {
        setError(QStringLiteral("请输入设备名称。"));
        setBusy(false);
        co_return;
    }
    try {
        const QString udid = co_await m_devices.create(name);
        if (!self) {
            co_return;
        }
        co_await m_devices.reload();
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
    const QString remove = QStringLiteral("delete");
    const bool known = action == QLatin1String("boot") || action == QLatin1String("shutdown") ||
                       action == QLatin1String("force") || action == remove;
    if (m_busy || !m_devices.owns(device.udid) || !known) {
        co_return;
    }
    QPointer self(this);
    setBusy(true);
    AppLog::info(category, QStringLiteral("设备操作：") + device.name + QStringLiteral(" · ") + action);
    try {
        if (action == remove && device.state != shutDownState) {
            throw VMFailure(QStringLiteral("请先关闭该 iOS 设备，再删除。"));
        }
        co_await m_devices.run(device, action);
        if (!self) {
            co_return;
        }
        if (action == remove) {
            co_await m_snapshots.removeAllOf(device.udid);
            if (!self) {
                co_return;
            }
            m_devices.release(device.udid);
            m_devices.save();
            m_snapshots.save();
        }
        co_await m_devices.reload();
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
    if (m_busy || !m_devices.owns(device.udid) || name.isEmpty()) {
        co_return;
    }
    QPointer self(this);
    setBusy(true);
    try {
        co_await m_devices.rename(device.udid, name);
        if (!self) {
            co_return;
        }
        co_await m_devices.reload();
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

QCoro::Task<> IOSModel::createSnapshot(IOSDevice device)
{
    if (m_busy || !m_devices.owns(device.udid) || device.state != shutDownState) {
        co_return;
    }
    QPointer self(this);
    setBusy(true);
    setError(QString());
    try {
        const IOSSnapshotRecord record = co_await m_snapshots.take(device);
        if (!self) {
            co_return;
        }
        AppLog::info(snapshotCategory, QStringLiteral("已创建 iPhone 快照：") + device.name +
                                           QStringLiteral(" · ") + record.id);
    } catch (...) {
        if (!self) {
            co_return;
        }
        failWith(snapshotCategory, QStringLiteral("iPhone 快照创建失败："));
    }
    setBusy(false);
}

QCoro::Task<> IOSModel::rollback(IOSDevice device)
{
    // Owned only: the old device is deleted at the end, and devices made elsewhere are never touched.
    if (m_busy || !m_devices.owns(device.udid) || device.state != shutDownState) {
        co_return;
    }
    const std::optional<IOSSnapshotRecord> latest = m_snapshots.latest(device.udid);
    if (!latest) {
        co_return;
    }
    const IOSSnapshotRecord &snapshot = *latest;
    QPointer self(this);
    setBusy(true);
    setError(QString());
    try {
        const QString fresh = co_await m_snapshots.restore(snapshot, device.name);
        if (!self) {
            co_return;
        }

        // Record the restored device before the old one goes, so one of them is always managed.
        m_devices.adopt(fresh);
        m_snapshots.follow(device.udid, fresh);
        m_devices.save();
        m_snapshots.save();

        std::optional<QString> deleteFailure;
        try {
            const QStringList deleteArguments{QStringLiteral("delete"), device.udid};
            co_await m_simctl.run(deleteArguments, 120);
        } catch (...) {
            deleteFailure = describe(std::current_exception());
        }
        if (!self) {
            co_return;
        }
        if (deleteFailure) {
            AppLog::warn(snapshotCategory,
                         QStringLiteral("iPhone 已恢复出新设备，但旧设备删除失败：") + *deleteFailure);
        }
        m_devices.release(device.udid);
        m_devices.save();

        co_await m_devices.reload();
        if (!self) {
            co_return;
        }
        setStatus(device.name + QStringLiteral(" 已回滚到 ") +
                  SnapshotText::shortDateTime(snapshot.created()));
        AppLog::info(snapshotCategory,
                     QStringLiteral("已回滚 iPhone：") + device.name + QStringLiteral(" · ") + snapshot.id);
    } catch (...) {
        if (!self) {
            co_return;
        }
        failWith(snapshotCategory, QStringLiteral("iPhone 回滚失败："));
    }
    setBusy(false);
}

QCoro::Task<> IOSModel::deleteLatestSnapshot(IOSDevice device)
{
    if (m_busy) {
        co_return;
    }
    const std::optional<IOSSnapshotRecord> latest = m_snapshots.latest(device.udid);
    if (!latest) {
        co_return;
    }
    const IOSSnapshotRecord &snapshot = *latest;
    QPointer self(this);
    setBusy(true);
    try {
        co_await m_snapshots.remove(snapshot);
        if (!self) {
            co_return;
        }
        AppLog::info(snapshotCategory, QStringLiteral("已删除 iPhone 快照：") + device.name +
                                           QStringLiteral(" · ") + snapshot.id);
    } catch (...) {
        if (!self) {
            co_return;
        }
        setError(describe(std::current_exception()));
    }
    setBusy(false);
}

// The snapshot side of the iOS model: hidden simulator clones of owned devices.
#include "ios/IOSModel.h"

#include "ios/detail/IOSRegistry.h"
#include "platform/Error.h"
#include "services/AppLog.h"
#include "services/FileIO.h"
#include "services/SnapshotText.h"
#include "services/UnreadableFile.h"

#include <QFileInfo>
#include <QPointer>
#include <QUuid>

#include <algorithm>
#include <chrono>
#include <exception>

namespace {

const auto category = QStringLiteral("快照");

/** Now, in the registry's unit, to the microsecond. */
double nowSinceReference()
{
    using namespace std::chrono;
    const double unixSeconds =
        double(duration_cast<microseconds>(system_clock::now().time_since_epoch()).count()) / 1e6;
    return unixSeconds - double(IOSSnapshotRecord::referenceEpoch);
}

void newestFirst(QList<IOSSnapshotRecord> &records)
{
    std::stable_sort(
        records.begin(), records.end(),
        [](const IOSSnapshotRecord &a, const IOSSnapshotRecord &b) { return a.createdAt > b.createdAt; });
}

} // namespace

void IOSModel::loadSnapshotRegistry()
{
    if (!FileIO::exists(m_snapshotRegistry)) {
        return;
    }
    try {
        QList<IOSSnapshotRecord> records =
            IOSSnapshotRecord::decodeList(IOSRegistry::read(m_snapshotRegistry));
        newestFirst(records);
        m_snapshots = records;
    } catch (...) {
        m_snapshots.clear();
        m_snapshotRegistryUnreadable = true;
        setError(QStringLiteral("iOS 快照记录无法读取：") + describe(std::current_exception()));
    }
}

void IOSModel::saveSnapshots()
{
    FileIO::createFolder(QFileInfo(m_snapshotRegistry).absolutePath());
    if (m_snapshotRegistryUnreadable) {
        UnreadableFile::setAside(m_snapshotRegistry, category,
                                 QStringLiteral("iOS 快照记录无法读取，原文件已另存为 "));
        m_snapshotRegistryUnreadable = false;
    }
    FileIO::writeAtomically(m_snapshotRegistry, IOSSnapshotRecord::encodeList(m_snapshots));
}

std::optional<IOSSnapshotRecord> IOSModel::latestSnapshot(const IOSDevice &device) const
{
    const IOSSnapshotRecord *latest = nullptr;
    for (const IOSSnapshotRecord &record : m_snapshots) {
        if (record.sourceDeviceID == device.udid && (!latest || record.createdAt > latest->createdAt)) {
            latest = &record;
        }
    }
    if (!latest) {
        return std::nullopt;
    }
    return *latest;
}

QCoro::Task<> IOSModel::createSnapshot(IOSDevice device)
{
    if (m_busy || !m_owned.contains(device.udid) || device.state != QLatin1String("Shutdown")) {
        co_return;
    }
    QPointer self(this);
    setBusy(true);
    setError(QString());
    try {
        const QString label = SnapshotText::shortDateTime(QDateTime::currentDateTime());
        const QStringList arguments{QStringLiteral("clone"), device.udid,
                                    QStringLiteral("Corvane 快照 · ") + device.name + QStringLiteral(" · ") +
                                        label};
        const QString output = co_await m_simctl.run(arguments, 300);
        if (!self) {
            co_return;
        }
        const QString clone = output.trimmed();
        if (!IOSRegistry::isUUID(clone)) {
            throw VMFailure(QStringLiteral("Xcode 未返回有效的快照设备标识。"));
        }
        const IOSSnapshotRecord record{QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(),
                                       device.udid, clone, device.name, nowSinceReference()};
        QList<IOSSnapshotRecord> records = m_snapshots;
        records.prepend(record);
        setSnapshots(records);
        std::exception_ptr saveFailure;
        try {
            saveSnapshots();
        } catch (...) {
            saveFailure = std::current_exception();
        }
        if (saveFailure) {
            // A clone nobody records would only take up space where no one can see it.
            records = m_snapshots;
            records.removeIf([&](const IOSSnapshotRecord &kept) { return kept.id == record.id; });
            setSnapshots(records);
            co_await m_simctl.deleteQuietly(clone, 60);
            if (!self) {
                co_return;
            }
            std::rethrow_exception(saveFailure);
        }
        AppLog::info(category, QStringLiteral("已创建 iPhone 快照：") + device.name + QStringLiteral(" · ") +
                                   record.id);
    } catch (...) {
        if (!self) {
            co_return;
        }
        failWith(category, QStringLiteral("iPhone 快照创建失败："));
    }
    setBusy(false);
}

QCoro::Task<> IOSModel::rollback(IOSDevice device)
{
    // Owned only: the old device is deleted at the end, and devices made elsewhere are never touched.
    if (m_busy || !m_owned.contains(device.udid) || device.state != QLatin1String("Shutdown")) {
        co_return;
    }
    const std::optional<IOSSnapshotRecord> latest = latestSnapshot(device);
    if (!latest) {
        co_return;
    }
    const IOSSnapshotRecord snapshot = *latest;
    QPointer self(this);
    setBusy(true);
    setError(QString());
    try {
        const QStringList cloneArguments{QStringLiteral("clone"), snapshot.snapshotDeviceID,
                                         device.name + QStringLiteral(" · 正在恢复")};
        const QString output = co_await m_simctl.run(cloneArguments, 300);
        if (!self) {
            co_return;
        }
        const QString fresh = output.trimmed();
        if (!IOSRegistry::isUUID(fresh)) {
            throw VMFailure(QStringLiteral("Xcode 未返回有效的恢复设备标识。"));
        }
        const QStringList renameArguments{QStringLiteral("rename"), fresh, device.name};
        co_await m_simctl.run(renameArguments, 60);
        if (!self) {
            co_return;
        }

        // Record the restored device before the old one goes, so one of them is always managed.
        m_owned.insert(fresh);
        QList<IOSSnapshotRecord> records = m_snapshots;
        for (IOSSnapshotRecord &record : records) {
            if (record.sourceDeviceID == device.udid) {
                record.sourceDeviceID = fresh;
            }
        }
        setSnapshots(records);
        save();
        saveSnapshots();

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
            AppLog::warn(category,
                         QStringLiteral("iPhone 已恢复出新设备，但旧设备删除失败：") + *deleteFailure);
        }
        m_owned.remove(device.udid);
        save();

        co_await reload();
        if (!self) {
            co_return;
        }
        setStatus(device.name + QStringLiteral(" 已回滚到 ") +
                  SnapshotText::shortDateTime(snapshot.created()));
        AppLog::info(category,
                     QStringLiteral("已回滚 iPhone：") + device.name + QStringLiteral(" · ") + snapshot.id);
    } catch (...) {
        if (!self) {
            co_return;
        }
        failWith(category, QStringLiteral("iPhone 回滚失败："));
    }
    setBusy(false);
}

QCoro::Task<> IOSModel::deleteLatestSnapshot(IOSDevice device)
{
    if (m_busy) {
        co_return;
    }
    const std::optional<IOSSnapshotRecord> latest = latestSnapshot(device);
    if (!latest) {
        co_return;
    }
    const IOSSnapshotRecord snapshot = *latest;
    QPointer self(this);
    setBusy(true);
    try {
        const QStringList arguments{QStringLiteral("delete"), snapshot.snapshotDeviceID};
        co_await m_simctl.run(arguments, 120);
        if (!self) {
            co_return;
        }
        QList<IOSSnapshotRecord> records = m_snapshots;
        records.removeIf([&](const IOSSnapshotRecord &record) { return record.id == snapshot.id; });
        setSnapshots(records);
        saveSnapshots();
        AppLog::info(category, QStringLiteral("已删除 iPhone 快照：") + device.name + QStringLiteral(" · ") +
                                   snapshot.id);
    } catch (...) {
        if (!self) {
            co_return;
        }
        setError(describe(std::current_exception()));
    }
    setBusy(false);
}

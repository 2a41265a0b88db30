#include "ios/IOSSnapshots.h"

#include "ios/IOSSimctl.h"
#include "ios/detail/IOSRegistry.h"
#include "platform/Error.h"
#include "services/PropertyField.h"
#include "services/SnapshotText.h"

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

IOSSnapshots::IOSSnapshots(QString registry, const IOSSimctl &simctl, QObject *parent)
    : QObject(parent)
    , m_simctl(simctl)
    , m_registry(std::move(registry), QStringLiteral("iOS 快照记录"), category)
{
    if (std::optional<QList<IOSSnapshotRecord>> records = m_registry.load(&IOSSnapshotRecord::decodeList)) {
        newestFirst(*records);
        m_records = *std::move(records);
    }
}

void IOSSnapshots::save()
{
    m_registry.save(IOSSnapshotRecord::encodeList(m_records));
}

void IOSSnapshots::setRecords(const QList<IOSSnapshotRecord> &records)
{
    if (assignChanged(m_records, records)) {
        Q_EMIT recordsChanged();
    }
}

std::optional<IOSSnapshotRecord> IOSSnapshots::latest(const QString &udid) const
{
    const IOSSnapshotRecord *latest = nullptr;
    for (const IOSSnapshotRecord &record : m_records) {
        if (record.sourceDeviceID == udid && (!latest || record.createdAt > latest->createdAt)) {
            latest = &record;
        }
    }
    if (!latest) {
        return std::nullopt;
    }
    return *latest;
}

QCoro::Task<IOSSnapshotRecord> IOSSnapshots::take(IOSDevice device)
{
    QPointer self(this);
    const QString label = SnapshotText::shortDateTime(QDateTime::currentDateTime());
    const QStringList arguments{QStringLiteral("clone"), device.udid,
                                QStringLiteral("Corvane 快照 · ") + device.name + QStringLiteral(" · ") +
                                    label};
    const QString output = co_await m_simctl.run(arguments, 300);
    if (!self) {
        co_return IOSSnapshotRecord();
    }
    const QString clone = output.trimmed();
    if (!IOSRegistry::isUUID(clone)) {
        throw VMFailure(QStringLiteral("Xcode 未返回有效的快照设备标识。"));
    }
    const IOSSnapshotRecord record{QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), device.udid,
                                   clone, device.name, nowSinceReference()};
    QList<IOSSnapshotRecord> records = m_records;
    records.prepend(record);
    setRecords(records);
    std::exception_ptr saveFailure;
    try {
        save();
    } catch (...) {
        saveFailure = std::current_exception();
    }
    if (saveFailure) {
        // A clone nobody records would only take up space where no one can see it.
        records = m_records;
        records.removeIf([&](const IOSSnapshotRecord &kept) { return kept.id == record.id; });
        setRecords(records);
        co_await m_simctl.deleteQuietly(clone, 60);
        if (!self) {
            co_return IOSSnapshotRecord();
        }
        std::rethrow_exception(saveFailure);
    }
    co_return record;
}

QCoro::Task<QString> IOSSnapshots::restore(IOSSnapshotRecord snapshot, QString name)
{
    QPointer self(this);
    const QStringList cloneArguments{QStringLiteral("clone"), snapshot.snapshotDeviceID,
                                     name + QStringLiteral(" · 正在恢复")};
    const QString output = co_await m_simctl.run(cloneArguments, 300);
    if (!self) {
        co_return QString();
    }
    const QString fresh = output.trimmed();
    if (!IOSRegistry::isUUID(fresh)) {
        throw VMFailure(QStringLiteral("Xcode 未返回有效的恢复设备标识。"));
    }
    const QStringList renameArguments{QStringLiteral("rename"), fresh, name};
    co_await m_simctl.run(renameArguments, 60);
    co_return fresh;
}

QCoro::Task<> IOSSnapshots::remove(IOSSnapshotRecord snapshot)
{
    QPointer self(this);
    const QStringList arguments{QStringLiteral("delete"), snapshot.snapshotDeviceID};
    co_await m_simctl.run(arguments, 120);
    if (!self) {
        co_return;
    }
    QList<IOSSnapshotRecord> records = m_records;
    records.removeIf([&](const IOSSnapshotRecord &record) { return record.id == snapshot.id; });
    setRecords(records);
    save();
}

QCoro::Task<> IOSSnapshots::removeAllOf(QString udid)
{
    QPointer self(this);
    QStringList clones;
    for (const IOSSnapshotRecord &record : m_records) {
        if (record.sourceDeviceID == udid) {
            clones.append(record.snapshotDeviceID);
        }
    }
    for (const QString &clone : clones) {
        co_await m_simctl.deleteQuietly(clone, 60);
        if (!self) {
            co_return;
        }
    }
    QList<IOSSnapshotRecord> remaining = m_records;
    remaining.removeIf([&](const IOSSnapshotRecord &record) { return record.sourceDeviceID == udid; });
    setRecords(remaining);
}

void IOSSnapshots::follow(const QString &from, const QString &to)
{
    QList<IOSSnapshotRecord> records = m_records;
    for (IOSSnapshotRecord &record : records) {
        if (record.sourceDeviceID == from) {
            record.sourceDeviceID = to;
        }
    }
    setRecords(records);
}

#include "services/FileSnapshotStore.h"

#include "platform/Error.h"
#include "platform/Host.h"
#include "services/AppLog.h"
#include "services/Background.h"
#include "services/Command.h"
#include "services/FileIO.h"
#include "services/OpenFiles.h"
#include "services/detail/RestoreJournal.h"

#include <QCoroFuture>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>

namespace FileSnapshotStore {
namespace {

const auto category = QStringLiteral("快照");

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

// A record is a few hundred bytes and kept settings a few kilobytes; anything far larger is not ours.
constexpr qint64 recordLimit = qint64(64) * 1024;
constexpr qint64 configurationLimit = qint64(1024) * 1024;

std::optional<SnapshotRecord> readRecord(const QString &folder)
{
    const std::optional<QByteArray> bytes =
        FileIO::readSmallFile(folder + QStringLiteral("/snapshot.json"), recordLimit);
    if (!bytes) {
        return std::nullopt;
    }
    return SnapshotRecord::fromJson(*bytes);
}

QCoro::Task<> clone(QString source, QString destination)
{
    const ToolCommand command = Host::current().cloneCommand(source, destination);
    co_await Command::run(command.program, command.arguments, std::nullopt, 600);
}

/** Makes an empty folder for a snapshot being built, clearing one a dead attempt left. */
void prepareBuilding(const QString &collection, const QString &building)
{
    FileIO::createFolder(collection);
    FileIO::removeIfPresent(building);
    FileIO::createFolder(building);
}

/** Writes the record (and the kept settings) into the built snapshot and gives it its final name. */
void seal(const QString &building, const QString &finished, const std::optional<QByteArray> &configuration,
          const QByteArray &record)
{
    if (configuration) {
        FileIO::writeAtomically(building + QStringLiteral("/configuration.json"), *configuration);
    }
    FileIO::writeAtomically(building + QStringLiteral("/snapshot.json"), record);
    FileIO::rename(building, finished);
}

struct Swap
{
    std::exception_ptr failure;
    bool liveDataStranded = false;
};

/** Puts the fresh clone in the live data's place; the note covers a death. */
Swap swapIn(const RestoreJournal::Entry &journal, const QString &source)
{
    Swap swap;
    try {
        if (!FileIO::exists(journal.restore)) {
            throw VMFailure(QStringLiteral("快照恢复副本未生成。"));
        }
        if (FileIO::exists(source)) {
            FileIO::rename(source, journal.backup);
        }
        try {
            FileIO::rename(journal.restore, source);
        } catch (...) {
            if (FileIO::exists(journal.backup)) {
                try {
                    FileIO::rename(journal.backup, source);
                } catch (...) {
                    // The note stays, so the next load puts the live data back.
                    swap.liveDataStranded = true;
                }
            }
            throw;
        }
    } catch (...) {
        swap.failure = std::current_exception();
    }
    return swap;
}

QString describeRecord(const SnapshotRecord &record)
{
    return record.platform + QStringLiteral(" 快照：") + record.displayName + QStringLiteral(" · ") +
           record.id;
}

} // namespace

QList<SnapshotRecord> records(const QString &collection)
{
    QList<SnapshotRecord> found;
    const QStringList entries =
        QDir(collection).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QString &entry : entries) {
        if (entry.startsWith(u'.')) {
            continue;
        }
        // The id names the folder that delete and restore act on; a record naming another is not this one.
        if (auto record = readRecord(collection + u'/' + entry); record && record->id == entry) {
            found.append(*record);
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const SnapshotRecord &a, const SnapshotRecord &b) {
        return a.createdAt > b.createdAt;
    });
    return found;
}

QCoro::Task<> ensureUnused(QString path, QString label)
{
    // Awaited into a local: g++ 12 miscompiles a co_await inside an if condition.
    const bool busy = co_await OpenFiles::inUse(path, 45);
    if (busy) {
        throw VMFailure(label + QStringLiteral("仍被其他程序使用。请完全关机并关闭对应窗口后重试。"));
    }
}

QCoro::Task<SnapshotRecord> create(QString source, QString collection, QString platform, QString deviceID,
                                   QString displayName, std::optional<QByteArray> configuration,
                                   QString inUseLabel)
{
    if (!FileIO::exists(source)) {
        throw VMFailure(QStringLiteral("设备数据尚不存在，无法创建快照。"));
    }
    co_await ensureUnused(source, inUseLabel);
    const SnapshotRecord record{newId(), platform, deviceID, displayName,
                                QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC)};
    const QString building = collection + QStringLiteral("/.creating-") + record.id;
    const QString finished = collection + u'/' + record.id;

    // The folders, the records' syncs and the renames run on a worker: the GUI thread never waits for
    // the disk.
    QFuture<Background::Outcome<void>> preparing =
        Background::start([collection, building] { prepareBuilding(collection, building); });
    Background::take(co_await preparing);

    std::exception_ptr failure;
    try {
        co_await clone(source, building + QStringLiteral("/payload"));
        QFuture<Background::Outcome<void>> sealing =
            Background::start([building, finished, configuration, json = record.toJson()] {
                seal(building, finished, configuration, json);
            });
        Background::take(co_await sealing);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        FileIO::removeIfPresent(building);
        const QString cause = describe(failure);
        AppLog::error(category, QStringLiteral("创建 ") + platform + QStringLiteral(" 快照失败：") + cause);
        throw VMFailure(QStringLiteral("快照创建失败。当前磁盘可能不支持 APFS 快速克隆，或可用空间不足。\n") +
                        cause);
    }
    AppLog::info(category, QStringLiteral("已创建 ") + describeRecord(record));
    co_return record;
}

QCoro::Task<std::optional<QByteArray>> restore(QString source, QString collection, SnapshotRecord record,
                                               QString inUseLabel)
{
    co_await ensureUnused(source, inUseLabel);
    const QString folder = collection + u'/' + record.id;
    const QString payload = folder + QStringLiteral("/payload");
    const std::optional<SnapshotRecord> stored = readRecord(folder);
    if (!FileIO::exists(payload) || !stored || stored->id != record.id ||
        stored->platform != record.platform || stored->deviceID != record.deviceID) {
        throw VMFailure(QStringLiteral("快照文件不完整或已损坏，未修改当前设备。"));
    }

    // The note goes first, so that whatever moment the program dies at, the next load knows which
    // temporaries are this restore's and whether the live data has been moved aside.
    QFuture<Background::Outcome<RestoreJournal::Entry>> noting =
        Background::start([source] { return RestoreJournal::begin(source); });
    const RestoreJournal::Entry journal = Background::take(co_await noting);
    const QString &fresh = journal.restore;

    std::exception_ptr failure;
    bool liveDataStranded = false;
    try {
        co_await clone(payload, fresh);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!failure) {
        QFuture<Background::Outcome<Swap>> swapping =
            Background::start([journal, source] { return swapIn(journal, source); });
        const Swap swap = Background::take(co_await swapping);
        failure = swap.failure;
        liveDataStranded = swap.liveDataStranded;
    }
    if (failure) {
        FileIO::removeIfPresent(fresh);
        if (!liveDataStranded) {
            RestoreJournal::end(journal);
        }
        AppLog::error(category, QStringLiteral("回滚 ") + record.platform + QStringLiteral(" 快照失败：") +
                                    describe(failure));
        std::rethrow_exception(failure);
    }
    // Removing the old data takes time in proportion to its size (a large image's pages are dropped):
    // the rollback is done without waiting for it, and until it is gone the note tells the next load
    // to finish the removal.
    Background::start([journal] {
        FileIO::removeIfPresent(journal.backup);
        RestoreJournal::end(journal);
    });
    AppLog::info(category, QStringLiteral("已回滚 ") + describeRecord(record));

    co_return FileIO::readSmallFile(folder + QStringLiteral("/configuration.json"), configurationLimit);
}

void deleteSnapshot(const QString &collection, const SnapshotRecord &record)
{
    // One rename takes the snapshot out of the list; a removal cut short leaves only a hidden folder
    // that the next load clears, never a listed snapshot with half its files.
    const QString leaving = collection + QStringLiteral("/.deleting-") + record.id;
    FileIO::rename(collection + u'/' + record.id, leaving);
    FileIO::removeAll(leaving);
    AppLog::info(category, QStringLiteral("已删除 ") + describeRecord(record));
}

} // namespace FileSnapshotStore

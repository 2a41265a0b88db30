// What the next load does with the traces of a snapshot operation the program did not live to finish.
#include "services/FileSnapshotStore.h"

#include "platform/Error.h"
#include "services/AppLog.h"
#include "services/FileIO.h"
#include "services/detail/RestoreJournal.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace FileSnapshotStore {
namespace {

const auto category = QStringLiteral("快照");

void warn(const QString &platform, const QString &message)
{
    AppLog::warn(category, platform + QStringLiteral(" 快照：") + message);
}

bool isEmptyFolder(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() && !info.isSymLink() &&
           QDir(path).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

/** Puts the live data moved aside back in its place. False when that cannot be done now. */
bool putBack(const QString &backup, const QString &source, const QString &platform)
{
    try {
        FileIO::rename(backup, source);
        return true;
    } catch (const Error &failure) {
        warn(platform, QStringLiteral("无法将回滚前的数据放回原处（") + failure.description() +
                           QStringLiteral("），数据仍保留在 ") + backup);
        return false;
    }
}

void finishRestore(const RestoreJournal::Entry &entry, const QString &platform)
{
    const QString &source = entry.source;
    const bool hasBackup = FileIO::exists(entry.backup);
    const bool hasSource = FileIO::exists(source);
    const bool hasClone = FileIO::exists(entry.restore);

    if (hasBackup && hasSource && !hasClone) {
        // The clone had been renamed into place: only the old data was still to go.
        FileIO::removeIfPresent(entry.backup);
        warn(platform, QStringLiteral("上次回滚在替换数据后中断，已完成回滚并清理旧数据。"));
    } else if (hasBackup) {
        if (hasSource && !isEmptyFolder(source)) {
            // Something new took the folder's place since; neither copy is ours to discard.
            warn(platform, QStringLiteral("上次回滚中断，回滚前的数据保留在 ") + entry.backup +
                               QStringLiteral("，当前位置已有其他数据，未做改动。"));
            return;
        }
        if (hasSource) {
            FileIO::removeIfPresent(source);
        }
        if (!putBack(entry.backup, source, platform)) {
            return;
        }
        FileIO::removeIfPresent(entry.restore);
        warn(platform, QStringLiteral("上次回滚在替换数据时中断，已恢复回滚前的数据。"));
    } else {
        FileIO::removeIfPresent(entry.restore);
        warn(platform, QStringLiteral("上次回滚在替换数据前中断，当前数据未改动，已清理未完成的副本。"));
    }
    RestoreJournal::end(entry);
}

/** Temporaries of an older version, which kept no note: only where no other guest restores. */
void finishUnnotedRestore(const QString &source, const QString &platform)
{
    const QFileInfo info(source);
    QDir folder(info.absolutePath());
    const auto hidden = QDir::Dirs | QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    const QStringList backups = folder.entryList({QStringLiteral(".snapshot-backup-*")}, hidden, QDir::Name);
    const QStringList clones = folder.entryList({QStringLiteral(".snapshot-restore-*")}, hidden, QDir::Name)
                                   .filter(QRegularExpression(QStringLiteral("^(?!.*\\.json$)")));
    if (backups.size() == 1 && !FileIO::exists(source)) {
        if (!putBack(folder.filePath(backups.first()), source, platform)) {
            return;
        }
        warn(platform, QStringLiteral("发现上次中断的回滚留下的数据，已放回原处。"));
    } else if (!backups.isEmpty()) {
        // With the live folder present (or several candidates) the right copy cannot be told: keep all.
        return;
    }
    for (const QString &clone : clones) {
        FileIO::removeIfPresent(folder.filePath(clone));
        warn(platform, QStringLiteral("已清理上次中断的回滚副本 ") + clone + QStringLiteral("。"));
    }
}

void clearCollection(const QString &collection, const QString &platform)
{
    const QStringList entries =
        QDir(collection)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &entry : entries) {
        if (entry.startsWith(QStringLiteral(".creating-"))) {
            FileIO::removeIfPresent(collection + u'/' + entry);
            warn(platform, QStringLiteral("已清理未完成的快照 ") + entry.mid(10) + QStringLiteral("。"));
        } else if (entry.startsWith(QStringLiteral(".deleting-"))) {
            FileIO::removeIfPresent(collection + u'/' + entry);
            warn(platform,
                 QStringLiteral("已完成上次中断的快照删除 ") + entry.mid(10) + QStringLiteral("。"));
        }
    }
}

} // namespace

void recover(const QString &source, const QString &collection, const QString &platform,
             Temporaries temporaries)
{
    for (const RestoreJournal::Entry &entry : RestoreJournal::pending(source)) {
        finishRestore(entry, platform);
    }
    const QString folder = QFileInfo(source).absolutePath();
    QStringList abandoned;
    if (temporaries == Temporaries::Own) {
        finishUnnotedRestore(source, platform);
        abandoned += FileIO::removeAbandonedWrites(folder);
    } else {
        abandoned += FileIO::removeAbandonedWrites(folder, QStringLiteral(".snapshot-restore-*.json"));
    }
    abandoned += FileIO::removeAbandonedWrites(source);
    abandoned += FileIO::removeAbandonedWrites(collection);
    if (!abandoned.isEmpty()) {
        warn(platform,
             QStringLiteral("已清理中断的写入留下的临时文件：") + abandoned.join(QStringLiteral("、")));
    }
    clearCollection(collection, platform);
}

} // namespace FileSnapshotStore

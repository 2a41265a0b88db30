#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

/** Small file helpers shared by every model. Failures throw SystemError with the platform's description. */
namespace FileIO {

/**
 * Replaces `path` with `data` as one complete new file, written to disk before it takes the old
 * one's place, so a crash leaves the old file or the new one.
 */
void writeAtomically(const QString &path, const QByteArray &data);
/**
 * writeAtomically() on a worker thread, so that the GUI thread never waits for the disk: writes to a
 * file land in the order made, and until one has, readSmallFile() in this process sees it already.
 * `onFailure` runs on `context`'s thread with the failure's description.
 */
void writeAtomicallyLater(const QString &path, const QByteArray &data, QObject *context,
                          std::function<void(const QString &)> onFailure);
/** Waits until every writeAtomicallyLater() made so far is on disk. */
void flushLaterWrites();
/**
 * Removes what atomic writes of the files matching `fileNames` (a wildcard pattern) in `folder` left
 * when their program died part-way, and names them; writes still in progress, here or in another
 * process, stay.
 */
QStringList removeAbandonedWrites(const QString &folder, const QString &fileNames = QStringLiteral("*"));
/** Creates `path` and its missing parents; an existing folder is fine. */
void createFolder(const QString &path);
/** Renames a file or folder within one volume. */
void rename(const QString &from, const QString &to);
/** Removes a file or a folder with its content, if there is one; failures are ignored. */
void removeIfPresent(const QString &path);
/** Removes a file or a folder with its content; throws when there is nothing to remove or it fails. */
void removeAll(const QString &path);
/**
 * The whole content of the regular file at `path` (links followed) when it holds at most `limit`
 * bytes; nothing when it is missing, unreadable, larger, or not a regular file (a device, a folder,
 * a pipe). Memory stays within `limit` whatever the file is.
 */
std::optional<QByteArray> readSmallFile(const QString &path, qint64 limit);
/**
 * The last `count` bytes of the regular file at `path` (links followed); none when it cannot be
 * opened or is not a regular file. At most `count` bytes are read however large the file is or
 * grows, and a pipe or device in the file's place is refused without waiting on it.
 */
std::optional<QByteArray> readTail(const QString &path, qint64 count);

/** Bytes read from the end of a file, with where they start and which file they came from. */
struct Tail
{
    QByteArray bytes;
    qint64 offset = 0;
    /** The file's size when it was read. */
    qint64 size = 0;
    quint64 device = 0;
    quint64 inode = 0;
};
/** readTail(), leaving out the bytes before offset `from`. */
std::optional<Tail> readTailAfter(const QString &path, qint64 from, qint64 count);
/** True when anything (a file, a folder, a link) exists at `path`. */
bool exists(const QString &path);

} // namespace FileIO

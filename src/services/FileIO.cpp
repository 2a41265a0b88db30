#include "services/FileIO.h"

#include "platform/Error.h"
#include "services/WriteQueue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileIO {

namespace {

/** A file opened for reading only when it is a regular one (links followed), closed when done. */
class RegularFile
{
public:
    explicit RegularFile(const QString &path)
        // Non-blocking, so a pipe put in a file's place cannot hang the open.
        : m_descriptor(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC))
    {
        struct stat st
        {
        };
        if (m_descriptor >= 0 && (::fstat(m_descriptor, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(m_descriptor);
            m_descriptor = -1;
        }
        m_size = m_descriptor >= 0 ? qint64(st.st_size) : -1;
        m_device = quint64(st.st_dev);
        m_inode = quint64(st.st_ino);
    }
    ~RegularFile()
    {
        if (m_descriptor >= 0) {
            ::close(m_descriptor);
        }
    }
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    bool isOpen() const { return m_descriptor >= 0; }
    int descriptor() const { return m_descriptor; }
    qint64 size() const { return m_size; }
    quint64 device() const { return m_device; }
    quint64 inode() const { return m_inode; }

private:
    int m_descriptor;
    qint64 m_size = -1;
    quint64 m_device = 0;
    quint64 m_inode = 0;
};

const auto partialMarker = QStringLiteral(".partial-");

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

/** Closes the descriptor and, unless the write was committed, removes the temporary file. */
struct PartialFile
{
    int descriptor = -1;
    QByteArray path;
    bool committed = false;
    ~PartialFile()
    {
        if (descriptor >= 0) {
            ::close(descriptor);
        }
        if (!committed && !path.isEmpty()) {
            ::unlink(path.constData());
        }
    }
};

} // namespace

void writeAtomically(const QString &path, const QByteArray &data)
{
    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    // A hidden sibling named after the file: a write cut short by a kill leaves something the owner
    // of the folder recognises (removeAbandonedWrites), and listings that skip hidden names never see it.
    PartialFile partial;
    for (int attempt = 0; partial.descriptor < 0; ++attempt) {
        const QString candidate = folder + QStringLiteral("/.") + target.fileName() + partialMarker +
                                  QUuid::createUuid().toString(QUuid::Id128).left(8);
        partial.path = encoded(candidate);
        partial.descriptor = ::open(partial.path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (partial.descriptor < 0) {
            const int error = errno;
            partial.path.clear();
            if (error != EEXIST || attempt > 8) {
                throw SystemError::fromErrno(error);
            }
        }
    }
    // Held until the rename: a lock nobody holds marks a write whose program has died.
    ::flock(partial.descriptor, LOCK_EX | LOCK_NB);
    struct stat existing
    {
    };
    if (::stat(encoded(path).constData(), &existing) == 0) {
        ::fchmod(partial.descriptor, existing.st_mode & 07777);
    }
    qsizetype written = 0;
    while (written < data.size()) {
        const ssize_t n =
            ::write(partial.descriptor, data.constData() + written, size_t(data.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // A full disk or a size limit: the old file stays as it was.
            throw SystemError::fromErrno(n < 0 ? errno : ENOSPC);
        }
        written += n;
    }
    if (::fsync(partial.descriptor) != 0) {
        throw SystemError::fromErrno(errno);
    }
    if (::rename(partial.path.constData(), encoded(path).constData()) != 0) {
        throw SystemError::fromErrno(errno);
    }
    partial.committed = true;
}

void writeAtomicallyLater(const QString &path, const QByteArray &data, QObject *context,
                          std::function<void(const QString &)> onFailure)
{
    WriteQueue::write(path, data, &writeAtomically, context, std::move(onFailure));
}

void flushLaterWrites()
{
    WriteQueue::flush();
}

QStringList removeAbandonedWrites(const QString &folder, const QString &fileNames)
{
    QStringList removed;
    const QStringList entries = QDir(folder).entryList({u'.' + fileNames + partialMarker + u'*'},
                                                       QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &entry : entries) {
        const QByteArray path = encoded(folder + u'/' + entry);
        const int descriptor = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
        if (descriptor < 0) {
            continue;
        }
        // A write in progress in this or another process holds its lock.
        if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.constData()) == 0) {
            removed.append(entry);
        }
        ::close(descriptor);
    }
    return removed;
}

void createFolder(const QString &path)
{
    if (QDir().mkpath(path)) {
        return;
    }
    // QDir gives no reason; ask the system which component failed and why.
    QString partial;
    for (const QString &component : QDir::cleanPath(QFileInfo(path).absoluteFilePath()).split(u'/')) {
        partial += component.isEmpty() && partial.isEmpty() ? QStringLiteral("/") : component + u'/';
        if (::mkdir(QFile::encodeName(partial).constData(), 0755) != 0 && errno != EEXIST) {
            throw SystemError::fromErrno(errno);
        }
        struct stat st
        {
        };
        if (::stat(QFile::encodeName(partial).constData(), &st) == 0 && !S_ISDIR(st.st_mode)) {
            throw SystemError::fromErrno(ENOTDIR);
        }
    }
    throw SystemError::fromErrno(EIO);
}

void rename(const QString &from, const QString &to)
{
    // QFile::rename falls back to copying files; a move here must be a rename or nothing.
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        throw SystemError::fromErrno(errno);
    }
}

namespace {

// Removal takes whole folders; an empty or relative path would mean the current directory.
bool safeToRemove(const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    return !path.isEmpty() && QDir::isAbsolutePath(path) && clean != QLatin1String("/");
}

} // namespace

void removeIfPresent(const QString &path)
{
    if (!safeToRemove(path)) {
        return;
    }
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink()) {
        QDir(path).removeRecursively();
    } else {
        ::unlink(encoded(path).constData());
    }
}

void removeAll(const QString &path)
{
    if (!safeToRemove(path)) {
        throw SystemError::fromErrno(EINVAL);
    }
    const std::filesystem::path target(QFile::encodeName(path).toStdString());
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(target, error))) {
        throw SystemError::fromErrno(ENOENT);
    }
    std::filesystem::remove_all(target, error);
    if (error) {
        throw SystemError(QString::fromLocal8Bit(error.message()));
    }
}

std::optional<QByteArray> readSmallFile(const QString &path, qint64 limit)
{
    if (std::optional<QByteArray> waiting = WriteQueue::pending(path)) {
        return waiting->size() <= limit ? waiting : std::nullopt;
    }
    const RegularFile file(path);
    if (!file.isOpen() || file.size() > limit) {
        return std::nullopt;
    }
    const int descriptor = file.descriptor();
    // The size may change while reading; read one byte past the limit to see a file that grew.
    QByteArray content(qsizetype(file.size()) + 1, Qt::Uninitialized);
    qsizetype filled = 0;
    for (;;) {
        if (filled == content.size()) {
            if (filled > limit) {
                return std::nullopt;
            }
            content.resize(qMin<qint64>(limit + 1, qint64(content.size()) * 2 + 4096));
        }
        const ssize_t got = ::read(descriptor, content.data() + filled, size_t(content.size() - filled));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        filled += got;
    }
    if (filled > limit) {
        return std::nullopt;
    }
    content.truncate(filled);
    return content;
}

std::optional<QByteArray> readTail(const QString &path, qint64 count)
{
    std::optional<Tail> tail = readTailAfter(path, 0, count);
    return tail ? std::optional<QByteArray>(std::move(tail->bytes)) : std::nullopt;
}

std::optional<Tail> readTailAfter(const QString &path, qint64 from, qint64 count)
{
    const RegularFile file(path);
    if (!file.isOpen()) {
        return std::nullopt;
    }
    const int descriptor = file.descriptor();
    const qint64 start = qMax<qint64>(qMax<qint64>(0, from), file.size() - count);
    // The emulator may still be appending: what arrived after the size was taken is left for next time.
    Tail tail{QByteArray(qsizetype(qMax<qint64>(0, file.size() - start)), Qt::Uninitialized), start,
              file.size(), file.device(), file.inode()};
    QByteArray &bytes = tail.bytes;
    qsizetype filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got =
            ::pread(descriptor, bytes.data() + filled, size_t(bytes.size() - filled), start + filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        filled += got;
    }
    bytes.truncate(filled);
    return tail;
}

bool exists(const QString &path)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace FileIO

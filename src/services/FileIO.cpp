#include "services/FileIO.h"

#include "services/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileIO {

void writeAtomically(const QString &path, const QByteArray &data)
{
    QSaveFile file(path);
    // Unbuffered, so a failing write (a full disk, a size limit) is seen here rather than lost in a
    // buffer that commit() would still rename into place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        throw SystemError(file.errorString());
    }
    if (file.write(data) != data.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw SystemError(reason);
    }
    if (!file.commit()) {
        throw SystemError(file.errorString());
    }
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
        struct stat st {};
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
        QFile::remove(path);
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
    // Non-blocking, so a pipe put in a file's place cannot hang the open.
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return std::nullopt;
    }
    struct Closer
    {
        int descriptor;
        ~Closer() { ::close(descriptor); }
    } closer{descriptor};
    struct stat st {};
    if (::fstat(descriptor, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > limit) {
        return std::nullopt;
    }
    // The size may change while reading; read one byte past the limit to see a file that grew.
    QByteArray content(qsizetype(st.st_size) + 1, Qt::Uninitialized);
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

bool exists(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace FileIO

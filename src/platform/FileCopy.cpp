#include "platform/FileCopy.h"

#include <QByteArrayList>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>
#ifdef Q_OS_LINUX
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

namespace FileCopy {

bool cloneContent(int in, int out)
{
#ifdef Q_OS_LINUX
    return ::ioctl(out, FICLONE, in) == 0;
#else
    Q_UNUSED(in)
    Q_UNUSED(out)
    return false;
#endif
}

off_t copyRangeInKernel(int in, int out, off_t from, off_t to, size_t chunk)
{
    off_t offset = from;
#ifdef Q_OS_LINUX
    // One copy instead of two through a buffer of ours, which leaves the processor to the window.
    while (offset < to) {
        loff_t source = offset;
        loff_t destination = offset;
        const ssize_t n = ::copy_file_range(in, &source, out, &destination,
                                            size_t(std::min<off_t>(to - offset, off_t(chunk))), 0);
        if (n <= 0) {
            break; // unsupported here, or the end of a file that shrank
        }
        offset += n;
    }
#else
    Q_UNUSED(in)
    Q_UNUSED(out)
    Q_UNUSED(to)
    Q_UNUSED(chunk)
#endif
    return offset;
}

int renameNoReplace(const char *from, const char *to)
{
#if defined(Q_OS_MACOS)
    return ::renamex_np(from, to, RENAME_EXCL);
#elif defined(Q_OS_LINUX)
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
#else
    Q_UNUSED(from)
    Q_UNUSED(to)
    errno = ENOSYS;
    return -1;
#endif
}

namespace {

QByteArray versionOf(const struct stat &facts)
{
#ifdef Q_OS_MACOS
    const timespec modified = facts.st_mtimespec;
    const timespec changed = facts.st_ctimespec;
#else
    const timespec modified = facts.st_mtim;
    const timespec changed = facts.st_ctim;
#endif
    QByteArrayList parts;
    for (const qint64 fact :
         {qint64(facts.st_dev), qint64(facts.st_ino), qint64(facts.st_size), qint64(modified.tv_sec),
          qint64(modified.tv_nsec), qint64(changed.tv_sec), qint64(changed.tv_nsec)}) {
        parts.append(QByteArray::number(fact));
    }
    return parts.join(':');
}

} // namespace

QByteArray version(int fd)
{
    struct stat facts = {};
    return ::fstat(fd, &facts) == 0 ? versionOf(facts) : QByteArray();
}

QByteArray version(const QString &path)
{
    struct stat facts = {};
    return ::stat(QFile::encodeName(path).constData(), &facts) == 0 ? versionOf(facts) : QByteArray();
}

} // namespace FileCopy

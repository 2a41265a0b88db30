#include "windows/detail/BundleBuild.h"

#include "platform/Error.h"
#include "platform/FileCopy.h"
#include "services/FileIO.h"
#include "windows/WindowsPreparation.h"
#include "windows/detail/PropertyList.h"

#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace BundleBuild {
namespace {

constexpr qint64 GiB = WindowsConfiguration::GiB;
constexpr qint64 minimumImageBytes = 1'048'576;
constexpr size_t copyChunkBytes = size_t(4) << 20;

QString targetExists()
{
    return QStringLiteral("目标已存在，请换一个名称。不会覆盖任何现有虚拟机。");
}

/** Closes a descriptor on every way out. */
class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {}
    ~Descriptor()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    /** Closes now and reports the result, which matters for a file just written. */
    int close()
    {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result;
    }

private:
    int m_fd;
};

/** Removes the build folder on every exit; after a successful move there is nothing left to remove. */
class BuildFolder
{
public:
    explicit BuildFolder(QString path)
        : m_path(std::move(path))
    {}
    ~BuildFolder() { FileIO::removeIfPresent(m_path); }
    BuildFolder(const BuildFolder &) = delete;
    BuildFolder &operator=(const BuildFolder &) = delete;
    const QString &path() const { return m_path; }

private:
    QString m_path;
};

void copyRange(int in, int out, off_t from, off_t to, std::vector<char> &buffer)
{
    // Whatever the kernel could not copy, the loop below does, and tells a short file apart.
    off_t offset = FileCopy::copyRangeInKernel(in, out, from, to, copyChunkBytes);
    while (offset < to) {
        const size_t wanted = size_t(std::min<off_t>(to - offset, off_t(buffer.size())));
        const ssize_t read = ::pread(in, buffer.data(), wanted, offset);
        if (read < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw SystemError::fromErrno(errno);
        }
        if (read == 0) {
            // The file shrank while it was copied; a copy padded with zeros would pass for the original.
            throw SystemError::fromErrno(EIO);
        }
        ssize_t written = 0;
        while (written < read) {
            const ssize_t n =
                ::pwrite(out, buffer.data() + written, size_t(read - written), offset + written);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throw SystemError::fromErrno(errno);
            }
            written += n;
        }
        offset += read;
    }
}

void copyContent(int in, int out, off_t size)
{
    // A volume that can share extents copies in no time and no space.
    if (FileCopy::cloneContent(in, out)) {
        return;
    }
    std::vector<char> buffer(copyChunkBytes);
    off_t offset = 0;
    while (offset < size) {
        off_t data = ::lseek(in, offset, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) {
                break; // only a hole remains
            }
            data = offset; // the volume cannot tell holes apart: copy everything
        }
        off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0) {
            hole = size;
        }
        hole = std::min(hole, size);
        copyRange(in, out, data, hole, buffer);
        offset = hole;
    }
    if (::ftruncate(out, size) != 0) {
        throw SystemError::fromErrno(errno);
    }
}

void writeConfiguration(const QString &file, const WindowsConfiguration &configuration)
{
    FileIO::writeAtomically(file, PropertyList::toXml(configuration.plist(QUuid::createUuid())));
}

} // namespace

qint64 requiredSpace(qint64 diskGB, qint64 isoBytes)
{
    return std::clamp<qint64>(diskGB, 64, 512) * GiB + 8 * GiB + isoBytes;
}

void copyFile(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray destination = QFile::encodeName(to);
    Descriptor in(::open(source.constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        throw SystemError::fromErrno(errno);
    }
    struct stat st
    {
    };
    if (::fstat(in.get(), &st) != 0) {
        throw SystemError::fromErrno(errno);
    }
    // The copies are the machine's own files: UTM writes its EFI variables, whatever the source's mode.
    Descriptor out(::open(destination.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (out.get() < 0) {
        throw SystemError::fromErrno(errno);
    }
    try {
        copyContent(in.get(), out.get(), st.st_size);
        // On the disk before the bundle appears, so a crash cannot leave a complete-looking bundle with
        // a short ISO, and the window's own small writes afterwards do not queue behind gigabytes.
        if (::fdatasync(out.get()) != 0 || out.close() != 0) {
            throw SystemError::fromErrno(errno);
        }
    } catch (...) {
        ::unlink(destination.constData());
        throw;
    }
}

void moveIntoPlace(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray destination = QFile::encodeName(to);
    // A plain rename would silently replace an empty folder that appeared at the target meanwhile.
    int result = FileCopy::renameNoReplace(source.constData(), destination.constData());
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // The volume cannot refuse by itself: look just before renaming instead.
        if (FileIO::exists(to)) {
            throw VMFailure(targetExists());
        }
        result = ::rename(source.constData(), destination.constData());
    }
    if (result != 0) {
        if (errno == EEXIST || errno == ENOTEMPTY) {
            throw VMFailure(targetExists());
        }
        throw SystemError::fromErrno(errno);
    }
}

std::optional<QString> run(const Request &request)
{
    try {
        struct stat st
        {
        };
        if (::stat(QFile::encodeName(request.iso).constData(), &st) != 0 ||
            qint64(st.st_size) <= minimumImageBytes) {
            throw VMFailure(QStringLiteral("ISO 文件过小，请检查下载是否完整。"));
        }
        const qint64 isoBytes = qint64(st.st_size);

        const qint64 available = WindowsPreparation::availableSpace(request.target);
        const qint64 required = requiredSpace(request.configuration.diskGB, isoBytes);
        if (available < required) {
            throw VMFailure(QStringLiteral("该磁盘空间不足。当前配置需要至少 ") +
                            QString::number(required / GiB + 1) +
                            QStringLiteral("GB 空闲空间；可选择外置 SSD。"));
        }

        const BuildFolder build(QFileInfo(request.target).path() + QStringLiteral("/.windows-build-") +
                                WindowsConfiguration::uuidText(QUuid::createUuid()));
        const QString data = build.path() + QStringLiteral("/Data");
        FileIO::createFolder(data);
        WindowsConfiguration::sparseDisk(data + QStringLiteral("/windows.img"),
                                         request.configuration.diskGB * GiB);
        copyFile(request.iso, data + QStringLiteral("/installer.iso"));
        copyFile(request.firmware, data + QStringLiteral("/efi_vars.fd"));
        writeConfiguration(build.path() + QStringLiteral("/config.plist"), request.configuration);
        moveIntoPlace(build.path(), request.target);
        return std::nullopt;
    } catch (...) {
        return describe(std::current_exception());
    }
}

} // namespace BundleBuild

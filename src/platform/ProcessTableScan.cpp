#include "platform/ProcessTableScan.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace ProcessTableScan {
namespace {

class Folder
{
public:
    explicit Folder(const QByteArray &path)
        : m_dir(::opendir(path.constData()))
    {}
    ~Folder()
    {
        if (m_dir) {
            ::closedir(m_dir);
        }
    }
    Folder(const Folder &) = delete;
    Folder &operator=(const Folder &) = delete;

    bool isOpen() const { return m_dir != nullptr; }
    /** The next entry's name, or nullptr at the end. */
    const char *next()
    {
        while (const dirent *entry = ::readdir(m_dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                return entry->d_name;
            }
        }
        return nullptr;
    }

private:
    DIR *m_dir;
};

bool isNumber(const char *name)
{
    if (!*name) {
        return false;
    }
    for (; *name; ++name) {
        if (*name < '0' || *name > '9') {
            return false;
        }
    }
    return true;
}

class Matcher
{
public:
    explicit Matcher(QByteArray folder)
        : m_folder(std::move(folder))
    {}

    bool covers(QByteArray path) const
    {
        // The table names a file removed while open "<path> (deleted)"; it was still under the folder.
        static const QByteArray deleted = " (deleted)";
        if (path.endsWith(deleted)) {
            path.chop(deleted.size());
        }
        return path == m_folder || (path.startsWith(m_folder) && path.at(m_folder.size()) == '/');
    }

    bool linkCovers(const QByteArray &link) const
    {
        char target[4096];
        const ssize_t length = ::readlink(link.constData(), target, sizeof target - 1);
        return length > 0 && covers(QByteArray(target, length));
    }

    bool mapsCover(const QByteArray &maps) const
    {
        const int descriptor = ::open(maps.constData(), O_RDONLY | O_CLOEXEC);
        if (descriptor < 0) {
            return false;
        }
        QByteArray content;
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                break;
            }
            content.append(buffer, got);
        }
        ::close(descriptor);
        // Each line: address, permissions, offset, device, inode, then the path after spaces.
        for (const QByteArray &line : content.split('\n')) {
            const qsizetype slash = line.indexOf('/');
            if (slash >= 0 && covers(line.mid(slash))) {
                return true;
            }
        }
        return false;
    }

private:
    QByteArray m_folder;
};

bool uses(const Matcher &matcher, const QByteArray &process)
{
    for (const char *link : {"/cwd", "/root", "/exe"}) {
        if (matcher.linkCovers(process + link)) {
            return true;
        }
    }
    Folder descriptors(process + "/fd");
    if (descriptors.isOpen()) {
        while (const char *name = descriptors.next()) {
            if (matcher.linkCovers(process + "/fd/" + name)) {
                return true;
            }
        }
    }
    return matcher.mapsCover(process + "/maps");
}

} // namespace

Result holders(const QString &table, const QString &folder)
{
    Result result;
    const QByteArray root = QFile::encodeName(table);
    Folder processes(root);
    // Without our own descriptors the table cannot be what it claims to be.
    Folder own(root + "/self/fd");
    if (!processes.isOpen() || !own.isOpen()) {
        result.failure = QString::fromLocal8Bit(std::strerror(errno ? errno : ENOENT));
        return result;
    }
    // The table names files by their real paths.
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty()) {
        return result;
    }
    const Matcher matcher(QFile::encodeName(canonical));
    while (const char *name = processes.next()) {
        if (isNumber(name) && uses(matcher, root + '/' + name)) {
            result.holders.append(QByteArray(name).toLongLong());
        }
    }
    return result;
}

} // namespace ProcessTableScan

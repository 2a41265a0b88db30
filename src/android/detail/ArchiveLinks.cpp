#include "android/detail/ArchiveLinks.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace ArchiveLinks {
namespace {

// The kernel gives up after 40 links on one lookup (ELOOP); so do we.
constexpr int mostLinks = 40;

std::optional<QString> linkTarget(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st
    {
    };
    if (::lstat(name.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        return std::nullopt;
    }
    QByteArray target(PATH_MAX, Qt::Uninitialized);
    const ssize_t length = ::readlink(name.constData(), target.data(), size_t(target.size()));
    if (length < 0) {
        return std::nullopt;
    }
    target.truncate(length);
    return QFile::decodeName(target);
}

bool isInside(const QString &path, const QString &folder)
{
    return folder == QLatin1String("/") || path == folder || path.startsWith(folder + u'/');
}

} // namespace

std::optional<QString> resolve(const QString &path)
{
    // Not QDir::cleanPath: "link/.." is the parent of where the link leads, not the folder holding it.
    QStringList pending = (path.startsWith(u'/') ? path : QDir::currentPath() + u'/' + path).split(u'/');
    std::reverse(pending.begin(), pending.end());
    QString resolved;
    int links = 0;
    while (!pending.isEmpty()) {
        const QString part = pending.takeLast();
        if (part.isEmpty() || part == QLatin1String(".")) {
            continue;
        }
        if (part == QLatin1String("..")) {
            resolved.truncate(qMax<qsizetype>(0, resolved.lastIndexOf(u'/')));
            continue;
        }
        const QString next = resolved + u'/' + part;
        const std::optional<QString> target = linkTarget(next);
        if (!target) {
            resolved = next;
            continue;
        }
        if (++links > mostLinks) {
            return std::nullopt;
        }
        if (target->startsWith(u'/')) {
            resolved.clear();
        }
        QStringList parts = target->split(u'/');
        std::reverse(parts.begin(), parts.end());
        pending += parts;
    }
    return resolved.isEmpty() ? QStringLiteral("/") : resolved;
}

std::optional<QString> firstLeaving(const QString &folder, const QString &boundary)
{
    const std::optional<QString> limit = resolve(boundary);
    if (!limit) {
        return folder;
    }
    QDirIterator entries(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString entry = entries.next();
        if (!entries.fileInfo().isSymLink()) {
            continue;
        }
        const std::optional<QString> target = resolve(entry);
        if (!target || !isInside(*target, *limit)) {
            return entry;
        }
    }
    return std::nullopt;
}

} // namespace ArchiveLinks

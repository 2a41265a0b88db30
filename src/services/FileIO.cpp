#include "services/FileIO.h"

#include "services/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <sys/stat.h>

namespace FileIO {

void writeAtomically(const QString &path, const QByteArray &data)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
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

} // namespace FileIO

#include "linux/LinuxISO.h"

#include "platform/Error.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace LinuxISO {

void validateFile(const QString &path)
{
    constexpr qint64 minimumBytes = qint64(1) << 20;
    const QFileInfo info(path);
    struct stat st = {};
    // stat follows a link, so an ISO reached through one is judged by the file it names.
    const bool readable = !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0;
    if (info.suffix().toLower() != QLatin1String("iso") || !readable || !S_ISREG(st.st_mode) ||
        qint64(st.st_size) <= minimumBytes) {
        throw VMFailure(QStringLiteral("请选择下载完成的 Linux ISO 文件。"));
    }
    const QString name = info.fileName().toLower();
    for (const char *x86 : {"amd64", "x86_64", "x64", "i386"}) {
        if (name.contains(QLatin1String(x86))) {
            throw VMFailure(
                QStringLiteral("这台 Mac 需要 ARM64 / aarch64 Linux 镜像，不能使用 x86 / AMD64 ISO。"));
        }
    }
}

} // namespace LinuxISO

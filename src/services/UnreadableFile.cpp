#include "services/UnreadableFile.h"

#include "services/AppLog.h"
#include "services/FileIO.h"

#include <QDateTime>
#include <QFileInfo>

namespace UnreadableFile {

void setAside(const QString &path, const QString &category, const QString &message)
{
    if (!FileIO::exists(path)) {
        return;
    }
    const QString stem = path + QStringLiteral(".unreadable-") +
                         QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString kept = stem;
    for (int n = 2; FileIO::exists(kept); ++n) {
        kept = stem + u'-' + QString::number(n);
    }
    FileIO::rename(path, kept);
    AppLog::warn(category, message + QFileInfo(kept).fileName());
}

} // namespace UnreadableFile

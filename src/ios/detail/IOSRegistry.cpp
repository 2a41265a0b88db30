#include "ios/detail/IOSRegistry.h"

#include "services/AppLog.h"
#include "services/Error.h"
#include "services/FileIO.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace IOSRegistry {

QByteArray read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw SystemError(file.errorString());
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw SystemError(file.errorString());
    }
    return data;
}

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

bool isUUID(const QString &text)
{
    // Anchored at the very end: "$" alone would also accept a trailing line break.
    static const QRegularExpression form(QRegularExpression::anchoredPattern(
        QStringLiteral("[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}")));
    return form.match(text).hasMatch();
}

} // namespace IOSRegistry

#pragma once

#include "services/AppLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

/** Test access to the global log: start from nothing, then read back what was written. */
namespace LogProbe {

/** Waits for queued entries, then removes every log file without writing anything. */
inline void reset()
{
    AppLog::readTail(0);
    // Announcements of earlier writes are still queued for the main thread; deliver them now.
    QCoreApplication::sendPostedEvents();
    QDir(QFileInfo(AppLog::file()).path()).removeRecursively();
}

/** The complete current log file, after every queued entry has been written. */
inline QString text()
{
    return AppLog::readTail(qint64(1) << 40);
}

/** Lines of the current log file that start an entry. */
inline QStringList entries()
{
    QStringList lines;
    for (const QString &line : text().split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u'[')) {
            lines.append(line);
        }
    }
    return lines;
}

/** The entries of `category`, oldest first, each as "LEVEL message" with the message's later lines. */
inline QStringList messages(const QString &category)
{
    QStringList found;
    const QString marker = QStringLiteral("] [") + category + QStringLiteral("] ");
    for (const QString &entry : text().split(QStringLiteral("\n["))) {
        if (const qsizetype at = entry.indexOf(marker); at > 0) {
            found.append(entry.section(QStringLiteral("] ["), 1, 1) + u' ' +
                         entry.mid(at + marker.size()).trimmed());
        }
    }
    return found;
}

} // namespace LogProbe

#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

/**
 * The global log: one append-only file under the data root with one older generation.
 *
 * All file work happens in order on one worker thread. `write` only enqueues, so it never
 * waits for the disk; `readTail` and `clear` wait until everything queued before them is done.
 */
namespace AppLog {

enum class Level { Info, Warn, Error };

inline constexpr qint64 rotationThreshold = 5'242'880;
inline constexpr qint64 displayTailBytes = 786'432;

/** Appends one entry; callable from any thread; returns at once. Blank messages are ignored. */
void write(Level level, const QString &category, const QString &message);
inline void info(const QString &category, const QString &message) { write(Level::Info, category, message); }
inline void warn(const QString &category, const QString &message) { write(Level::Warn, category, message); }
inline void error(const QString &category, const QString &message) { write(Level::Error, category, message); }

/** The last `maxBytes` bytes of the current log file, or `emptyText()` when there is none. */
QString readTail(qint64 maxBytes);
/** What a view of the log shows when there is no log file: "暂无全局日志。". */
QString emptyText();
/** Deletes both log files, then records that the user cleared them. */
void clear();
/** Path of the current log file. */
QString file();
/** Path of the older generation. */
QString previousFile();
/** A command line as the log shows it: each part containing a space wrapped in double quotes. */
QString command(const QString &executable, const QStringList &arguments);

QString levelName(Level level);

/** Emits `changed` on the main thread after every successful write. */
class Notifier : public QObject
{
    Q_OBJECT
public:
    static Notifier *instance();

Q_SIGNALS:
    void changed();

private:
    Notifier() = default;
};

} // namespace AppLog

#include "services/AppLog.h"

#include "platform/Host.h"
#include "services/FileIO.h"
#include "services/detail/LogQueue.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace AppLog {
namespace {

QString logFolder()
{
    return Host::dataRoot() + QStringLiteral("/logs");
}

QString sanitized(const QString &message)
{
    QString text = message;
    text.remove(QChar(u'\0'));
    return text.trimmed();
}

void postChanged()
{
    if (QCoreApplication::instance() == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(Notifier::instance(), &Notifier::changed, Qt::QueuedConnection);
}

/** Closes a descriptor when the scope ends. */
struct Descriptor
{
    int value;
    ~Descriptor()
    {
        if (value >= 0) {
            ::close(value);
        }
    }
};

/** Writes all of `bytes` at the end of the file; false when the disk takes only part of them. */
bool writeAll(int descriptor, const QByteArray &bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count =
            ::write(descriptor, bytes.constData() + written, size_t(bytes.size() - written));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        written += count;
    }
    return true;
}

// Runs on the log queue. Every failure drops the entry; the next write simply tries again.
void append(const QString &folder, Level level, const QString &category, const QString &message)
{
    if (!QDir().mkpath(folder)) {
        return;
    }
    const QString current = folder + QStringLiteral("/global.log");
    const QFileInfo info(current);
    if (info.exists() && info.size() > rotationThreshold) {
        const QString previous = folder + QStringLiteral("/global.previous.log");
        QFile::remove(previous);
        if (!QFile::rename(current, previous)) {
            return;
        }
    }
    QByteArray bytes =
        (u'[' + QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) + QStringLiteral("] [") +
         levelName(level) + QStringLiteral("] [") + category + QStringLiteral("] ") + message + u'\n')
            .toUtf8();

    // Read as well as write, to see how the file ends. Non-blocking, so a pipe put in the log's place
    // cannot stall the queue; only a regular file is a log.
    const Descriptor file{::open(QFile::encodeName(current).constData(),
                                 O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644)};
    struct stat st = {};
    if (file.value < 0 || ::fstat(file.value, &st) != 0 || !S_ISREG(st.st_mode)) {
        return;
    }
    // An entry torn by a program killed while writing must not swallow the start of this one.
    char last = '\n';
    if (st.st_size > 0 && ::pread(file.value, &last, 1, st.st_size - 1) == 1 && last != '\n') {
        bytes.prepend('\n');
    }
    const off_t start = ::lseek(file.value, 0, SEEK_END);
    if (!writeAll(file.value, bytes)) {
        // A full disk took part of the entry: take it back, so the log holds whole entries only.
        // Should even that fail, the check above starts the next entry on a line of its own.
        [[maybe_unused]] const int undone = start >= 0 ? ::ftruncate(file.value, start) : -1;
        return;
    }
    postChanged();
}

QString readTailNow(const QString &path, qint64 maxBytes)
{
    const std::optional<QByteArray> bytes = FileIO::readTail(path, maxBytes);
    return bytes ? QString::fromUtf8(*bytes) : emptyText();
}

} // namespace

Notifier *Notifier::instance()
{
    static Notifier *notifier = [] {
        auto *created = new Notifier;
        if (auto *app = QCoreApplication::instance()) {
            created->moveToThread(app->thread());
        }
        return created;
    }();
    return notifier;
}

QString emptyText()
{
    return QStringLiteral("暂无全局日志。");
}

QString levelName(Level level)
{
    switch (level) {
    case Level::Info:
        return QStringLiteral("INFO");
    case Level::Warn:
        return QStringLiteral("WARN");
    case Level::Error:
        return QStringLiteral("ERROR");
    }
    return QStringLiteral("INFO");
}

void write(Level level, const QString &category, const QString &message)
{
    QString text = sanitized(message);
    if (text.isEmpty()) {
        return;
    }
    LogQueue::shared().enqueue([folder = logFolder(), level, category, text = std::move(text)] {
        append(folder, level, category, text);
    });
}

QString readTail(qint64 maxBytes)
{
    QString tail;
    const QString path = file();
    LogQueue::shared().runAndWait([&] { tail = readTailNow(path, maxBytes); });
    return tail;
}

void clear()
{
    const QString current = file();
    const QString previous = previousFile();
    LogQueue::shared().runAndWait([&] {
        QFile::remove(current);
        QFile::remove(previous);
    });
    info(QStringLiteral("日志"), QStringLiteral("全局日志已由用户清空"));
}

QString file()
{
    return logFolder() + QStringLiteral("/global.log");
}

QString previousFile()
{
    return logFolder() + QStringLiteral("/global.previous.log");
}

QString command(const QString &executable, const QStringList &arguments)
{
    QStringList parts;
    parts.reserve(arguments.size() + 1);
    for (const QString &part : QStringList{executable} + arguments) {
        parts.append(part.contains(u' ') ? u'"' + part + u'"' : part);
    }
    return parts.join(u' ');
}

} // namespace AppLog

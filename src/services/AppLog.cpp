#include "services/AppLog.h"

#include "platform/Host.h"
#include "services/detail/LogQueue.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

namespace AppLog {
namespace {

const auto noLogText = QStringLiteral("暂无全局日志。");

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
    const QString entry = u'[' + QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) + QStringLiteral("] [")
        + levelName(level) + QStringLiteral("] [") + category + QStringLiteral("] ") + message + u'\n';
    const QByteArray bytes = entry.toUtf8();

    QFile file(current);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        return;
    }
    if (file.write(bytes) != bytes.size()) {
        return;
    }
    file.close();
    postChanged();
}

QString readTailNow(const QString &path, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return noLogText;
    }
    const qint64 length = qMax<qint64>(file.size(), 0);
    file.seek(length > maxBytes ? length - maxBytes : 0);
    const QByteArray bytes = file.readAll();
    return QString::fromUtf8(bytes);
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

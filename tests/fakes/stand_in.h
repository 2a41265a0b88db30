// Shared by the stand-ins: knobs from the environment, flushed output, call records.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace StandIn {

inline int knob(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

inline bool flag(const char *name)
{
    return knob(name, 0) != 0;
}

// A comma-separated knob, blanks dropped.
inline QStringList list(const char *name)
{
    QStringList items = qEnvironmentVariable(name).split(u',', Qt::SkipEmptyParts);
    for (QString &item : items) {
        item = item.trimmed();
    }
    items.removeAll(QString());
    return items;
}

// The text as given plus one line end, flushed at once so a killed caller still sees it all.
inline void say(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// Says `text` on standard error and gives the exit status to end with.
inline int fail(const QString &text, int status = 1)
{
    say(stderr, text);
    return status;
}

inline QStringList arguments(int argc, char *argv[])
{
    QStringList list;
    for (int i = 1; i < argc; ++i) {
        list << QString::fromLocal8Bit(argv[i]);
    }
    return list;
}

// One line per call appended to the file named by `variable`: the arguments (not the program) joined by
// U+001F, so names with spaces survive. A line end inside an argument is written as "\n" and a backslash
// as "\\", so one call stays one line. A single write, so that concurrent callers do not interleave.
inline void record(const char *variable, const QStringList &arguments)
{
    QStringList escaped;
    for (QString argument : arguments) {
        escaped << argument.replace(u'\\', QLatin1String("\\\\")).replace(u'\n', QLatin1String("\\n"));
    }
    const QByteArray line = escaped.join(QChar(0x1F)).toUtf8() + '\n';
    const QByteArray file = qgetenv(variable);
    const int fd =
        file.isEmpty() ? -1 : ::open(file.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (!file.isEmpty() &&
        (fd < 0 || ::write(fd, line.constData(), static_cast<size_t>(line.size())) != line.size())) {
        std::perror(variable);
    }
    ::close(fd);
}

} // namespace StandIn

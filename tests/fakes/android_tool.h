// Shared by the emulator and adb stand-ins: knobs from the environment, flushed output, invocation records.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace AndroidTool {

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

// Flushed at once: callers kill these programs, and a log missing its last lines would mislead.
inline void say(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

inline QStringList arguments(int argc, char *argv[])
{
    QStringList list;
    for (int i = 1; i < argc; ++i) {
        list << QString::fromLocal8Bit(argv[i]);
    }
    return list;
}

// One line per call: the command line, then NAME=value for each Android variable set, separated by tabs.
// Appended with a single write so that concurrent callers do not interleave.
inline void record(const char *program, const QStringList &arguments)
{
    const QByteArray file = qgetenv("FAKE_ANDROID_RECORD");
    if (file.isEmpty()) {
        return;
    }
    const auto flat = [](QString text) {
        return text.replace(u'\t', QLatin1String("\\t")).replace(u'\n', QLatin1String("\\n"));
    };
    QStringList fields{flat((QStringList{QLatin1String(program)} + arguments).join(u' '))};
    for (const char *name : {"ANDROID_SDK_ROOT", "ANDROID_HOME", "ANDROID_AVD_HOME", "ANDROID_EMULATOR_HOME",
                             "ANDROID_ADB_SERVER_PORT"}) {
        if (qEnvironmentVariableIsSet(name)) {
            fields << QLatin1String(name) + u'=' + flat(qEnvironmentVariable(name));
        }
    }
    const QByteArray line = fields.join(u'\t').toUtf8() + '\n';
    const int fd = ::open(file.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror("FAKE_ANDROID_RECORD");
        return;
    }
    if (::write(fd, line.constData(), static_cast<size_t>(line.size())) != line.size()) {
        std::perror("FAKE_ANDROID_RECORD");
    }
    ::close(fd);
}

} // namespace AndroidTool

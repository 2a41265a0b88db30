#include "TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

bool written(bool done, const QString &path)
{
    if (!done) {
        ADD_FAILURE() << "could not write " << path.toStdString();
    }
    return done;
}

} // namespace

QByteArray patternedBytes(qint64 size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = seed * 2654435761u + 1;
    for (qint64 i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = char(state >> 24);
    }
    return bytes;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return written(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size(),
                   path);
}

qint64 allocatedBytes(const QString &path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? qint64(st.st_blocks) * 512 : -1;
}

QMap<QString, QByteArray> tree(const QString &root, const QStringList &ignoredNames)
{
    QMap<QString, QByteArray> found;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        if (ignoredNames.contains(info.fileName())) {
            continue;
        }
        const QString relative = QDir(root).relativeFilePath(path);
        if (info.isSymLink()) {
            found.insert(relative, "-> " + info.symLinkTarget().toUtf8());
        } else if (info.isDir()) {
            found.insert(relative, "<dir>");
        } else {
            QFile file(path);
            found.insert(relative,
                         file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>"));
        }
    }
    return found;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

QStringList hiddenEntries(const QString &folder)
{
    return entries(folder).filter(QRegularExpression(QStringLiteral("^\\.")));
}

bool writeExecutable(const QString &path, const QByteArray &data)
{
    return writeFile(path, data) &&
           written(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner), path);
}

QString makeSparseFile(const QString &path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return written(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.resize(size), path)
               ? path
               : QString();
}

QList<QStringList> recordedCalls(const QString &record)
{
    QList<QStringList> calls;
    for (const QByteArray &line : readFile(record).split('\n')) {
        if (line.isEmpty()) {
            continue;
        }
        QStringList call;
        for (const QString &escaped : QString::fromUtf8(line).split(QChar(0x1F))) {
            QString argument;
            for (qsizetype i = 0; i < escaped.size(); ++i) {
                if (escaped[i] == u'\\' && i + 1 < escaped.size()) {
                    ++i;
                    argument += escaped[i] == u'n' ? QChar(u'\n') : escaped[i];
                } else {
                    argument += escaped[i];
                }
            }
            call << argument;
        }
        calls << call;
    }
    return calls;
}

int androidCalls(const QString &record, const QStringList &arguments)
{
    // Joined by the record's own separator, which no argument holds, a run of arguments is a substring.
    const QString separator(QChar(0x1F));
    const QString wanted = separator + arguments.join(separator) + separator;
    const QList<QStringList> calls = recordedCalls(record);
    return int(std::count_if(calls.begin(), calls.end(), [&](const QStringList &call) {
        return QString(separator + call.join(separator) + separator).contains(wanted);
    }));
}

void withFileSizeLimit(qint64 bytes, const std::function<void()> &action)
{
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    // Past the limit the kernel sends SIGXFSZ, which would end the test; ignored, the write fails instead.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = rlim_t(bytes);
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    action();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
}

ScopedEnv::ScopedEnv(const char *name, const std::optional<QByteArray> &value)
    : m_name(name)
{
    if (qEnvironmentVariableIsSet(name)) {
        m_before = qgetenv(name);
    }
    if (value) {
        qputenv(name, *value);
    } else {
        qunsetenv(name);
    }
}

ScopedEnv::~ScopedEnv()
{
    if (m_before) {
        qputenv(m_name, *m_before);
    } else {
        qunsetenv(m_name);
    }
}

#pragma once

#include "TestFiles.h"
#include "Wait.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/types.h>

/**
 * For tests of what survives when the application is killed: the test runs this test binary again as
 * the application, with only the current test selected, and the run knows from the environment that
 * it is that child. The child's output goes to a file, not a pipe, so whatever the killed child left
 * running cannot keep the parent waiting for an end of file.
 */
namespace ChildDeath {

inline constexpr char folderVariable[] = "CORVANE_CHILD_DEATH_FOLDER";

/** In the child: the folder it shares with the parent. Empty in the parent. */
inline QString childFolder()
{
    return qEnvironmentVariable(folderVariable);
}

/** How one child run ended. */
struct Ending
{
    bool finished = false;
    bool crashed = false;
    /** The exit status, or the signal that ended a crashed child. */
    int code = 0;
    QString output;

    bool killedBy(int signal) const { return finished && crashed && code == signal; }
};

/**
 * Runs the current test again in a child process that shares `folder` (its temporary files go there
 * too, so removing the folder removes whatever the killed child could not), and waits for its end.
 */
inline Ending runCurrentTestAsChild(const QString &folder, int milliseconds = 30000)
{
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(folderVariable), folder);
    environment.insert(QStringLiteral("TMPDIR"), folder);
    const QString outputFile = folder + QStringLiteral("/child-output.txt");
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setStandardOutputFile(outputFile);
    child.setStandardInputFile(QProcess::nullDevice());
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=%1.%2")
                     .arg(QLatin1String(test->test_suite_name()), QLatin1String(test->name()))});
    Ending ending;
    ending.finished = child.waitForFinished(milliseconds);
    if (!ending.finished) {
        child.kill();
        child.waitForFinished();
    }
    ending.crashed = child.exitStatus() == QProcess::CrashExit;
    ending.code = child.exitCode();
    ending.output = QString::fromUtf8(readFile(outputFile));
    return ending;
}

/** A process's state letter from /proc ('Z' for a zombie), or 0 when it is gone. */
inline char processState(pid_t pid)
{
    const QByteArray line = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() ? line[close + 2] : 0;
}

/** Whether `pid` has ended within `milliseconds` (a zombie waiting for its new parent counts); one
 *  that has not is killed, so a failing test leaves nothing running. */
inline bool ends(pid_t pid, int milliseconds = 10000)
{
    const bool ended = waitUntil(
        [pid] {
            const char state = processState(pid);
            return state == 0 || state == 'Z';
        },
        milliseconds);
    if (!ended) {
        ::kill(pid, SIGKILL);
    }
    return ended;
}

/** The process id written as text into `file`, or 0. */
inline pid_t readPid(const QString &file)
{
    return pid_t(readFile(file).trimmed().toInt());
}

} // namespace ChildDeath

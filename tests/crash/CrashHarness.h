#pragma once

#include "FakeHost.h"
#include "TestFiles.h"
#include "Wait.h"
#include "platform/ProcessTableScan.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

/** A folder's files and folders by relative path, as tree() reads them. */
using Tree = QMap<QString, QByteArray>;

/**
 * Kills the crash driver with SIGKILL at each of its file-system steps in turn. strace counts each
 * system call on its own, so for every call that changes the file system the operation runs again
 * with the kill moved one call later, until a run completes without reaching it.
 */
namespace CrashHarness {

struct Run
{
    bool killed = false;
    int exitCode = 0;
    QString output;
};

/** Whether strace may trace here; a container without ptrace cannot run these tests. */
inline bool canTrace()
{
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/strace"),
                {QStringLiteral("-qq"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                 QStringLiteral("/bin/true")});
    return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 0;
}

/** Runs the driver with `arguments`, killed at the `n`th call of `call` (never when `n` is 0). */
inline Run runDriver(const QStringList &arguments, const QString &call, int n)
{
    QStringList command{QStringLiteral("-qq"), QStringLiteral("-o"), QStringLiteral("/dev/null")};
    if (n > 0) {
        command << QStringLiteral("-e") << QStringLiteral("trace=") + call << QStringLiteral("-e")
                << QStringLiteral("inject=%1:signal=KILL:when=%2").arg(call).arg(n);
    } else {
        command << QStringLiteral("-e") << QStringLiteral("trace=none");
    }
    command << QStringLiteral(CORVANE_CRASH_DRIVER) << arguments;
    QProcess strace;
    strace.setProcessChannelMode(QProcess::MergedChannels);
    strace.start(QStringLiteral("/usr/bin/strace"), command);
    Run run;
    if (!strace.waitForFinished(120000)) {
        strace.kill();
        strace.waitForFinished();
        run.output = QStringLiteral("the driver did not finish");
        run.exitCode = -1;
        return run;
    }
    run.output = QString::fromUtf8(strace.readAll());
    // strace ends itself with the signal that ended the driver.
    run.killed = strace.exitStatus() == QProcess::CrashExit || strace.exitCode() == 128 + 9;
    run.exitCode = strace.exitCode();
    if (run.killed) {
        // A child caught between its fork and its exec still holds the killed program's descriptors
        // (its locks among them) until the parent-death signal reaches it; the next start comes once no
        // other process holds anything under the folders it was given (or after 5 s).
        for (const QString &argument : arguments) {
            if (QFileInfo(argument).isDir()) {
                waitUntil([&] {
                    QList<qint64> holders =
                        ProcessTableScan::holders(QStringLiteral("/proc"), argument).holders;
                    holders.removeAll(QCoreApplication::applicationPid());
                    return holders.isEmpty();
                });
            }
        }
    }
    return run;
}

/**
 * For every step: `prepare` lays out the state before the operation, the driver runs with
 * `arguments` and is killed at that step, and `check` is told whether it was killed. Returns how many
 * kills there were, so a test can tell that the kills reached the operation at all.
 */
inline int killAtEveryStep(const QStringList &arguments, const std::function<void()> &prepare,
                           const std::function<void(bool killed, const QString &where)> &check)
{
    // The calls that change what is on disk, and the waits in which an outside program does its part.
    const QStringList steps =
        QStringLiteral("mkdir mkdirat rename renameat renameat2 unlink unlinkat rmdir write pwrite64 fsync "
                       "fdatasync ftruncate symlink symlinkat wait4 waitid clone clone3 vfork")
            .split(u' ');
    int kills = 0;
    for (const QString &call : steps) {
        for (int n = 1;; ++n) {
            prepare();
            if (::testing::Test::HasFatalFailure()) {
                return kills;
            }
            const Run run = runDriver(arguments, call, n);
            const QString where = call + u'#' + QString::number(n);
            if (!run.killed) {
                EXPECT_EQ(run.exitCode, 0) << where.toStdString() << ": " << run.output.toStdString();
                check(false, where);
                break;
            }
            ++kills;
            check(true, where);
            if (::testing::Test::HasFailure()) {
                ADD_FAILURE() << "first failing kill: " << where.toStdString();
                return kills;
            }
        }
    }
    return kills;
}

/** Replaces `to` with an exact copy of `from`, for states that are cheaper to copy than to build. */
inline bool copyTree(const QString &from, const QString &to)
{
    QDir(to).removeRecursively();
    return QProcess::execute(QStringLiteral("/bin/cp"), {QStringLiteral("-a"), from, to}) == 0;
}

/** What every crash test starts from: a host (with room to spare, as FakeHost has) and a data root of its
 *  own. Tests that kill with strace skip where it cannot trace. */
template<typename Base> class Fixture : public Base
{
protected:
    virtual bool traced() const { return true; }

    void SetUp() override
    {
        if (traced() && !canTrace()) {
            GTEST_SKIP() << "strace cannot trace processes here (no ptrace)";
        }
    }

    FakeHost host{8, 16 * FakeHost::GiB};
    QTemporaryDir dir;
    QString root = dir.filePath(QStringLiteral("CorvaneBeta"));
};

} // namespace CrashHarness

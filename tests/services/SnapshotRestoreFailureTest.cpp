// A restore whose swap fails half-way, as a failing disk makes a rename fail: the live data goes back
// in place, and the note beside it stays exactly as long as it could not.
#include "Await.h"
#include "FakeHost.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "services/Background.h"
#include "services/FileSnapshotStore.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

namespace {

/** One rename the worker thread made, as strace wrote it down. */
struct Rename
{
    QString call;
    QString from;
    QString to;
    bool injected = false;
};

/**
 * strace attached to one thread for as long as it lives: it writes down every rename, and makes the
 * renames numbered `first` to `last` of one system call fail with EIO.
 */
class RenameFaults
{
public:
    RenameFaults(pid_t thread, const QString &log, const QString &call = {}, int first = 0, int last = 0)
        : m_log(log)
    {
        QStringList arguments{QStringLiteral("-s"), QStringLiteral("4096"),
                              QStringLiteral("-o"), log,
                              QStringLiteral("-e"), QStringLiteral("trace=rename,renameat,renameat2")};
        if (first > 0) {
            arguments << QStringLiteral("-e")
                      << QStringLiteral("inject=%1:error=EIO:when=%2..%3").arg(call).arg(first).arg(last);
        }
        arguments << QStringLiteral("-p") << QString::number(thread);
        m_strace.setProcessChannelMode(QProcess::MergedChannels);
        m_strace.start(QStringLiteral("/usr/bin/strace"), arguments);
        // It says so once it holds the thread; every rename after that is seen.
        while (!m_attached && m_strace.waitForReadyRead(5000)) {
            m_attached = m_strace.readAll().contains("attached");
        }
    }
    ~RenameFaults() { detach(); }

    bool attached() const { return m_attached; }

    /** Lets go of the thread and returns every rename seen, in order. */
    QList<Rename> detach()
    {
        if (m_strace.state() != QProcess::NotRunning) {
            m_strace.terminate();
            m_strace.waitForFinished(5000);
        }
        static const QRegularExpression line(
            QStringLiteral("^(\\w+)\\([^\"]*\"([^\"]*)\", [^\"]*\"([^\"]*)\""));
        QList<Rename> renames;
        for (const QString &text : QString::fromUtf8(readFile(m_log)).split(u'\n')) {
            const QRegularExpressionMatch match = line.match(text);
            if (match.hasMatch()) {
                renames.append({match.captured(1), match.captured(2), match.captured(3),
                                text.contains(QStringLiteral("(INJECTED)"))});
            }
        }
        return renames;
    }

private:
    QString m_log;
    QProcess m_strace;
    bool m_attached = false;
};

class SnapshotRestoreFailureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The store renames on the worker pool: one thread that never retires does all of it, so
        // strace can hold that thread and count its renames.
        QThreadPool::globalInstance()->setMaxThreadCount(1);
        // Threads an earlier test left waiting would take work too: they go first.
        QThreadPool::globalInstance()->waitForDone();
        QThreadPool::globalInstance()->setExpiryTimeout(-1);
        worker = Background::take(Background::start([] { return ::gettid(); }).result());
        LogProbe::reset();
        ASSERT_TRUE(writeFile(source + QStringLiteral("/userdata.img"), "snapshot"));
        const auto created = await(FileSnapshotStore::create(source, collection, QStringLiteral("Android"),
                                                             QStringLiteral("primary"), QStringLiteral("n"),
                                                             std::nullopt, QStringLiteral("n")));
        ASSERT_TRUE(created.value) << created.error.value_or(QString()).toStdString();
        record = *created.value;
    }

    /** Restores with strace watching, the renames numbered `first` to `last` of `call` failing. */
    std::optional<QList<Rename>> restore(const QString &call = {}, int first = 0, int last = 0)
    {
        EXPECT_TRUE(writeFile(source + QStringLiteral("/userdata.img"), "live"));
        RenameFaults faults(worker, dir.filePath(QStringLiteral("renames.log")), call, first, last);
        if (!faults.attached()) {
            return std::nullopt;
        }
        outcome = await(FileSnapshotStore::restore(source, collection, record, QStringLiteral("n")));
        return faults.detach();
    }

    void TearDown() override
    {
        QThreadPool::globalInstance()->setExpiryTimeout(30000);
        QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
    }

    FakeHost host;
    pid_t worker = 0;
    QTemporaryDir dir;
    QString source = dir.filePath(QStringLiteral("device/avd"));
    QString collection = dir.filePath(QStringLiteral("snapshots/android/primary"));
    SnapshotRecord record;
    Outcome<std::optional<QByteArray>> outcome;
};

} // namespace

TEST_F(SnapshotRestoreFailureTest, TheLiveDataGoesBackAndTheNoteStaysOnlyWhileItCannot)
{
    // A restore that succeeds shows which rename swaps the clone in, and how it is made.
    const std::optional<QList<Rename>> traced = restore();
    if (!traced) {
        GTEST_SKIP() << "strace cannot attach to this process here (no ptrace)";
    }
    const QList<Rename> &succeeded = *traced;
    ASSERT_TRUE(outcome.value) << outcome.error.value_or(QString()).toStdString();
    ASSERT_EQ(readFile(source + QStringLiteral("/userdata.img")), "snapshot");
    qsizetype swap = -1;
    for (qsizetype i = 0; i < succeeded.size() && swap < 0; ++i) {
        if (succeeded[i].to == source && succeeded[i].from.contains(QStringLiteral("/.snapshot-restore-"))) {
            swap = i;
        }
    }
    ASSERT_GE(swap, 0);
    const QString call = succeeded[swap].call;
    const int number = int(std::count_if(succeeded.begin(), succeeded.begin() + swap + 1,
                                         [&](const Rename &rename) { return rename.call == call; }));

    {
        // The clone cannot move in: the live data, already moved aside, is renamed back.
        LogProbe::reset();
        const QList<Rename> renames = restore(call, number, number).value_or(QList<Rename>());
        ASSERT_FALSE(outcome.value.has_value()) << "the restore reported success";
        EXPECT_TRUE(outcome.error->contains(QString::fromLocal8Bit(std::strerror(EIO))))
            << outcome.error->toStdString();
        EXPECT_EQ(readFile(source + QStringLiteral("/userdata.img")), "live");
        EXPECT_EQ(hiddenEntries(QFileInfo(source).path()), QStringList())
            << "the clone, the backup and the note are gone";
        ASSERT_EQ(renames.size(), succeeded.size() + 1);
        EXPECT_TRUE(renames[swap].injected && renames[swap].to == source);
        EXPECT_EQ(renames[swap + 1].from, renames[swap - 1].to) << "the backup goes back";
        EXPECT_EQ(renames[swap + 1].to, source);
        EXPECT_TRUE(LogProbe::text().contains(QStringLiteral("[ERROR] [快照] 回滚 Android 快照失败：")));
    }
    {
        // Nor can the live data go back: it stays aside, and the note with it for the next load.
        const QList<Rename> renames = restore(call, number, number + 1).value_or(QList<Rename>());
        ASSERT_FALSE(outcome.value.has_value());
        ASSERT_EQ(renames.size(), succeeded.size() + 1);
        ASSERT_TRUE(renames[swap + 1].injected && renames[swap + 1].to == source);
        const QString backup = renames[swap + 1].from;
        EXPECT_FALSE(QFileInfo::exists(source));
        EXPECT_EQ(readFile(backup + QStringLiteral("/userdata.img")), "live");
        EXPECT_EQ(hiddenEntries(QFileInfo(source).path()),
                  (QStringList{QFileInfo(backup).fileName(),
                               QFileInfo(renames[swap].from).fileName() + QStringLiteral(".json")}))
            << "the note is kept, the clone is gone";

        LogProbe::reset();
        FileSnapshotStore::recover(source, collection, QStringLiteral("Android"),
                                   FileSnapshotStore::Temporaries::Own);
        EXPECT_EQ(readFile(source + QStringLiteral("/userdata.img")), "live");
        EXPECT_EQ(hiddenEntries(QFileInfo(source).path()), QStringList());
        EXPECT_TRUE(LogProbe::text().contains(QStringLiteral("[WARN] [快照] Android 快照：")));
    }
}

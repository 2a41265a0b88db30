#include "services/FileSnapshotStore.h"
#include "Await.h"
#include "FakeHost.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "services/Background.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

namespace {

class SnapshotStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        writeFile(source + QStringLiteral("/userdata.img"), "version 1");
        writeFile(source + QStringLiteral("/sub/config.ini"), "hw.ramSize=2048\n");
    }

    Outcome<SnapshotRecord> create()
    {
        return await(FileSnapshotStore::create(source, collection, QStringLiteral("Android"),
                                               QStringLiteral("primary"), label, std::nullopt, label));
    }
    SnapshotRecord created()
    {
        const Outcome<SnapshotRecord> outcome = create();
        EXPECT_FALSE(outcome.error) << outcome.error->toStdString();
        return outcome.value.value_or(SnapshotRecord{});
    }
    Outcome<std::optional<QByteArray>> restore(const SnapshotRecord &record)
    {
        return await(FileSnapshotStore::restore(source, collection, record, label));
    }

    QTemporaryDir dir;
    FakeHost host;
    QString folder = dir.filePath(QStringLiteral("device"));
    QString source = folder + QStringLiteral("/avd");
    QString collection = dir.filePath(QStringLiteral("snapshots/android/primary"));
    const QString label = QStringLiteral("安卓 1");
};

TEST_F(SnapshotStoreTest, RecordsListsWholeRecordsOfTheCollectionNewestFirst)
{
    EXPECT_TRUE(FileSnapshotStore::records(collection).isEmpty());

    const SnapshotRecord valid{QStringLiteral("B"), QStringLiteral("Android"), QStringLiteral("primary"),
                               QStringLiteral("n"), QDateTime(QDate(2026, 3, 1), QTime(8, 15, 42), Qt::UTC)};
    writeFile(collection + QStringLiteral("/.creating-A/snapshot.json"), valid.toJson());
    QDir().mkpath(collection + QStringLiteral("/no-record"));
    writeFile(collection + QStringLiteral("/fractional/snapshot.json"),
              valid.toJson().replace("08:15:42Z", "08:15:42.500Z"));
    writeFile(collection + QStringLiteral("/offset/snapshot.json"),
              valid.toJson().replace("08:15:42Z", "08:15:42+01:00"));
    writeFile(collection + QStringLiteral("/truncated/snapshot.json"), valid.toJson().left(20));
    // A snapshot.json whose id leads out of the collection would make delete remove that folder.
    const QString outside = dir.filePath(QStringLiteral("precious"));
    writeFile(outside + QStringLiteral("/keep"), "x");
    SnapshotRecord hostile = valid;
    hostile.id = QStringLiteral("../../precious");
    writeFile(collection + QStringLiteral("/hostile/snapshot.json"), hostile.toJson());
    EXPECT_TRUE(FileSnapshotStore::records(collection).isEmpty());
    EXPECT_THROW(FileSnapshotStore::deleteSnapshot(collection, hostile), SystemError);
    EXPECT_EQ(readFile(outside + QStringLiteral("/keep")), "x");
    EXPECT_TRUE(valid.toJson().contains("\"createdAt\":\"2026-03-01T08:15:42Z\""));

    // Newest first; within one second, in listing order.
    SnapshotRecord a = valid, c = valid;
    a.id = QStringLiteral("A");
    c.id = QStringLiteral("C");
    a.createdAt = c.createdAt = valid.createdAt.addSecs(-4);
    for (const SnapshotRecord &record : {a, valid, c}) {
        writeFile(collection + u'/' + record.id + QStringLiteral("/snapshot.json"), record.toJson());
    }
    EXPECT_EQ(FileSnapshotStore::records(collection), (QList<SnapshotRecord>{valid, a, c}));
}

TEST_F(SnapshotStoreTest, RecoveryTouchesOnlyWhatANoteNamesAsTheGuests)
{
    const QString other = folder + QStringLiteral("/other.utm");
    writeFile(other + QStringLiteral("/config.plist"), "other");
    // A stranded backup of another bundle, noted as that bundle's, and one nobody noted.
    const QString otherBackup =
        folder + QStringLiteral("/.snapshot-backup-00000000-0000-0000-0000-000000000001");
    writeFile(otherBackup + QStringLiteral("/config.plist"), "other's old data");
    writeFile(
        folder + QStringLiteral("/.snapshot-restore-00000000-0000-0000-0000-000000000002.json"),
        "{\"source\":\"other.utm\",\"restore\":\".snapshot-restore-00000000-0000-0000-0000-000000000002\","
        "\"backup\":\".snapshot-backup-00000000-0000-0000-0000-000000000001\"}");
    const QString unnoted = folder + QStringLiteral("/.snapshot-backup-00000000-0000-0000-0000-000000000003");
    writeFile(unnoted + QStringLiteral("/x"), "y");
    // A note that names this guest but points out of the folder is not followed.
    writeFile(folder + QStringLiteral("/.snapshot-restore-00000000-0000-0000-0000-000000000004.json"),
              "{\"source\":\"avd\",\"restore\":\"../../precious\",\"backup\":\"../../precious\"}");
    writeFile(dir.filePath(QStringLiteral("precious/keep")), "x");

    FileSnapshotStore::recover(source, collection, QStringLiteral("Windows"),
                               FileSnapshotStore::Temporaries::Shared);
    EXPECT_EQ(readFile(source + QStringLiteral("/userdata.img")), "version 1");
    EXPECT_EQ(readFile(otherBackup + QStringLiteral("/config.plist")), "other's old data");
    EXPECT_EQ(readFile(unnoted + QStringLiteral("/x")), "y");
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("precious/keep"))), "x");
    EXPECT_EQ(hiddenEntries(folder).size(), 4);
}

TEST_F(SnapshotStoreTest, RecoveryPutsBackWhatAnOlderVersionLeftStranded)
{
    // An older version kept no note: killed between its renames it left the live data in a backup.
    const QString backup = folder + QStringLiteral("/.snapshot-backup-0D8F6C55-0000-0000-0000-000000000001");
    const QString clone = folder + QStringLiteral("/.snapshot-restore-0D8F6C55-0000-0000-0000-000000000002");
    ASSERT_TRUE(QDir().rename(source, backup));
    writeFile(clone + QStringLiteral("/userdata.img"), "the snapshot");
    writeFile(collection + QStringLiteral("/.creating-X/payload/userdata.img"), "half");
    writeFile(collection + QStringLiteral("/.deleting-Y/payload/userdata.img"), "half");

    FileSnapshotStore::recover(source, collection, QStringLiteral("Android"),
                               FileSnapshotStore::Temporaries::Own);
    EXPECT_EQ(readFile(source + QStringLiteral("/userdata.img")), "version 1");
    EXPECT_EQ(hiddenEntries(folder), QStringList());
    EXPECT_EQ(entries(collection), QStringList());
    EXPECT_EQ(LogProbe::entries().filter(QStringLiteral("[WARN] [快照] Android 快照：")).size(), 4);
}

TEST_F(SnapshotStoreTest, ASourceThatIsGoneCanBeRestoredButNotSnapshotted)
{
    const SnapshotRecord record = created();
    QDir(source).removeRecursively();
    EXPECT_EQ(create().error, QStringLiteral("设备数据尚不存在，无法创建快照。"));
    EXPECT_EQ(FileSnapshotStore::records(collection), QList<SnapshotRecord>{record});

    const auto restored = restore(record);
    ASSERT_FALSE(restored.error) << restored.error->toStdString();
    ASSERT_TRUE(restored.value);
    EXPECT_FALSE(*restored.value) << "a snapshot without settings hands none back";
    EXPECT_EQ(readFile(source + QStringLiteral("/userdata.img")), "version 1");
}

TEST_F(SnapshotStoreTest, ARestoreOfAnIncompleteOrForeignSnapshotOrAFailedCloneLeavesTheSourceAlone)
{
    const SnapshotRecord record = created();
    writeFile(source + QStringLiteral("/userdata.img"), "version 2");

    SnapshotRecord foreign = record;
    foreign.deviceID = QStringLiteral("ANOTHER");
    SnapshotRecord otherPlatform = record;
    otherPlatform.platform = QStringLiteral("Linux");
    for (const SnapshotRecord &wrong : {foreign, otherPlatform}) {
        EXPECT_EQ(restore(wrong).error, QStringLiteral("快照文件不完整或已损坏，未修改当前设备。"));
    }
    EXPECT_EQ(readFile(source + QStringLiteral("/userdata.img")), "version 2");
    EXPECT_TRUE(hiddenEntries(folder).isEmpty());

    // A clone killed half-way, as when the copy is interrupted.
    host.clone = [](const QString &from, const QString &to) {
        return ToolCommand{QStringLiteral(CORVANE_FAKES_DIR "/cp_dies"), {from, to}};
    };
    const auto cut = create();
    ASSERT_TRUE(cut.error);
    EXPECT_TRUE(cut.error->startsWith(
        QStringLiteral("快照创建失败。当前磁盘可能不支持 APFS 快速克隆，或可用空间不足。\n")))
        << cut.error->toStdString();
    EXPECT_EQ(entries(collection), QStringList{record.id});
    EXPECT_TRUE(
        LogProbe::entries().last().contains(QStringLiteral("[ERROR] [快照] 创建 Android 快照失败：")));

    ASSERT_TRUE(restore(record).error);
    EXPECT_EQ(readFile(source + QStringLiteral("/userdata.img")), "version 2");
    EXPECT_TRUE(hiddenEntries(folder).isEmpty());
    EXPECT_TRUE(
        LogProbe::entries().last().contains(QStringLiteral("[ERROR] [快照] 回滚 Android 快照失败：")));

    // A clone that reports success but makes nothing.
    host.clone = [](const QString &, const QString &) {
        return ToolCommand{QStringLiteral("/bin/true"), {}};
    };
    EXPECT_EQ(restore(record).error, QStringLiteral("快照恢复副本未生成。"));
    EXPECT_EQ(readFile(source + QStringLiteral("/userdata.img")), "version 2");
}

TEST_F(SnapshotStoreTest, BusyCheckNamesTheHolderAndPassesWhenItCannotTell)
{
    EXPECT_TRUE(await(FileSnapshotStore::ensureUnused(source, label)).done);

    QFile held(source + QStringLiteral("/userdata.img"));
    ASSERT_TRUE(held.open(QIODevice::ReadOnly));
    const QString refusal = QStringLiteral("安卓 1仍被其他程序使用。请完全关机并关闭对应窗口后重试。");
    EXPECT_EQ(await(FileSnapshotStore::ensureUnused(source, label)).error, refusal);
    // Taking or restoring a snapshot checks the same way before it touches anything.
    EXPECT_EQ(create().error, refusal);
    EXPECT_TRUE(FileSnapshotStore::records(collection).isEmpty());

    held.close();

    // Where the process table cannot be read, nobody can be said to hold nothing.
    host.processTableRoot = dir.filePath(QStringLiteral("no-proc"));
    const auto unknown = await(FileSnapshotStore::ensureUnused(source, label));
    ASSERT_TRUE(unknown.error);
    EXPECT_TRUE(unknown.error->startsWith(QStringLiteral("无法检查是否有程序正在使用 ")))
        << unknown.error->toStdString();

    // The outside probe, where it answers instead, counts as "nobody" when it cannot run.
    host.openFilesProbe = [](const QString &) {
        return ToolCommand{QStringLiteral("/nonexistent/lsof"), {}};
    };
    EXPECT_TRUE(await(FileSnapshotStore::ensureUnused(source, label)).done);
}

// The real clone: copy-on-write or nothing.
TEST(RealClone, ClonesOnACopyOnWriteVolumeAndRefusesToCopyElsewhere)
{
    const auto snapshotIn = [](const QString &folder) {
        writeFile(folder + QStringLiteral("/machine/Disk.img"), QByteArray(1 << 20, 'd'));
        return await(FileSnapshotStore::create(folder + QStringLiteral("/machine"),
                                               folder + QStringLiteral("/snapshots"), QStringLiteral("Linux"),
                                               QStringLiteral("linux"), QStringLiteral("Linux"), std::nullopt,
                                               QStringLiteral("Linux")));
    };
    QTemporaryDir plain;
    writeFile(plain.filePath(QStringLiteral("probe")), "p");
    const bool plainClones =
        QProcess::execute(QStringLiteral("/bin/cp"),
                          {QStringLiteral("--reflink=always"), plain.filePath(QStringLiteral("probe")),
                           plain.filePath(QStringLiteral("probe-clone"))}) == 0;
    if (!plainClones) {
        const auto refused = snapshotIn(plain.path());
        ASSERT_TRUE(refused.error);
        EXPECT_TRUE(refused.error->startsWith(QStringLiteral("快照创建失败。")));
        EXPECT_TRUE(entries(plain.filePath(QStringLiteral("snapshots"))).isEmpty());
    }

    const QString volume = qEnvironmentVariable("CORVANE_REFLINK_DIR");
    if (volume.isEmpty()) {
        GTEST_SKIP()
            << "no copy-on-write volume: CORVANE_REFLINK_DIR is unset (.ci/run mounts an XFS image as root)";
    }
    QTemporaryDir dir(volume + QStringLiteral("/store-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    const auto created = snapshotIn(dir.path());
    ASSERT_FALSE(created.error) << created.error->toStdString();
    const QString disk = dir.filePath(QStringLiteral("machine/Disk.img"));
    writeFile(disk, "changed");
    ASSERT_FALSE(await(FileSnapshotStore::restore(dir.filePath(QStringLiteral("machine")),
                                                  dir.filePath(QStringLiteral("snapshots")), *created.value,
                                                  QStringLiteral("Linux")))
                     .error);
    EXPECT_EQ(readFile(disk), QByteArray(1 << 20, 'd'));
}

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

// A restore whose swap fails half-way, as a failing disk makes a rename fail: the live data goes back
// in place, and the note beside it stays exactly as long as it could not.
class SnapshotRestoreFailureTest : public SnapshotStoreTest
{
protected:
    void SetUp() override
    {
        SnapshotStoreTest::SetUp();
        // The store renames on the worker pool: one thread that never retires does all of it, so
        // strace can hold that thread and count its renames.
        QThreadPool::globalInstance()->setMaxThreadCount(1);
        // Threads an earlier test left waiting would take work too: they go first.
        QThreadPool::globalInstance()->waitForDone();
        QThreadPool::globalInstance()->setExpiryTimeout(-1);
        worker = Background::take(Background::start([] { return ::gettid(); }).result());
        record = created();
    }

    /** Restores with strace watching, the renames numbered `first` to `last` of `call` failing. */
    std::optional<QList<Rename>> restoreTraced(const QString &call = {}, int first = 0, int last = 0)
    {
        EXPECT_TRUE(writeFile(source + QStringLiteral("/userdata.img"), "live"));
        RenameFaults faults(worker, dir.filePath(QStringLiteral("renames.log")), call, first, last);
        if (!faults.attached()) {
            return std::nullopt;
        }
        outcome = restore(record);
        return faults.detach();
    }

    void TearDown() override
    {
        QThreadPool::globalInstance()->setExpiryTimeout(30000);
        QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
    }

    pid_t worker = 0;
    SnapshotRecord record;
    Outcome<std::optional<QByteArray>> outcome;
};

TEST_F(SnapshotRestoreFailureTest, TheLiveDataGoesBackAndTheNoteStaysOnlyWhileItCannot)
{
    // A restore that succeeds shows which rename swaps the clone in, and how it is made.
    const std::optional<QList<Rename>> traced = restoreTraced();
    if (!traced) {
        GTEST_SKIP() << "strace cannot attach to this process here (no ptrace)";
    }
    const QList<Rename> &succeeded = *traced;
    ASSERT_TRUE(outcome.value) << outcome.error.value_or(QString()).toStdString();
    ASSERT_EQ(readFile(source + QStringLiteral("/userdata.img")), "version 1");
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
        const QList<Rename> renames = restoreTraced(call, number, number).value_or(QList<Rename>());
        ASSERT_FALSE(outcome.value.has_value()) << "the restore reported success";
        EXPECT_TRUE(outcome.error->contains(QString::fromLocal8Bit(std::strerror(EIO))))
            << outcome.error->toStdString();
        EXPECT_EQ(readFile(source + QStringLiteral("/userdata.img")), "live");
        EXPECT_EQ(hiddenEntries(folder), QStringList()) << "the clone, the backup and the note are gone";
        ASSERT_EQ(renames.size(), succeeded.size() + 1);
        EXPECT_TRUE(renames[swap].injected && renames[swap].to == source);
        EXPECT_EQ(renames[swap + 1].from, renames[swap - 1].to) << "the backup goes back";
        EXPECT_EQ(renames[swap + 1].to, source);
        EXPECT_TRUE(LogProbe::text().contains(QStringLiteral("[ERROR] [快照] 回滚 Android 快照失败：")));
    }
    {
        // Nor can the live data go back: it stays aside, and the note with it for the next load.
        const QList<Rename> renames = restoreTraced(call, number, number + 1).value_or(QList<Rename>());
        ASSERT_FALSE(outcome.value.has_value());
        ASSERT_EQ(renames.size(), succeeded.size() + 1);
        ASSERT_TRUE(renames[swap + 1].injected && renames[swap + 1].to == source);
        const QString backup = renames[swap + 1].from;
        EXPECT_FALSE(QFileInfo::exists(source));
        EXPECT_EQ(readFile(backup + QStringLiteral("/userdata.img")), "live");
        EXPECT_EQ(hiddenEntries(folder),
                  (QStringList{QFileInfo(backup).fileName(),
                               QFileInfo(renames[swap].from).fileName() + QStringLiteral(".json")}))
            << "the note is kept, the clone is gone";

        LogProbe::reset();
        FileSnapshotStore::recover(source, collection, QStringLiteral("Android"),
                                   FileSnapshotStore::Temporaries::Own);
        EXPECT_EQ(readFile(source + QStringLiteral("/userdata.img")), "live");
        EXPECT_EQ(hiddenEntries(folder), QStringList());
        EXPECT_TRUE(LogProbe::text().contains(QStringLiteral("[WARN] [快照] Android 快照：")));
    }
}

} // namespace

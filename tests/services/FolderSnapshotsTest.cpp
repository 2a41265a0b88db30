// The snapshot flow every folder guest shares, tested once on a stand-in guest; the guests' own tests
// check only what they supply (their folder, collection, lock and settings).
#include "services/FolderSnapshots.h"
#include "Await.h"
#include "FakeHost.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "Wait.h"
#include "services/SnapshotText.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString heldElsewhere = QStringLiteral("另一个窗口正在处理。");
const QString unreadable = QStringLiteral("快照中的 Android 设置无法读取，已保留当前设置。");

/** A guest that records what the flow hands it; its settings read back when they start with "settings". */
class StandInGuest : public FolderSnapshots::Guest
{
public:
    std::optional<FolderSnapshots::Place> place;
    QString lockFile;
    QByteArray settings = "settings v1";
    /** What every rollback handed over. */
    QList<std::pair<SnapshotRecord, std::optional<QByteArray>>> rollbacks;
    QString error;

    std::optional<FolderSnapshots::Place> snapshotPlace() const override { return place; }
    InstanceLock::Held lockForSnapshots() const override
    {
        return InstanceLock::take(lockFile, QStringLiteral("无法锁定。"), heldElsewhere);
    }
    QByteArray snapshotSettings() const override { return settings; }
    bool rolledBack(const SnapshotRecord &record, const std::optional<QByteArray> &kept) override
    {
        rollbacks.append({record, kept});
        return kept && kept->startsWith("settings");
    }
    void showSnapshotError(const QString &text) override { error = text; }
};

class FolderSnapshotsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        guest.place = FolderSnapshots::Place{folder, collection, QStringLiteral("primary"),
                                             QStringLiteral("安卓 1"), QStringLiteral("安卓 1")};
        guest.lockFile = dir.filePath(QStringLiteral("instance.lock"));
        writeFile(folder + QStringLiteral("/userdata.img"), "v1");
        writeFile(folder + QStringLiteral("/data/cache.img"), "cache v1");
    }

    SnapshotRecord created()
    {
        EXPECT_TRUE(await(snapshots.create()).done);
        EXPECT_EQ(guest.error, QString());
        return snapshots.latest().value_or(SnapshotRecord{});
    }

    static QString shown(const SnapshotRecord &record)
    {
        return QStringLiteral("最近快照：") + SnapshotText::shortDateTime(record.createdAt);
    }

    QTemporaryDir dir;
    FakeHost host;
    QString folder = dir.filePath(QStringLiteral("device/avd"));
    QString collection = dir.filePath(QStringLiteral("snapshots/android/primary"));
    StandInGuest guest;
    FolderSnapshots snapshots{guest, QStringLiteral("Android")};
};

TEST_F(FolderSnapshotsTest, CreateRollBackAndDeleteWithTheFlagAndMessageOnTheWay)
{
    snapshots.refresh();
    EXPECT_EQ(snapshots.message(), QStringLiteral("尚未创建快照"));
    guest.error = QStringLiteral("an earlier failure");

    QCoro::Task<> creating = snapshots.create();
    EXPECT_TRUE(snapshots.busy());
    EXPECT_EQ(snapshots.message(), QStringLiteral("正在创建快照…"));
    EXPECT_EQ(guest.error, QString());
    ASSERT_TRUE(await(std::move(creating)).done);
    EXPECT_FALSE(snapshots.busy());
    ASSERT_EQ(snapshots.snapshots().size(), 1) << guest.error.toStdString();
    const SnapshotRecord record = snapshots.snapshots().first();
    EXPECT_EQ(QStringList({record.platform, record.deviceID, record.displayName}),
              QStringList({QStringLiteral("Android"), QStringLiteral("primary"), QStringLiteral("安卓 1")}));
    EXPECT_EQ(snapshots.message(), shown(record));
    EXPECT_LT(qAbs(record.createdAt.secsTo(QDateTime::currentDateTimeUtc())), 5);
    EXPECT_EQ(snapshots.property("snapshots").value<QList<SnapshotRecord>>(), snapshots.snapshots());
    const QString stored = collection + u'/' + record.id;
    EXPECT_EQ(tree(stored + QStringLiteral("/payload")), tree(folder));
    EXPECT_EQ(readFile(stored + QStringLiteral("/configuration.json")), "settings v1");

    // What the next load lists.
    FolderSnapshots reloaded(guest, QStringLiteral("Android"));
    reloaded.refresh();
    EXPECT_EQ(reloaded.snapshots(), snapshots.snapshots());

    const QMap<QString, QByteArray> before = tree(folder);
    writeFile(folder + QStringLiteral("/userdata.img"), "v2");
    writeFile(folder + QStringLiteral("/later.img"), "later");
    guest.settings = "settings v2";
    QCoro::Task<> rolling = snapshots.rollbackLatest();
    EXPECT_TRUE(snapshots.busy());
    EXPECT_EQ(snapshots.message(), QStringLiteral("正在回滚…"));
    ASSERT_TRUE(await(std::move(rolling)).done);
    EXPECT_EQ(guest.error, QString());
    EXPECT_EQ(tree(folder), before);
    // The old data and the note beside the folder go after the rollback has answered.
    EXPECT_TRUE(
        waitUntil([&] { return entries(QFileInfo(folder).path()) == QStringList{QStringLiteral("avd")}; }));
    ASSERT_EQ(guest.rollbacks.size(), 1);
    EXPECT_EQ(guest.rollbacks.first().first, record);
    EXPECT_EQ(guest.rollbacks.first().second, QByteArray("settings v1"));
    EXPECT_FALSE(snapshots.busy());
    EXPECT_EQ(snapshots.snapshots(), QList<SnapshotRecord>{record}) << "the snapshot stays";
    EXPECT_EQ(snapshots.message(), shown(record));

    snapshots.deleteLatest();
    EXPECT_EQ(guest.error, QString());
    EXPECT_TRUE(snapshots.snapshots().isEmpty());
    EXPECT_EQ(snapshots.message(), QStringLiteral("尚未创建快照"));
    EXPECT_EQ(entries(collection), QStringList());
    EXPECT_EQ(tree(folder), before);
    const QString tail = QStringLiteral(" Android 快照：安卓 1 · ") + record.id;
    EXPECT_EQ(LogProbe::messages(QStringLiteral("快照")),
              (QStringList{QStringLiteral("INFO 已创建") + tail, QStringLiteral("INFO 已回滚") + tail,
                           QStringLiteral("INFO 已删除") + tail}));
}

TEST_F(FolderSnapshotsTest, SettingsThatCannotBeReadAreSaidSoAfterTheFolderIsRolledBack)
{
    const QList<std::tuple<const char *, std::function<bool(const QString &)>, std::optional<QByteArray>>>
        damages{
            {"not settings", [](const QString &file) { return writeFile(file, "garbage"); },
             QByteArray("garbage")},
            {"a folder", [](const QString &file) { return QFile::remove(file) && QDir().mkpath(file); },
             std::nullopt},
            {"missing", [](const QString &file) { return QFile::remove(file); }, std::nullopt},
        };
    for (const auto &[damage, apply, handed] : damages) {
        guest.rollbacks.clear();
        const SnapshotRecord record = created();
        ASSERT_TRUE(apply(collection + u'/' + record.id + QStringLiteral("/configuration.json"))) << damage;
        writeFile(folder + QStringLiteral("/userdata.img"), "later");

        ASSERT_TRUE(await(snapshots.rollbackLatest()).done);
        EXPECT_EQ(guest.error, unreadable) << damage;
        EXPECT_EQ(tree(folder).value(QStringLiteral("userdata.img")), "v1") << damage;
        ASSERT_EQ(guest.rollbacks.size(), 1) << "the rollback is shown all the same: " << damage;
        EXPECT_EQ(guest.rollbacks.first().second, handed) << damage;
        EXPECT_FALSE(snapshots.busy()) << damage;
        snapshots.deleteLatest();
    }
}

TEST_F(FolderSnapshotsTest, NothingHappensWithoutAFolderASnapshotWhileBusyOrOnceGone)
{
    const std::optional<FolderSnapshots::Place> place = guest.place;
    guest.place.reset();
    ASSERT_TRUE(await(snapshots.create()).done);
    ASSERT_TRUE(await(snapshots.rollbackLatest()).done);
    snapshots.deleteLatest();
    EXPECT_FALSE(QFileInfo::exists(collection));
    EXPECT_EQ(guest.error, QString());

    guest.place = place;
    ASSERT_TRUE(await(snapshots.rollbackLatest()).done);
    snapshots.deleteLatest();
    EXPECT_TRUE(guest.rollbacks.isEmpty());
    EXPECT_EQ(guest.error, QString()) << "no snapshot: nothing to do";

    const SnapshotRecord first = created();
    QCoro::Task<> second = snapshots.create();
    ASSERT_TRUE(snapshots.busy());
    EXPECT_TRUE(snapshots.create().isReady());
    EXPECT_TRUE(snapshots.rollbackLatest().isReady());
    snapshots.deleteLatest();
    EXPECT_TRUE(guest.rollbacks.isEmpty());
    EXPECT_EQ(snapshots.snapshots(), QList<SnapshotRecord>{first});
    ASSERT_TRUE(await(std::move(second)).done);
    EXPECT_EQ(snapshots.snapshots().size(), 2) << "the second create went ahead alone";

    // A flow that outlives its snapshots object touches nothing.
    auto owned = std::make_unique<FolderSnapshots>(guest, QStringLiteral("Android"));
    QCoro::Task<> creating = owned->create();
    ASSERT_TRUE(owned->busy());
    owned.reset();
    guest.error = QStringLiteral("untouched");
    ASSERT_TRUE(await(std::move(creating)).done);
    EXPECT_EQ(guest.error, QStringLiteral("untouched"));
}

TEST_F(FolderSnapshotsTest, FailuresGoToTheErrorAndTheListIsShownAgain)
{
    // A folder held open by a program is refused by the store itself (SnapshotStoreTest's busy check); the
    // guest hears of any refusal as it hears of the lock's here.
    const SnapshotRecord record = created();
    const QMap<QString, QByteArray> live = tree(folder);
    {
        // Another copy of the program holds the guest's lock.
        const InstanceLock::Attempt other = InstanceLock::acquire(guest.lockFile);
        int descriptor = other.descriptor;
        ASSERT_EQ(other.outcome, InstanceLock::Outcome::Locked);
        ASSERT_TRUE(await(snapshots.create()).done);
        EXPECT_EQ(guest.error, heldElsewhere);
        guest.error.clear();
        ASSERT_TRUE(await(snapshots.rollbackLatest()).done);
        EXPECT_EQ(guest.error, heldElsewhere);
        guest.error.clear();
        snapshots.deleteLatest();
        EXPECT_EQ(guest.error, heldElsewhere);
        EXPECT_EQ(snapshots.snapshots(), QList<SnapshotRecord>{record});
        EXPECT_EQ(tree(folder), live);
        EXPECT_FALSE(snapshots.busy());
        InstanceLock::release(descriptor);
    }

    // A snapshot that lost its files is refused and the folder stays as it is.
    const QString stored = collection + u'/' + record.id;
    ASSERT_TRUE(QDir(stored + QStringLiteral("/payload")).removeRecursively());
    ASSERT_TRUE(await(snapshots.rollbackLatest()).done);
    EXPECT_EQ(guest.error, QStringLiteral("快照文件不完整或已损坏，未修改当前设备。"));
    EXPECT_TRUE(guest.rollbacks.isEmpty());
    EXPECT_EQ(tree(folder), live);
    EXPECT_FALSE(snapshots.busy());
    EXPECT_EQ(snapshots.message(), shown(record));

    // Gone behind the list's back: the delete fails and the list shows what is left.
    ASSERT_TRUE(QDir(stored).removeRecursively());
    guest.error.clear();
    snapshots.deleteLatest();
    EXPECT_FALSE(guest.error.isEmpty());
    EXPECT_TRUE(snapshots.snapshots().isEmpty());
    EXPECT_EQ(snapshots.message(), QStringLiteral("尚未创建快照"));
}

} // namespace

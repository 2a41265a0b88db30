// Snapshot create, rollback and delete of an Android device and of the Linux machine, killed at every
// file-system step: after the next load the guest holds its old data or its new data, whole; every
// listed snapshot is whole; nothing hidden is left; and what the load repaired is in the global log.
// And a second copy of the program on the same data root, which may not roll back a guest the first holds.
#include "CrashGuests.h"
#include "CrashHarness.h"
#include "LogProbe.h"
#include "services/FileSnapshotStore.h"
#include "services/InstanceLock.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace CrashGuests;

class SnapshotCrashTest : public CrashHarness::Fixture<::testing::TestWithParam<std::shared_ptr<Guest>>>
{
protected:
    Guest &guest() const { return *GetParam(); }

    QStringList arguments(const QString &action) const
    {
        return {GetParam()->name() + QStringLiteral("-snapshot"), action, root};
    }

    /** The guest at "v1" with a snapshot of it, then at "v2". */
    void snapshotThenChange()
    {
        guest().prepare(root, "v1");
        guest().snapshot(root);
        guest().setLive(root, "v2");
    }

    /** Whatever an unfinished operation can leave beside the live data or in the collection. */
    QStringList traces() const
    {
        return hiddenEntries(QFileInfo(GetParam()->source(root)).path()) +
               hiddenEntries(GetParam()->source(root)) + hiddenEntries(GetParam()->collection(root));
    }

    /** Loads the guest as a new start would, and checks that what it repaired is in the log. */
    void loadAndCheckRepairs(const QString &where)
    {
        const QStringList before = traces();
        LogProbe::reset();
        guest().load(root);
        const bool warned = LogProbe::text().contains(QStringLiteral("[WARN] [快照] ") + guest().platform());
        EXPECT_EQ(warned, !before.isEmpty())
            << where.toStdString() << " found " << before.join(u' ').toStdString();
        EXPECT_EQ(traces(), QStringList()) << where.toStdString();
    }

    /** Each listed snapshot, by id, with its payload. */
    QMap<QString, Tree> listed() const
    {
        QMap<QString, Tree> snapshots;
        for (const SnapshotRecord &record : FileSnapshotStore::records(guest().collection(root))) {
            snapshots.insert(record.id,
                             tree(guest().collection(root) + u'/' + record.id + QStringLiteral("/payload")));
        }
        return snapshots;
    }

    Tree live() const { return tree(guest().source(root)); }
};

TEST_P(SnapshotCrashTest, CreateLeavesNoSnapshotOrAWholeOne)
{
    guest().prepare(root, "v1");
    const Tree data = live();
    const int kills = CrashHarness::killAtEveryStep(
        arguments(QStringLiteral("create")), [&] { guest().prepare(root, "v1"); },
        [&](bool killed, const QString &where) {
            loadAndCheckRepairs(where);
            EXPECT_EQ(live(), data) << where.toStdString();
            // Killed, there is no snapshot or one whole one; finished, the one.
            const QList<Tree> payloads = listed().values();
            EXPECT_EQ(payloads, killed && payloads.isEmpty() ? payloads : QList<Tree>{data})
                << where.toStdString();
        });
    EXPECT_GT(kills, 5);
}

TEST_P(SnapshotCrashTest, RollbackLeavesTheOldDataOrTheSnapshotsWhole)
{
    guest().prepare(root, "v1");
    const Tree before = live();
    const auto prepare = [&] { snapshotThenChange(); };
    prepare();
    const Tree current = live();
    const QMap<QString, Tree> snapshots = listed();
    ASSERT_EQ(snapshots.size(), 1);

    const int kills = CrashHarness::killAtEveryStep(
        arguments(QStringLiteral("rollback")), prepare, [&](bool killed, const QString &where) {
            loadAndCheckRepairs(where);
            // Killed, the folder is the old data or the snapshot's, whole; finished, the snapshot's.
            const Tree after = live();
            EXPECT_EQ(after, killed && after != before ? current : before) << where.toStdString();
            EXPECT_EQ(listed().values(), snapshots.values()) << where.toStdString();
        });
    EXPECT_GT(kills, 5);
}

TEST_P(SnapshotCrashTest, DeleteLeavesBothSnapshotsWholeOrOnlyTheOther)
{
    QString removed;
    QMap<QString, Tree> both;
    const auto prepare = [&] {
        snapshotThenChange();
        guest().snapshot(root);
        removed = FileSnapshotStore::records(guest().collection(root)).value(0).id;
        both = listed();
    };
    prepare();
    ASSERT_EQ(both.size(), 2);

    const int kills = CrashHarness::killAtEveryStep(
        arguments(QStringLiteral("delete")), prepare, [&](bool killed, const QString &where) {
            loadAndCheckRepairs(where);
            QMap<QString, Tree> others = both;
            others.remove(removed);
            // Killed, both are listed whole or only the other is; finished, only the other.
            const QMap<QString, Tree> after = listed();
            EXPECT_EQ(after, killed && after != others ? both : others) << where.toStdString();
        });
    EXPECT_GT(kills, 0);
}

// flock conflicts between open file descriptions, so this process holds the lock as the other copy would;
// a running guest holding its lock is VMModelTest's and LinuxModelTest's.
class TwoCopiesTest : public SnapshotCrashTest
{
protected:
    bool traced() const override { return false; }
};

TEST_P(TwoCopiesTest, ARollbackIsRefusedWhileAnotherCopyHoldsTheGuest)
{
    snapshotThenChange();
    const QList<SnapshotRecord> snapshots = FileSnapshotStore::records(guest().collection(root));
    ASSERT_EQ(snapshots.size(), 1);
    const Tree data = live();

    InstanceLock::Attempt other = InstanceLock::acquire(guest().lockFile(root));
    ASSERT_EQ(other.outcome, InstanceLock::Outcome::Locked);
    // A file held open as well: the lock answers first, with the guest's own words. That create and
    // delete are refused like the rollback is FolderSnapshotsTest's.
    QFile held(guest().source(root) + u'/' + data.lastKey());
    ASSERT_TRUE(held.open(QIODevice::ReadOnly)) << held.fileName().toStdString();
    EXPECT_EQ(guest().operate(root, QStringLiteral("rollback")), guest().lockMessage());
    EXPECT_EQ(FileSnapshotStore::records(guest().collection(root)), snapshots);
    EXPECT_EQ(live(), data);

    // Once the other copy is gone its lock is too, and the work goes ahead.
    held.close();
    InstanceLock::release(other.descriptor);
    EXPECT_EQ(guest().operate(root, QStringLiteral("rollback")), QString());
}

std::string named(const ::testing::TestParamInfo<std::shared_ptr<Guest>> &tested)
{
    return tested.param->platform().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Guests, SnapshotCrashTest,
                         ::testing::Values(std::make_shared<AndroidGuest>(), std::make_shared<LinuxGuest>()),
                         named);
INSTANTIATE_TEST_SUITE_P(Guests, TwoCopiesTest,
                         ::testing::Values(std::make_shared<AndroidGuest>(), std::make_shared<LinuxGuest>()),
                         named);

} // namespace

// A second copy of the program on the same data root: while the first holds a guest's lock, the second
// may not roll the guest back. flock conflicts between open file descriptions,
// so this process holds the lock as the other copy would; a running guest holding its lock is
// VMModelTest's and LinuxModelTest's.
#include "CrashGuests.h"
#include "CrashHarness.h"
#include "services/FileSnapshotStore.h"
#include "services/InstanceLock.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace CrashGuests;

class TwoCopiesTest : public CrashHarness::Fixture<::testing::TestWithParam<std::shared_ptr<Guest>>, false>
{
};

TEST_P(TwoCopiesTest, ARollbackIsRefusedWhileAnotherCopyHoldsTheGuest)
{
    Guest &guest = *GetParam();
    guest.prepare(root, "v1");
    guest.snapshot(root);
    guest.setLive(root, "v2");
    const QString collection = guest.collection(root);
    const QList<SnapshotRecord> snapshots = FileSnapshotStore::records(collection);
    ASSERT_EQ(snapshots.size(), 1);
    const QMap<QString, QByteArray> live = tree(guest.source(root));

    InstanceLock::Attempt other = InstanceLock::acquire(guest.lockFile(root));
    ASSERT_EQ(other.outcome, InstanceLock::Outcome::Locked);
    // A file held open as well: the lock answers first, with the guest's own words. That create and
    // delete are refused like the rollback is FolderSnapshotsTest's.
    QFile held(guest.source(root) + u'/' + live.lastKey());
    ASSERT_TRUE(held.open(QIODevice::ReadOnly)) << held.fileName().toStdString();
    EXPECT_EQ(guest.operate(root, QStringLiteral("rollback")), guest.lockMessage());
    EXPECT_EQ(FileSnapshotStore::records(collection), snapshots);
    EXPECT_EQ(tree(guest.source(root)), live);

    // Once the other copy is gone its lock is too, and the work goes ahead.
    held.close();
    InstanceLock::release(other.descriptor);
    EXPECT_EQ(guest.operate(root, QStringLiteral("rollback")), QString());
}

INSTANTIATE_TEST_SUITE_P(Guests, TwoCopiesTest,
                         ::testing::Values(std::make_shared<AndroidGuest>(), std::make_shared<LinuxGuest>()),
                         [](const ::testing::TestParamInfo<std::shared_ptr<Guest>> &tested) {
                             return tested.param->platform().toStdString();
                         });

} // namespace

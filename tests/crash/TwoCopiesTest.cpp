// A second copy of the program on the same data root: while the first runs a guest, the second
// may not snapshot, roll back or delete its snapshots, whether or not the open-files probe exists.
#include "CrashGuests.h"
#include "CrashHarness.h"
#include "services/FileSnapshotStore.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace CrashGuests;

struct Case
{
    std::shared_ptr<Guest> guest;
    bool withProbe;
};

class TwoCopiesTest : public CrashHarness::Fixture<::testing::TestWithParam<Case>, false>
{
protected:
    void SetUp() override
    {
        Fixture::SetUp();
        if (!GetParam().withProbe) {
            host.openFilesProbe = [](const QString &folder) {
                return ToolCommand{QStringLiteral("/nonexistent/lsof"),
                                   {QStringLiteral("-t"), QStringLiteral("+D"), folder}};
            };
        }
    }
    void TearDown() override
    {
        if (first.state() != QProcess::NotRunning) {
            first.kill();
            first.waitForFinished();
        }
    }

    const ScopedEnv bootDelay{"FAKE_EMULATOR_BOOT_DELAY_MS", "100"};
    QProcess first;
};

TEST_P(TwoCopiesTest, SnapshotWorkIsRefusedWhileAnotherCopyRunsTheGuest)
{
    Guest &guest = *GetParam().guest;
    guest.prepare(root, "v1");
    guest.snapshot(root);
    guest.setLive(root, "v2");
    const QString collection = guest.collection(root);
    const QList<SnapshotRecord> snapshots = FileSnapshotStore::records(collection);
    ASSERT_EQ(snapshots.size(), 1);

    first.start(QStringLiteral(CORVANE_CRASH_DRIVER), {guest.name() + QStringLiteral("-run"), root});
    ASSERT_TRUE(first.waitForReadyRead(30000)) << first.readAllStandardError().toStdString();
    ASSERT_EQ(first.readLine().trimmed(), "running") << first.readAllStandardError().toStdString();
    // As the running guest has it: a start rewrites the device's own files.
    const QMap<QString, QByteArray> live = tree(guest.source(root));

    for (const QString &action :
         {QStringLiteral("create"), QStringLiteral("rollback"), QStringLiteral("delete")}) {
        EXPECT_EQ(guest.operate(root, action), guest.lockMessage()) << action.toStdString();
        EXPECT_EQ(FileSnapshotStore::records(collection), snapshots) << action.toStdString();
        EXPECT_EQ(tree(guest.source(root)), live) << action.toStdString();
    }

    // Once the first copy is gone its lock is too, and the work goes ahead.
    first.kill();
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(guest.operate(root, QStringLiteral("rollback")), QString());
}

INSTANTIATE_TEST_SUITE_P(Guests, TwoCopiesTest,
                         ::testing::Values(Case{std::make_shared<AndroidGuest>(), true},
                                           Case{std::make_shared<AndroidGuest>(), false},
                                           Case{std::make_shared<LinuxGuest>(), true},
                                           Case{std::make_shared<LinuxGuest>(), false}),
                         [](const ::testing::TestParamInfo<Case> &tested) {
                             return tested.param.guest->platform().toStdString() +
                                    (tested.param.withProbe ? "WithOpenFilesProbe" : "WithoutOpenFilesProbe");
                         });

} // namespace

#include "CorvanectlFixture.h"

#include "Await.h"
#include "android/VMModel.h"

using namespace std::chrono_literals;

namespace {

const QString lockMessage = QStringLiteral("此实例已在另一个窗口运行，请复制实例后多开。");

TEST_F(CorvanectlTest, StartsInForegroundAndIsStoppedOrKilledFromAnotherProcess)
{
    QProcess &owner = startInBackground(words(QStringLiteral("android start")) << QStringLiteral("安卓 1"),
                                        QStringLiteral("已开机"));
    ASSERT_TRUE(errors.contains(QStringLiteral("已开机"))) << errors.toStdString();
    const QJsonObject running = androidEntry();
    EXPECT_EQ(running.value(QStringLiteral("state")).toString(), QStringLiteral("running"));
    const int port = running.value(QStringLiteral("port")).toInt();
    EXPECT_GE(port, 5554);
    EXPECT_FALSE(lockIsFree(primary.lockFile()));

    expectRefusals(
        {{words(QStringLiteral("android start primary")), 1, QStringLiteral("另一个 corvanectl 进程")}});

    // The stop is the SIGTERM the owner gets: it stops the device in order, asked over adb first as the
    // quit guard asks, not killed with the program.
    run(QStringLiteral("android stop primary"));
    ASSERT_TRUE(endsCleanly(owner));
    EXPECT_TRUE(lockIsFree(primary.lockFile()));
    // The model's own log of an orderly stop is VMModelTest's.
    EXPECT_EQ(calls(QStringLiteral("emulator-") + QString::number(port) + QStringLiteral(" emu kill")), 1);
    EXPECT_EQ(androidEntry().value(QStringLiteral("state")).toString(), QStringLiteral("stopped"));

    QProcess &again =
        startInBackground(words(QStringLiteral("android start primary")), QStringLiteral("已开机"));
    run(QStringLiteral("android kill primary"));
    ASSERT_TRUE(endsCleanly(again));
    EXPECT_TRUE(lockIsFree(primary.lockFile()));
    EXPECT_TRUE(LogProbe::text().contains(QStringLiteral("[Android] 安卓 1 已强制退出")));

    // Nothing runs it now: stopping is a no-op that says so.
    expectRefusals({{words(QStringLiteral("android stop primary")), 0, QStringLiteral("未在运行")}});
}

TEST_F(CorvanectlTest, RunPassesTheCommandsStatusThroughAndRollsBack)
{
    const QString serialFile = Host::dataRoot() + QStringLiteral("/serial.txt");
    ctl(words(QStringLiteral("android run primary -- /bin/sh -c"))
            << QStringLiteral("echo $ANDROID_SERIAL $ANDROID_ADB_SERVER_PORT > '%1'; exit 7").arg(serialFile),
        7);
    const QStringList seen = QString::fromUtf8(readFile(serialFile)).trimmed().split(u' ');
    ASSERT_EQ(seen.size(), 2);
    EXPECT_TRUE(seen[0].startsWith(QStringLiteral("emulator-")));
    EXPECT_EQ(seen[1], QStringLiteral("5038"));
    EXPECT_EQ(calls(seen[0] + QStringLiteral(" emu kill")), 1);
    EXPECT_TRUE(lockIsFree(primary.lockFile()));

    run(QStringLiteral("android run primary --rollback -- /bin/true"), 1);

    if (!volume) {
        GTEST_SKIP() << "the rollback after a run clones the device's files: CORVANE_REFLINK_DIR is unset";
    }
    run(QStringLiteral("snapshot create primary"));
    const QString marker = primary.avdFolder() + QStringLiteral("/written-by-the-test");
    const CtlResult passing = ctl(words(QStringLiteral("android run primary --rollback -- /bin/sh -c"))
                                  << QStringLiteral("touch '%1' && test -f '%1'").arg(marker));
    EXPECT_FALSE(QFile::exists(marker));
    EXPECT_TRUE(passing.err.contains(QStringLiteral("已回滚到最新快照")));
    EXPECT_TRUE(lockIsFree(primary.lockFile()));

    expectRefusals({{words(QStringLiteral("android run primary -- /no/such/program")), 1,
                     QStringLiteral("无法运行命令 /no/such/program")}});
    EXPECT_TRUE(lockIsFree(primary.lockFile()));
}

// That the command line holds the lock while it runs a device is the first test's; the model refuses a
// device whose lock is held elsewhere in VMModelTest and TwoCopiesTest.
TEST_F(CorvanectlTest, TheCommandLineRespectsTheWindowsLock)
{
    // The window's model holds the device: the command line reports it running and touches nothing.
    VMModel::Options quick;
    quick.timing.bootPollInterval = 50ms;
    VMModel window(primary, QStringLiteral("primary"), QStringLiteral("安卓 1"), quick);
    window.start();
    ASSERT_TRUE(waitUntil([&] { return window.booted(); }, 20000)) << window.error().toStdString();
    EXPECT_EQ(androidEntry().value(QStringLiteral("state")).toString(), QStringLiteral("running"));
    expectRefusals({{words(QStringLiteral("android start primary")), 1, lockMessage},
                    {words(QStringLiteral("snapshot create primary")), 1, lockMessage},
                    {words(QStringLiteral("android delete primary")), 1, QString()},
                    {words(QStringLiteral("android stop primary")), 1, QStringLiteral("Corvane 窗口")}});
    EXPECT_TRUE(QFile::exists(primary.configurationFile()));
    await(window.stop());
}

} // namespace

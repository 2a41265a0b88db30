#include "ChildDeath.h"
#include "FakeInteraction.h"
#include "TestFiles.h"
#include "VMModelFixture.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>

namespace {

TEST_F(VMModelTest, StartsWhenItMayBootsInstallsAnApkStopsAndSnapshotsWithEveryStepLoggedAndTheGuiThreadFree)
{
    FakeInteraction interaction;
    const QString apk = dir.filePath(QStringLiteral("My App.apk"));
    ASSERT_TRUE(writeFile(apk, {}));
    VMModel &model = device();
    EXPECT_EQ(model.status(), QStringLiteral("安卓环境已就绪"));
    model.installAPK();
    EXPECT_TRUE(interaction.asked.isEmpty()) << "no chooser before the device has booted";

    // A lock held elsewhere, or no more than 3 GiB free, refuses the start until resolved.
    QDir().mkpath(paths.root());
    InstanceLock::Attempt other = InstanceLock::acquire(paths.lockFile());
    ASSERT_EQ(other.outcome, InstanceLock::Outcome::Locked);
    model.start();
    EXPECT_EQ(model.error(), QStringLiteral("此实例已在另一个窗口运行，请复制实例后多开。"));
    EXPECT_FALSE(model.busy());
    InstanceLock::release(other.descriptor);
    host.capacity = VMModel::minimumFreeBytes;
    model.start();
    ASSERT_TRUE(waitUntil([&] { return !model.busy(); }));
    EXPECT_EQ(model.status(), QStringLiteral("无法启动"));
    EXPECT_EQ(model.error(), QStringLiteral("剩余磁盘不足 3GB，请释放空间后启动，以免安卓数据写入失败。"));
    EXPECT_EQ(model.instanceLock(), -1);
    EXPECT_TRUE(lockIsFree(paths));
    EXPECT_TRUE(LogProbe::entries().last().endsWith(QStringLiteral("[ERROR] [Android] 安卓 1 启动失败：") +
                                                    model.error()));
    host.capacity = VMModel::minimumFreeBytes + 1;
    LogProbe::reset();

    // A 5 ms tick stands in for the frames: the longest gap between ticks is the GUI thread's worst stall.
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    clock.start();
    tick.start(5);
    QStringList statuses;
    QObject::connect(&model, &VMModel::statusChanged, [&] { statuses.append(model.status()); });

    model.start();
    EXPECT_TRUE(model.busy());
    EXPECT_GE(model.instanceLock(), 0);
    const int port = model.port();
    ASSERT_TRUE(waitForStatus(model, QStringLiteral("安卓正在运行")));
    EXPECT_EQ(model.detail(), QString::number(model.configuration().cores) + QStringLiteral(" 核 CPU · ") +
                                  QString::number(model.configuration().memoryMB / 1024) +
                                  QStringLiteral("GB 内存 · Android 14"));
    EXPECT_TRUE(model.running() && model.booted() && !model.busy());
    EXPECT_FALSE(lockIsFree(paths));
    EXPECT_TRUE(QFile::exists(paths.configIni()));
    EXPECT_TRUE(QFile::exists(paths.configurationFile()));

    // An APK counts as installed only when adb says "Success".
    interaction.files.enqueue(apk);
    model.installAPK();
    ASSERT_TRUE(waitUntil([&] { return model.detail().startsWith(QStringLiteral("已安装")); }));
    EXPECT_EQ(model.detail(), QStringLiteral("已安装：My App.apk。请在安卓应用列表中打开。"));
    EXPECT_FALSE(model.busy());
    {
        ScopedEnv refuse("FAKE_ADB_INSTALL_REFUSE", "1");
        interaction.files.enqueue(apk);
        model.installAPK();
        ASSERT_TRUE(waitUntil([&] { return !model.error().isEmpty(); }));
        EXPECT_TRUE(model.error().contains(QStringLiteral("INSTALL_FAILED")));
        EXPECT_FALSE(model.busy());
        model.clearError();
    }

    await(model.stop());
    ASSERT_TRUE(waitForStatus(model, QStringLiteral("安卓已停止")));
    EXPECT_FALSE(model.running());
    EXPECT_EQ(model.instanceLock(), -1);
    EXPECT_TRUE(lockIsFree(paths));
    EXPECT_TRUE(model.error().isEmpty());
    EXPECT_EQ(statuses, (QStringList{QStringLiteral("检查虚拟化环境…"), QStringLiteral("安卓启动中…"),
                                     QStringLiteral("安卓正在运行"), QStringLiteral("正在关闭安卓…"),
                                     QStringLiteral("安卓已停止")}));

    // The story in the global log, in order.
    QStringList story;
    for (const QString &entry : LogProbe::entries()) {
        const QString message = entry.section(QStringLiteral("] "), 2);
        if (message.startsWith(QStringLiteral("[Android]")) ||
            message.startsWith(QStringLiteral("[命令] 开始："))) {
            story.append(message.section(u'/', 0, 0).section(QStringLiteral(" · "), 0, 1).trimmed());
        }
    }
    const QString requested = QStringLiteral("[Android] 请求启动 安卓 1 · 端口 ") + QString::number(port);
    ASSERT_GE(story.size(), 5) << story.join(u'\n').toStdString();
    EXPECT_EQ(story.first(), requested);
    EXPECT_EQ(story.at(1), QStringLiteral("[命令] 开始："));
    EXPECT_TRUE(story.contains(QStringLiteral("[Android] 请求正常关闭 安卓 1")));
    EXPECT_EQ(story.last(), QStringLiteral("[Android] 安卓 1 已停止"));
    EXPECT_EQ(calls({QStringLiteral("-accel-check")}), 1);
    EXPECT_EQ(calls({QStringLiteral("-P"), QStringLiteral("5038"), QStringLiteral("start-server")}), 1);
    EXPECT_EQ(calls({QStringLiteral("-P"), QStringLiteral("5038"), QStringLiteral("-s"),
                     QStringLiteral("emulator-") + QString::number(port), QStringLiteral("emu"),
                     QStringLiteral("kill")}),
              1);
    EXPECT_EQ(calls(model.configuration().arguments(port)), 1);

    ASSERT_TRUE(await(model.createSnapshot()).done);
    EXPECT_TRUE(model.error().isEmpty()) << model.error().toStdString();
    tick.stop();
    std::printf("longest event-loop gap during start, boot, APK install, stop and snapshot: %lld ms\n",
                static_cast<long long>(longest));
    // Generous for a loaded CI machine; the figure itself goes to docs/benchmarks.md.
    EXPECT_LT(longest, 250);
}

TEST_F(VMModelTest, PortWalkFallsBackToTheLowRangeThenRefuses)
{
    std::vector<std::unique_ptr<QTcpServer>> blockers;
    auto occupy = [&](int from, int to) {
        for (int port = from; port <= to; ++port) {
            auto server = std::make_unique<QTcpServer>();
            if (server->listen(QHostAddress::LocalHost, quint16(port))) {
                blockers.push_back(std::move(server));
            }
        }
    };
    occupy(5580, 5681);
    VMModel &model = device();
    model.start();
    EXPECT_EQ(model.port(), 5554);
    ASSERT_TRUE(waitUntil([&] { return !model.busy(); }));
    stopAndWait(model);

    occupy(5554, 5579);
    VMModel &refused = device(dir.filePath(QStringLiteral("CorvaneBeta/instances/C")), QStringLiteral("C"));
    refused.start();
    EXPECT_EQ(refused.error(), QStringLiteral("没有可用的模拟器端口，请关闭不使用的实例。"));
    EXPECT_FALSE(refused.busy());
    EXPECT_EQ(refused.instanceLock(), -1);
    EXPECT_TRUE(lockIsFree(refused.paths()));
}

TEST_F(VMModelTest, AFailedAccelerationCheckOnLinuxSaysHowToMakeKvmUsable)
{
    ScopedEnv fail("FAKE_EMULATOR_ACCEL_FAIL", "1");
    const QString emulatorWords = QStringLiteral(
        "accel:\n8\n/dev/kvm is not found: VT disabled in BIOS or KVM kernel module not loaded\naccel");
    const auto failedStart = [&](VMModel &model) {
        model.start();
        EXPECT_TRUE(waitUntil([&] { return !model.busy(); }));
        EXPECT_EQ(model.status(), QStringLiteral("无法启动"));
        // The log keeps the message's lines as they are.
        const QString log = LogProbe::text().trimmed();
        EXPECT_TRUE(
            log.endsWith(QStringLiteral("[ERROR] [Android] 安卓 1 启动失败：") + model.error().trimmed()))
            << log.toStdString();
        return model.error().trimmed();
    };
    const QString kvm = dir.filePath(QStringLiteral("kvm"));
    host.kvmDevicePath = kvm;
    VMModel &model = device();
    EXPECT_EQ(failedStart(model), emulatorWords) << "a Mac has no KVM to explain";
    EXPECT_EQ(model.instanceLock(), -1);
    // The released port is the first one offered again.
    VMModel &other = device(dir.filePath(QStringLiteral("CorvaneBeta/instances/D")), QStringLiteral("D"));
    other.start();
    EXPECT_EQ(other.port(), model.port());
    ASSERT_TRUE(waitUntil([&] { return !other.busy(); }));

    host.androidHostKind = Tools::AndroidHost::LinuxX86_64;
    ASSERT_TRUE(FakeAndroidSdk::install(paths));
    // The advice's words are AndroidHostTest's.
    EXPECT_EQ(failedStart(model), emulatorWords + u'\n' + Tools::kvmAdvice(kvm));

    // With a usable device the emulator failed for reasons of its own, and its words stand alone.
    ASSERT_TRUE(writeFile(kvm, {}));
    EXPECT_EQ(failedStart(model), emulatorWords);
}

#ifdef Q_OS_LINUX
TEST_F(VMModelTest, TheEmulatorEndsWithAKilledApplicationAndTheDeviceStartsAgain)
{
    const auto deviceRoot = [](const QString &shared) { return shared + QStringLiteral("/device"); };
    if (const QString shared = ChildDeath::childFolder(); !shared.isEmpty()) {
        VMModel &model = device(deviceRoot(shared), QStringLiteral("D"));
        model.start();
        ASSERT_TRUE(waitForStatus(model, QStringLiteral("安卓正在运行")));
        // Read by the parent only once this process is gone, so the file is whole by then.
        writeFile(shared + QStringLiteral("/emulator.pid"), QByteArray::number(model.processId()));
        ::raise(SIGKILL);
    }
    QTemporaryDir shared;
    const ChildDeath::Ending child = ChildDeath::runCurrentTestAsChild(shared.path());
    ASSERT_TRUE(child.killedBy(SIGKILL)) << child.output.toStdString();
    const pid_t emulator = ChildDeath::readPid(shared.filePath(QStringLiteral("emulator.pid")));
    ASSERT_GT(emulator, 0);
    EXPECT_TRUE(ChildDeath::ends(emulator)) << "the emulator outlived the application that started it";

    // What the user does next: start the same device again.
    VMModel &again = device(deviceRoot(shared.path()), QStringLiteral("D"));
    again.start();
    EXPECT_TRUE(waitForStatus(again, QStringLiteral("安卓正在运行"))) << again.error().toStdString();
}
#endif

TEST_F(VMModelTest, StopEscalatesAndASecondStopSendsNoSecondKill)
{
    ScopedEnv ignoreKill("FAKE_EMULATOR_IGNORE_KILL", "1");
    ScopedEnv ignoreTerm("FAKE_EMULATOR_IGNORE_SIGTERM", "1");
    VMModel &model = device();
    model.start();
    ASSERT_TRUE(waitForStatus(model, QStringLiteral("安卓正在运行")));

    bool firstDone = false;
    QCoro::connect(model.stop(), &model, [&] { firstDone = true; });
    EXPECT_TRUE(model.stopping());
    ASSERT_TRUE(await(model.stop()).done);
    ASSERT_TRUE(waitUntil([&] { return firstDone && !model.running(); }, 10000));
    EXPECT_EQ(model.status(), QStringLiteral("安卓已停止"));
    EXPECT_TRUE(model.error().isEmpty());
    EXPECT_EQ(calls({QStringLiteral("emu"), QStringLiteral("kill")}), 1);
    // The stand-in ignored the console's kill: the end came from the escalation, not from the console.
    EXPECT_FALSE(readFile(model.paths().emulatorLog()).contains("Saving state on exit"));
}

TEST_F(VMModelTest, ASlowBootIsReportedAndForceQuitActsOnlyOnARunningEmulator)
{
    ScopedEnv slowAdb("FAKE_ADB_DELAY_MS", "300");
    ScopedEnv never("FAKE_EMULATOR_NEVER_BOOT", "1");
    timing.bootAttempts = 3;
    VMModel &model = device();
    model.start();
    ASSERT_TRUE(model.busy());
    ASSERT_TRUE(await(model.forceQuit()).done);
    EXPECT_FALSE(model.forceQuitting());
    EXPECT_EQ(model.status(), QStringLiteral("检查虚拟化环境…"));

    // The emulator keeps running however long its boot takes.
    ASSERT_TRUE(waitForStatus(model, QStringLiteral("开机耗时较长")));
    EXPECT_EQ(model.detail(), QStringLiteral("请查看安卓窗口或运行日志，必要时停止后切换兼容渲染。"));
    EXPECT_TRUE(model.running() && !model.booted());
    ASSERT_TRUE(await(model.forceQuit()).done);
    EXPECT_EQ(model.status(), QStringLiteral("安卓已强制退出"));
    EXPECT_EQ(model.detail(), QStringLiteral("未保存运行快照；未写入磁盘的操作可能丢失，已写入的数据保留。"));
    EXPECT_FALSE(model.running() || model.busy() || model.stopping());
    EXPECT_EQ(model.instanceLock(), -1);
    EXPECT_TRUE(model.error().isEmpty());
}

TEST_F(VMModelTest, SnapshotsCopyTheAvdFolderAndRollbackRewritesItForTheKeptSettings)
{
    VMModel &model = device();
    model.save();
    ASSERT_TRUE(writeFile(paths.avdFolder() + QStringLiteral("/userdata-qemu.img"), {}));

    ASSERT_TRUE(await(model.createSnapshot()).done);
    ASSERT_EQ(model.snapshots().size(), 1) << model.error().toStdString();
    const SnapshotRecord record = model.snapshots().first();
    EXPECT_EQ(QStringList({record.platform, record.deviceID, record.displayName}),
              QStringList({QStringLiteral("Android"), QStringLiteral("primary"), QStringLiteral("安卓 1")}));
    EXPECT_TRUE(QFileInfo::exists(model.snapshotCollection() + u'/' + record.id));

    VMConfiguration changed = model.configuration();
    changed.softwareGPU = !changed.softwareGPU;
    model.setConfiguration(changed);
    model.save();
    QFile::remove(paths.avdFolder() + QStringLiteral("/userdata-qemu.img"));

    ASSERT_TRUE(await(model.rollbackLatestSnapshot()).done);
    ASSERT_TRUE(model.error().isEmpty()) << model.error().toStdString();
    EXPECT_EQ(model.status(), QStringLiteral("已回滚到快照"));
    EXPECT_TRUE(model.detail().startsWith(QStringLiteral("恢复时间：")));
    EXPECT_EQ(model.configuration().softwareGPU, !changed.softwareGPU);
    EXPECT_TRUE(QFile::exists(paths.avdFolder() + QStringLiteral("/userdata-qemu.img")));
    EXPECT_TRUE(QFile::exists(paths.configIni()));
    // What the next start of the application reads.
    EXPECT_EQ(device().configuration(), model.configuration());

    // Settings that cannot be read leave the current ones in place.
    const VMConfiguration current = model.configuration();
    ASSERT_TRUE(
        writeFile(model.snapshotCollection() + u'/' + record.id + QStringLiteral("/configuration.json"),
                  "{\"ramMB\": \"many\"}"));
    ASSERT_TRUE(await(model.rollbackLatestSnapshot()).done);
    EXPECT_EQ(model.error(), QStringLiteral("快照中的 Android 设置无法读取，已保留当前设置。"));
    EXPECT_EQ(model.configuration(), current);
    EXPECT_EQ(device().configuration(), current);
    // The flow around the device's part, messages and deletion among it, is FolderSnapshotsTest's.
}

TEST_F(VMModelTest, LogTailAndNameRules)
{
    VMModel &model = device();
    model.refreshLog();
    EXPECT_EQ(model.logText(), QStringLiteral("暂无运行日志。"));
    QByteArray log;
    for (int i = 0; log.size() < 100000; ++i) {
        log += QByteArray::number(i % 10);
    }
    ASSERT_TRUE(writeFile(paths.emulatorLog(), log));
    model.refreshLog();
    EXPECT_EQ(model.logText().toUtf8(), log.right(64000));
    // A log that never ends or never answers is the shared tail reader's: AppLogTest's unopenable log
    // and HostileFilesTest's global.log.

    model.setName(QStringLiteral("  工作机 \n"));
    model.saveName();
    EXPECT_EQ(model.name(), QStringLiteral("工作机"));
    model.setName(QStringLiteral("   "));
    model.saveName();
    EXPECT_EQ(QString::fromUtf8(readFile(paths.instanceNameFile())), QStringLiteral("工作机"));
}

} // namespace

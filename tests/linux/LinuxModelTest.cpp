#include "linux/LinuxModel.h"
#include "Await.h"
#include "FakeEngine.h"
#include "FakeHost.h"
#include "FakeInteraction.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "Wait.h"
#include "linux/LinuxISO.h"
#include "linux/engine/QemuEngine.h"
#include "services/InstanceLock.h"
#include "services/SnapshotText.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

constexpr qint64 MiB = qint64(1) << 20;
constexpr qint64 GiB = qint64(1) << 30;

class LinuxModelTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        owned.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    /** A fresh model on the test's data root, with the test's ISO chosen unless `withISO` is false. */
    LinuxModel &make(bool withISO = true, LinuxModel::Options options = {})
    {
        owned = std::make_unique<LinuxModel>(engine, base, std::move(options));
        if (withISO) {
            edit([this](LinuxConfiguration &c) { c.isoPath = iso; });
        }
        return *owned;
    }
    template<typename Change> void edit(Change change)
    {
        LinuxConfiguration configuration = owned->configuration();
        change(configuration);
        owned->setConfiguration(configuration);
    }
    void startRunning()
    {
        ASSERT_TRUE(await(owned->start()).done);
        ASSERT_TRUE(owned->running()) << owned->error().toStdString();
    }
    /** Probes without creating the lock file, so a test can also see that nothing was created. */
    bool lockIsFree() const
    {
        const QString lock = base + QStringLiteral("/linux.lock");
        return !QFileInfo::exists(lock) || InstanceLock::tryTake(lock).has_value();
    }
    /** What a refused start must leave behind, whichever check refused it. */
    void expectRefusedStart(const QString &message, bool lockHeldByTest = false)
    {
        ASSERT_TRUE(await(owned->start()).done);
        EXPECT_EQ(owned->error(), message);
        EXPECT_EQ(owned->status(), QStringLiteral("无法启动 Linux"));
        EXPECT_FALSE(owned->busy() || owned->running() || owned->machine());
        EXPECT_EQ(owned->lockFD(), -1);
        EXPECT_EQ(lockIsFree(), !lockHeldByTest);
        EXPECT_TRUE(
            LogProbe::entries().last().endsWith(QStringLiteral("[ERROR] [Linux] 启动失败：") + message));
    }

    FakeHost host{8, 16 * GiB};
    FakeEngine engine;
    QTemporaryDir dir;
    QString base = dir.filePath(QStringLiteral("CorvaneBeta"));
    LinuxPaths paths{base + QStringLiteral("/Linux")};
    QString iso = makeSparseFile(dir.filePath(QStringLiteral("debian-12.5.0-arm64-netinst.iso")), 2 * MiB);
    std::unique_ptr<LinuxModel> owned;
};

TEST_F(LinuxModelTest, FirstStartBuildsASparseMachineAndLaterStartsBootTheSameDisk)
{
    LinuxModel &model = make();
    EXPECT_EQ(model.status(), QStringLiteral("选择 ARM64 Linux ISO 后启动安装"));
    startRunning();
    EXPECT_EQ(model.status(), QStringLiteral("安装镜像已挂载 · 请在下方完成安装"));
    EXPECT_TRUE(model.prepared() && !model.busy() && model.machine() == engine.last() && model.lockFD() >= 0);
    EXPECT_FALSE(lockIsFree());
    EXPECT_TRUE(LogProbe::messages("Linux").contains(QStringLiteral("INFO 请求启动 · 4 核 · 4GB")));

    // 32 GiB by length alone: no data written, and the staging folder is gone.
    EXPECT_EQ(QFileInfo(paths.disk()).size(), 32 * GiB);
    EXPECT_LT(allocatedBytes(paths.disk()), MiB);
    EXPECT_EQ(entries(base), QStringList({QStringLiteral("Linux"), QStringLiteral("linux-configuration.json"),
                                          QStringLiteral("linux.lock")}));

    const MachineConfiguration &hardware = engine.configurations.value(0);
    EXPECT_EQ(QList<qint64>(
                  {hardware.cpuCount, hardware.memoryBytes, hardware.displayWidth, hardware.displayHeight}),
              QList<qint64>({4, 4 * GiB, 1280, 800}));
    EXPECT_EQ(QStringList({hardware.disk, hardware.efiVariableStore,
                           hardware.installerImage.value_or(QString()), hardware.macAddress}),
              QStringList({paths.disk(), paths.efiVariableStore(), iso, model.configuration().macAddress}));
    EXPECT_EQ(hardware.machineIdentifier, readFile(paths.machineIdentifier()));
    EXPECT_EQ(LinuxConfiguration::fromJson(readFile(model.settingsFile())), model.configuration());
    // The copy of the firmware's variable store must not hold up the window.
    EXPECT_NE(engine.variableStoreThread, QThread::currentThread());

    engine.started().reportGuestStop();
    ASSERT_TRUE(waitUntil([&] { return !model.running(); }));
    EXPECT_EQ(model.status(), QStringLiteral("Linux 已关闭"));
    EXPECT_TRUE(!model.machine() && model.lockFD() == -1 && lockIsFree());
    EXPECT_TRUE(LogProbe::messages("Linux").contains(QStringLiteral("INFO Linux 已关闭")));

    ASSERT_TRUE(writeFile(paths.disk(), "installed system"));
    LinuxModel &again = make(false);
    EXPECT_EQ(again.status(), QStringLiteral("Linux 虚拟硬件已就绪 · 是否已安装系统取决于磁盘内容"));
    edit([](LinuxConfiguration &c) { c.attachISO = false; });
    startRunning();
    EXPECT_EQ(again.status(), QStringLiteral("虚拟机运行中 · 正在从磁盘启动"));
    EXPECT_EQ(engine.configurations.last().installerImage, std::nullopt);
    EXPECT_EQ(readFile(paths.disk()), "installed system");
    EXPECT_EQ(engine.variableStores, 1);

    engine.started().reportError(QStringLiteral("qemu: guest panicked"));
    ASSERT_TRUE(waitUntil([&] { return !again.running(); }));
    EXPECT_EQ(again.status(), QStringLiteral("Linux 异常停止"));
    EXPECT_EQ(again.error(), QStringLiteral("qemu: guest panicked"));
    EXPECT_TRUE(again.lockFD() == -1 && lockIsFree());
    EXPECT_TRUE(LogProbe::entries().last().endsWith(QStringLiteral("[ERROR] [Linux] qemu: guest panicked")));
}

TEST_F(LinuxModelTest, EachCheckRefusesTheStartWithItsReasonAndLeavesNothingHeld)
{
    make(false);
    edit([](LinuxConfiguration &c) { c.attachISO = false; });
    expectRefusedStart(QStringLiteral("首次启动需要选择并挂载 Linux ISO。"));
    EXPECT_FALSE(QFileInfo::exists(base)) << "a refused first start creates nothing";

    make();
    engine.supported = false;
    expectRefusedStart(QStringLiteral("本机不支持 Apple 虚拟化。"));
    engine.supported = true;
#ifdef Q_OS_LINUX
    // A host without QEMU can virtualise; what it lacks is named, with the package that brings it.
    QemuEngine withoutQemu{QemuInstallation{}};
    owned = std::make_unique<LinuxModel>(withoutQemu, base);
    expectRefusedStart(
        QStringLiteral("找不到可用的 QEMU（qemu-system-aarch64）：/usr/bin/qemu-system-aarch64。"
                       "请安装 Debian 软件包 qemu-system-arm 后重试。"));
    make();
#endif

    QList<qint64> asked;
    LinuxModel::Options refusing;
    refusing.canAllocate = [&asked](qint64 memoryMB) {
        asked.append(memoryMB);
        return false;
    };
    make(true, std::move(refusing));
    expectRefusedStart(QStringLiteral("Linux 与安卓合计内存超过安全上限，请减少分配或停止其他设备。"));
    EXPECT_EQ(asked, QList<qint64>{4096});
    make();

    host.capacity = LinuxModel::minimumFreeBytes;
    expectRefusedStart(QStringLiteral("至少需要 5GB 可用空间才能启动，安装过程中可能需要更多。"));
    host.capacity = LinuxModel::minimumFreeBytes + 1; // every later start gets past this check

    InstanceLock::Attempt other = InstanceLock::acquire(base + QStringLiteral("/linux.lock"));
    ASSERT_EQ(other.outcome, InstanceLock::Outcome::Locked);
    expectRefusedStart(QStringLiteral("Linux 设备正在另一个 App 窗口运行。"), true);
    InstanceLock::release(other.descriptor);

    engine.variableStoreFailure = QStringLiteral("No space left on device");
    expectRefusedStart(QStringLiteral("No space left on device"));
    engine.variableStoreFailure.reset();
    EXPECT_EQ(entries(base),
              QStringList({QStringLiteral("linux-configuration.json"), QStringLiteral("linux.lock")}))
        << "no half-made machine folder, in place or staged";

    ASSERT_TRUE(writeFile(paths.disk(), "only the disk"));
    for (int attempt = 0; attempt < 2; ++attempt) {
        expectRefusedStart(
            QStringLiteral("Linux 设备目录不完整。为保护已有数据，不会覆盖；请在数据目录中检查。"));
    }
    EXPECT_EQ(entries(paths.root()), QStringList{QStringLiteral("Disk.img")});
    EXPECT_EQ(readFile(paths.disk()), "only the disk");
    EXPECT_EQ(entries(base).size(), 3);
    QDir(paths.root()).removeRecursively();

    engine.rejection = QStringLiteral("Invalid virtual machine configuration.");
    expectRefusedStart(*engine.rejection);
    engine.rejection.reset();
    EXPECT_TRUE(owned->prepared()) << "the files made before the refusal stay";

    engine.behaviour.startFailure = QStringLiteral("KVM is not available");
    expectRefusedStart(*engine.behaviour.startFailure);
    engine.behaviour.startFailure.reset();

    const QString address = owned->configuration().macAddress;
    edit([](LinuxConfiguration &c) { c.macAddress = QStringLiteral("not-a-mac"); });
    expectRefusedStart(QStringLiteral("Linux 网卡地址无效。"));
    edit([&address](LinuxConfiguration &c) { c.macAddress = address; });

    const QByteArray identifier = readFile(paths.machineIdentifier());
    ASSERT_TRUE(writeFile(paths.machineIdentifier(), "xyz"));
    expectRefusedStart(QStringLiteral("Linux 设备标识损坏。"));
    ASSERT_TRUE(writeFile(paths.machineIdentifier(), identifier));

    edit([](LinuxConfiguration &c) { c.isoPath.clear(); });
    expectRefusedStart(QStringLiteral("请选择下载完成的 Linux ISO 文件。"));
    EXPECT_EQ(engine.configurations.size(), 2) << "only two refusals got as far as the engine";
    edit([this](LinuxConfiguration &c) { c.isoPath = iso; });
    startRunning();
}

TEST_F(LinuxModelTest, StopRequestsForcedStopsAndLateReports)
{
    LinuxModel &model = make();
    const QString noAnswer = QStringLiteral("系统暂不响应关机请求，可以使用右侧强制退出。");
    model.requestStop();
    EXPECT_EQ(model.error(), noAnswer);

    startRunning();
    FakeMachine *machine = &engine.started();
    // A request the machine refuses is shown and not claimed as made (QEMU's refusal: QemuSupervision).
    const QString running = model.status();
    machine->behaviour.stopRequestRefusal = QStringLiteral("The guest refused the request.");
    model.requestStop();
    EXPECT_EQ(model.error(), *machine->behaviour.stopRequestRefusal);
    EXPECT_EQ(model.status(), running);
    EXPECT_TRUE(LogProbe::messages("Linux").contains(QStringLiteral("ERROR 关机请求失败：") + model.error()));
    machine->behaviour.stopRequestRefusal.reset();
    model.requestStop();
    EXPECT_EQ(model.status(), QStringLiteral("已请求关机，等待 Linux 响应…"));
    EXPECT_TRUE(machine->stopRequests == 1 && model.running()) << "only the guest's own stop ends the run";
    machine->behaviour.acceptsStopRequest = false;
    model.requestStop();
    EXPECT_EQ(model.error(), noAnswer);

    machine->behaviour.holdStop = true;
    machine->behaviour.stopFailure = QStringLiteral("stop failed");
    bool failedStopDone = false;
    QCoro::connect(model.forceStop(), &model, [&] { failedStopDone = true; });
    ASSERT_TRUE(model.busy());
    ASSERT_TRUE(await(model.start()).done);
    EXPECT_EQ(engine.machines.size(), 1) << "no start while stopping";
    machine->complete();
    ASSERT_TRUE(waitUntil([&] { return failedStopDone; }));
    EXPECT_EQ(model.error(), QStringLiteral("stop failed"));
    EXPECT_TRUE(model.running() && !model.busy() && model.machine() == machine && model.lockFD() >= 0);

    machine->behaviour = {};
    ASSERT_TRUE(await(model.forceStop()).done);
    EXPECT_EQ(model.status(), QStringLiteral("Linux 已强制退出 · 已写入数据保留"));
    EXPECT_FALSE(model.running() || model.busy() || model.machine());
    EXPECT_TRUE(lockIsFree());
    EXPECT_EQ(LogProbe::text().count(QStringLiteral("[INFO] [Linux] 请求正常关闭")), 4);
    EXPECT_EQ(LogProbe::text().count(QStringLiteral("[WARN] [Linux] 请求强制退出")), 2);
    EXPECT_TRUE(
        LogProbe::messages("Linux").contains(QStringLiteral("INFO Linux 已强制退出 · 已写入数据保留")));

    // Reports about a machine that is no longer current change nothing.
    startRunning();
    // The guest's power-off is already on its way when the forced stop clears the machine.
    engine.started().reportGuestStop();
    ASSERT_TRUE(await(model.forceStop()).done);
    QCoreApplication::processEvents();
    EXPECT_EQ(model.status(), QStringLiteral("Linux 已强制退出 · 已写入数据保留"));
    EXPECT_FALSE(LogProbe::messages("Linux").contains(QStringLiteral("INFO Linux 已关闭")));

    // A machine that stops while still coming up does not turn into a running one afterwards.
    engine.behaviour.holdStart = true;
    bool startDone = false;
    QCoro::connect(model.start(), &model, [&] { startDone = true; });
    FakeMachine *second = &engine.started();
    second->reportError(QStringLiteral("firmware missing"));
    ASSERT_TRUE(waitUntil([&] { return model.status() == QStringLiteral("Linux 异常停止"); }));
    EXPECT_EQ(model.lockFD(), -1);
    second->complete();
    ASSERT_TRUE(waitUntil([&] { return startDone; }));
    EXPECT_FALSE(model.running() || model.busy() || model.machine());
    EXPECT_EQ(model.status(), QStringLiteral("Linux 异常停止"));
}

TEST_F(LinuxModelTest, SettingsMissingAnyKeyAreAllResetWithANewAddressAndClampedToTheHost)
{
    const LinuxConfiguration defaults = LinuxConfiguration::defaults(engine);
    const LinuxConfiguration stored{2, 3, 64, iso, false, QStringLiteral("02:aa:bb:cc:dd:ee"), 1920, 1080};
    const QJsonObject complete = QJsonDocument::fromJson(stored.toJson()).object();
    ASSERT_EQ(complete.size(), 8);
    const QString file = base + QStringLiteral("/linux-configuration.json");
    ASSERT_TRUE(writeFile(file, stored.toJson()));
    EXPECT_EQ(make(false).configuration(), stored);

    QStringList addresses{stored.macAddress, defaults.macAddress};
    for (const QString &key : complete.keys()) {
        QJsonObject partial = complete;
        partial.remove(key);
        ASSERT_TRUE(writeFile(file, QJsonDocument(partial).toJson()));
        LinuxConfiguration expected = defaults;
        expected.macAddress = make(false).configuration().macAddress;
        EXPECT_EQ(owned->configuration(), expected) << key.toStdString();
        EXPECT_FALSE(addresses.contains(expected.macAddress)) << "every reset draws a new address";
        addresses.append(expected.macAddress);
    }
    QJsonObject wrongType = complete;
    wrongType.insert(QStringLiteral("attachISO"), QStringLiteral("false"));
    EXPECT_EQ(LinuxConfiguration::fromJson(QJsonDocument(wrongType).toJson()), std::nullopt);

    // Cores and memory stay within the host ranges AppPreferences gives (tested there); the disk within
    // 16–256 GB.
    host.processors = 6;
    host.memory = 15 * GiB;
    const auto clamped = [](qint64 cores, qint64 memoryGB, qint64 diskGB) {
        return LinuxConfiguration{cores, memoryGB, diskGB, {}, true, QStringLiteral("any"), 7, 7}.validated();
    };
    EXPECT_EQ(clamped(0, 0, 4), (LinuxConfiguration{1, 1, 16, {}, true, QStringLiteral("any"), 7, 7}));
    EXPECT_EQ(clamped(64, 12, 1000), (LinuxConfiguration{6, 7, 256, {}, true, QStringLiteral("any"), 7, 7}));
}

TEST_F(LinuxModelTest, InstallerIsJudgedByTypeSizeAndNameAndChosenOnlyWhileStopped)
{
    const QString incomplete = QStringLiteral("请选择下载完成的 Linux ISO 文件。");
    const QString x86 =
        QStringLiteral("这台 Mac 需要 ARM64 / aarch64 Linux 镜像，不能使用 x86 / AMD64 ISO。");
    auto verdict = [this](const char *name, qint64 size) {
        const QString path = size < 0 ? dir.filePath(QLatin1String(name))
                                      : makeSparseFile(dir.filePath(QLatin1String(name)), size);
        return failureOf([&] { LinuxISO::validateFile(path); }).value_or(QStringLiteral("accepted"));
    };
    EXPECT_EQ(verdict("ubuntu-24.04-live-server-amd64.iso", 3 * GiB), x86);
    EXPECT_EQ(verdict("Fedora-X86_64.iso", 2 * MiB), x86);
    EXPECT_EQ(verdict("UBUNTU-ARM64.ISO", 2 * MiB), QStringLiteral("accepted"));
    EXPECT_EQ(verdict("exact.iso", MiB), incomplete);
    EXPECT_EQ(verdict("just-over.iso", MiB + 1), QStringLiteral("accepted"));
    EXPECT_EQ(verdict("disk.img", 2 * MiB), incomplete);
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("folder-amd64.iso"))));
    EXPECT_EQ(verdict("folder-amd64.iso", -1), incomplete) << "a folder is no ISO, whatever its name";

    LinuxModel &model = make(false);
    EXPECT_FALSE(model.hasUsableISO());
    FakeInteraction interaction;
    interaction.files.enqueue(dir.filePath(QStringLiteral("ubuntu-24.04-live-server-amd64.iso")));
    interaction.files.enqueue(iso);
    model.chooseISO();
    ASSERT_TRUE(waitUntil([&] { return model.error() == x86; }));
    EXPECT_FALSE(QFileInfo::exists(model.settingsFile()));
    edit([](LinuxConfiguration &c) { c.attachISO = false; });
    model.chooseISO();
    ASSERT_TRUE(waitUntil([&] { return model.configuration().isoPath == iso; }));
    EXPECT_TRUE(model.configuration().attachISO && model.hasUsableISO());
    EXPECT_EQ(LinuxConfiguration::fromJson(readFile(model.settingsFile())), model.configuration());
    EXPECT_EQ(interaction.asked.value(0).title,
              QStringLiteral("选择 ARM64 / aarch64 Linux ISO。安装器必须支持 UEFI 和 Virtio。"));

    startRunning();
    model.chooseISO();
    EXPECT_EQ(interaction.asked.size(), 2) << "no chooser while running";
    edit([](LinuxConfiguration &c) { c.cores = 1; });
    model.save();
    EXPECT_EQ(LinuxConfiguration::fromJson(readFile(model.settingsFile()))->cores, 4)
        << "not saved while running";

    // start() refuses an empty path first, but the machine must never be handed one either.
    edit([](LinuxConfiguration &c) { c.isoPath.clear(); });
    EXPECT_EQ(failureOf<VMFailure>([&] { model.paths().makeVMConfiguration(model.configuration(), engine); }),
              QStringLiteral("请先选择 ARM64 Linux ISO，或取消挂载安装镜像。"));
}

// The flow itself is FolderSnapshots' (tests/services); here only what Linux supplies to it.
TEST_F(LinuxModelTest, SnapshotsNeedAStoppedMachineAndKeepTheLinuxSettings)
{
    LinuxModel &model = make();
    ASSERT_TRUE(await(model.createSnapshot()).done);
    EXPECT_TRUE(model.snapshots().isEmpty()) << "nothing to copy before the first start";
    startRunning();
    ASSERT_TRUE(await(model.createSnapshot()).done);
    EXPECT_TRUE(model.snapshots().isEmpty()) << "no snapshot of a running machine";
    model.finish(QStringLiteral("Linux 已关闭"));

    ASSERT_TRUE(writeFile(paths.disk(), "before"));
    ASSERT_TRUE(await(model.createSnapshot()).done);
    ASSERT_TRUE(model.error().isEmpty()) << model.error().toStdString();
    const SnapshotRecord record = model.latestSnapshot().value_or(SnapshotRecord{});
    EXPECT_EQ(QStringList({record.platform, record.deviceID, record.displayName}),
              QStringList({QStringLiteral("Linux"), QStringLiteral("linux"), QStringLiteral("Linux")}));
    const QString rolledBack =
        QStringLiteral("Linux 已回滚到 ") + SnapshotText::shortDateTime(record.createdAt);

    edit([](LinuxConfiguration &c) { c.cores = 2; });
    model.save();
    ASSERT_TRUE(writeFile(paths.disk(), "after"));
    QFile::remove(paths.machineIdentifier());
    LinuxModel &reopened = make(false);
    EXPECT_FALSE(reopened.prepared());
    ASSERT_EQ(reopened.latestSnapshot(), record);
    ASSERT_TRUE(await(reopened.rollbackLatestSnapshot()).done);
    ASSERT_TRUE(reopened.error().isEmpty()) << reopened.error().toStdString();
    EXPECT_EQ(reopened.status(), rolledBack);
    EXPECT_TRUE(reopened.prepared() && !reopened.snapshotBusy());
    EXPECT_EQ(readFile(paths.disk()), "before");
    EXPECT_EQ(reopened.configuration().cores, 4);
    EXPECT_EQ(LinuxConfiguration::fromJson(readFile(reopened.settingsFile())), reopened.configuration());

    // Stored settings Linux cannot parse: the disk goes back, the current settings stay.
    ASSERT_TRUE(writeFile(base + QStringLiteral("/snapshots/linux/") + record.id +
                              QStringLiteral("/configuration.json"),
                          "{\"cores\": \"many\"}"));
    edit([](LinuxConfiguration &c) { c.cores = 3; });
    reopened.save();
    const LinuxConfiguration current = reopened.configuration();
    ASSERT_TRUE(await(reopened.rollbackLatestSnapshot()).done);
    EXPECT_EQ(reopened.error(), QStringLiteral("快照中的 Linux 设置无法读取，已保留当前设置。"));
    EXPECT_EQ(reopened.configuration(), current);
    EXPECT_EQ(LinuxConfiguration::fromJson(readFile(reopened.settingsFile())), current);
    EXPECT_EQ(reopened.status(), rolledBack);
}

} // namespace

// The Linux machine, iOS devices and the Windows ISO check from the command line.
#include "../ios/IOSModelFixture.h"
#include "../windows/WindowsFixture.h"
#include "CorvanectlFixture.h"
#include "TestFiles.h"

#include "Await.h"
#include "ios/IOSModel.h"
#include "linux/LinuxConfiguration.h"
#include "linux/engine/QemuEngine.h"

#include <csignal>

namespace {

/** The Windows tests' disc images, made by genisoimage. */
struct DiscImages : WindowsFixture
{
    using WindowsFixture::image;
};

/** The simulators the iOS model's tests start from, among them "Work Phone", made by someone else. */
struct SimulatorSet : IOSModelFixture
{
    using IOSModelFixture::machine;
    using IOSModelFixture::simulatorsIn;
    using IOSModelFixture::standIns;
};

class GuestCommandsTest : public CorvanectlTest
{
protected:
    static QString linuxLock() { return Host::dataRoot() + QStringLiteral("/linux.lock"); }

    /** `corvanectl linux start --iso ISO` left running; returns once it says the machine runs. */
    QProcess &startLinux(const QString &iso)
    {
        return startInBackground(words(QStringLiteral("linux start --iso")) << iso,
                                 QStringLiteral("Linux 已启动"));
    }

    /** A Windows-like disc image holding `files` and enough filler to pass the size gate. */
    static QString discImage(const QString &name, const QStringList &files)
    {
        const QString tree = Host::dataRoot() + QStringLiteral("/trees/") + name;
        for (const QString &file : files) {
            writeFile(tree + u'/' + file, file.toUtf8());
        }
        writeFile(tree + QStringLiteral("/filler.bin"), QByteArray(1536 * 1024, 'f'));
        const QString iso = Host::dataRoot() + u'/' + name + QStringLiteral(".iso");
        DiscImages::image(tree, iso);
        return iso;
    }
};

TEST_F(GuestCommandsTest, LinuxStartRefusesWhatCannotRunAndAMachineHeldElsewhere)
{
    // Which files are installers is LinuxModelTest's; an x86 one stands for every refused file here.
    const QString x86 = makeSparseFile(Host::dataRoot() + QStringLiteral("/debian-12-amd64.iso"), 2 << 20);
    const QString good = makeSparseFile(Host::dataRoot() + QStringLiteral("/debian-12-arm64.iso"), 2 << 20);
    ASSERT_FALSE(x86.isEmpty() || good.isEmpty());

    const QStringList start = words(QStringLiteral("linux start"));
    expectRefusals({
        // Nothing chosen yet and nothing prepared: the model's own first-start refusal.
        {start, 1, QStringLiteral("请选择下载完成的 Linux ISO 文件。")},
        {start + QStringList{QStringLiteral("--iso"), x86}, 1, QStringLiteral("x86")},
        {words(QStringLiteral("linux start --iso")), 2, QStringLiteral("需要一个值")},
        {words(QStringLiteral("linux stop --iso")) << good, 2, QStringLiteral("--iso")},
        {words(QStringLiteral("linux reboot")), 2, QStringLiteral("未知的 Linux 操作：reboot")},
        {words(QStringLiteral("linux stop")), 0, QStringLiteral("未在运行")},
    });
    EXPECT_FALSE(QFile::exists(Host::dataRoot() + QStringLiteral("/linux-configuration.json")))
        << "a refused ISO is not stored";
    EXPECT_FALSE(QFile::exists(Host::dataRoot() + QStringLiteral("/Linux")));

    // The window runs the machine: nothing is started, stored or stopped from here.
    InstanceLock::Attempt window = InstanceLock::acquire(linuxLock());
    ASSERT_EQ(window.outcome, InstanceLock::Outcome::Locked);
    expectRefusals({{start + QStringList{QStringLiteral("--iso"), good}, 1,
                     QStringLiteral("Linux 设备正在另一个 App 窗口运行。")},
                    {words(QStringLiteral("linux stop")), 1, QStringLiteral("Corvane 窗口")},
                    {words(QStringLiteral("linux kill")), 1, QStringLiteral("Corvane 窗口")}});
    EXPECT_FALSE(QFile::exists(Host::dataRoot() + QStringLiteral("/linux-configuration.json")));
    EXPECT_EQ(listed().value(QStringLiteral("linux")).toObject().value(QStringLiteral("state")).toString(),
              QStringLiteral("running"));
    InstanceLock::release(window.descriptor);
}

TEST_F(GuestCommandsTest, LinuxRunsOnQemuInTheForegroundAndEndsAsAsked)
{
    QemuEngine qemu;
    if (!qemu.installation().isUsable()) {
        GTEST_SKIP() << "QEMU and its AArch64 firmware are not installed here";
    }
    // The firmware alone boots, on one emulated processor: enough for a machine that runs and ends.
    LinuxConfiguration small = LinuxConfiguration::defaults(qemu);
    small.cores = 1;
    small.memoryGB = 1;
    small.diskGB = 1;
    ASSERT_TRUE(writeFile(Host::dataRoot() + QStringLiteral("/linux-configuration.json"), small.toJson()));
    const QString iso = makeSparseFile(Host::dataRoot() + QStringLiteral("/debian-12-arm64.iso"), 2 << 20);

    QProcess &owner = startLinux(iso);
    ASSERT_TRUE(errors.contains(QStringLiteral("Linux 已启动"))) << errors.toStdString();
    EXPECT_FALSE(lockIsFree(linuxLock()));
    const QJsonObject machine = listed().value(QStringLiteral("linux")).toObject();
    EXPECT_EQ(machine.value(QStringLiteral("state")).toString(), QStringLiteral("running"));
    EXPECT_TRUE(machine.value(QStringLiteral("prepared")).toBool());
    expectRefusals({{words(QStringLiteral("linux start")), 1, QStringLiteral("另一个 corvanectl 进程")}});

    run(QStringLiteral("linux kill"));
    ASSERT_TRUE(endsCleanly(owner));
    EXPECT_TRUE(lockIsFree(linuxLock()));
    EXPECT_TRUE(LogProbe::text().contains(QStringLiteral("[Linux] Linux 已强制退出 · 已写入数据保留")));

    // SIGTERM asks the guest to power off; a firmware without an OS does not, and a second signal ends
    // the wait with a forced stop.
    QProcess &again = startLinux(iso);
    ASSERT_TRUE(errors.contains(QStringLiteral("Linux 已启动"))) << errors.toStdString();
    ::kill(pid_t(again.processId()), SIGTERM);
    readErrorsUntil(again, QStringLiteral("已请求 Linux 关机"));
    if (again.state() != QProcess::NotRunning) {
        ::kill(pid_t(again.processId()), SIGTERM);
    }
    ASSERT_TRUE(endsCleanly(again)) << errors.toStdString();
    EXPECT_TRUE(lockIsFree(linuxLock()));
    const QString log = LogProbe::text();
    const qsizetype asked = log.lastIndexOf(QStringLiteral("[Linux] 请求正常关闭"));
    ASSERT_GE(asked, 0) << "the guest was asked before anything else";
    const qsizetype ended = std::max(log.lastIndexOf(QStringLiteral("[Linux] Linux 已强制退出")),
                                     log.lastIndexOf(QStringLiteral("[Linux] Linux 已关闭")));
    EXPECT_GT(ended, asked);
    EXPECT_FALSE(QFile::exists(Host::dataRoot() + QStringLiteral("/corvanectl/linux.owner")));
}

TEST_F(GuestCommandsTest, IOSDevicesCreatedHereBootShutDownAndAreKilled)
{
    const QString fakes = QStringLiteral(CORVANE_FAKES_DIR);
    const QString state = Host::dataRoot() + QStringLiteral("/simulators.json");
    ASSERT_TRUE(writeFile(state, QJsonDocument(SimulatorSet::machine()).toJson()));
    const ScopedEnv stateEnv("FAKE_SIMCTL_STATE", state.toUtf8());
    const ScopedEnv openRecord("FAKE_OPEN_RECORD",
                               (Host::dataRoot() + QStringLiteral("/open.calls")).toUtf8());
    const ScopedEnv xcrun("CORVANE_XCRUN", (fakes + QStringLiteral("/xcrun")).toUtf8());
    const ScopedEnv opener("CORVANE_OPEN", (fakes + QStringLiteral("/open")).toUtf8());

    IOSModel window({}, SimulatorSet::standIns());
    await(window.refresh());
    window.setName(QStringLiteral("测试 手机"));
    await(window.create());
    ASSERT_EQ(window.devices().size(), 1) << window.error().toStdString();
    const QString udid = window.devices().first().udid;
    const auto simulatorState = [&] {
        return SimulatorSet::simulatorsIn(state).value(udid)["state"].toString();
    };

    ctl(words(QStringLiteral("ios boot")) << QStringLiteral("测试 手机"));
    EXPECT_EQ(simulatorState(), QStringLiteral("Booted"));
    EXPECT_TRUE(readFile(Host::dataRoot() + QStringLiteral("/open.calls")).contains(udid.toUtf8()))
        << "shown in the Simulator";
    run(QStringLiteral("ios shutdown ") + udid.toLower());
    EXPECT_EQ(simulatorState(), QStringLiteral("Shutdown"));
    run(QStringLiteral("ios boot ") + udid);
    EXPECT_TRUE(ctl(words(QStringLiteral("ios kill")) << QStringLiteral("测试 手机"))
                    .err.contains(QStringLiteral("已强制关闭")));
    EXPECT_EQ(simulatorState(), QStringLiteral("Shutdown"));

    // Someone else's simulator is not ours to touch; a simctl that fails is reported with its reason.
    const QStringList boot = words(QStringLiteral("ios boot ") + udid);
    expectRefusals({{words(QStringLiteral("ios boot")) << QStringLiteral("Work Phone"), 1,
                     QStringLiteral("找不到 iOS 设备「Work Phone」")}});
    {
        const ScopedEnv failing("FAKE_SIMCTL_FAIL_UDIDS", udid.toUtf8());
        expectRefusals({{boot, 1, QStringLiteral("Unable to boot")}});
    }
    EXPECT_EQ(simulatorState(), QStringLiteral("Shutdown"));
    const ScopedEnv noXcode("CORVANE_XCRUN", QByteArray("/nonexistent/xcrun"));
    expectRefusals({{boot, 1, QStringLiteral("/nonexistent/xcrun")},
                    {words(QStringLiteral("ios reboot ") + udid), 2, QString()}});
}

TEST_F(GuestCommandsTest, WindowsCheckIsoReadsRealImagesWithoutChoosingThem)
{
    if (!QFileInfo(QStringLiteral("/usr/bin/genisoimage")).isExecutable() ||
        !QFileInfo(QStringLiteral("/usr/bin/7zz")).isExecutable()) {
        GTEST_SKIP() << "genisoimage and 7zz make and read the test images";
    }
    const QString arm =
        discImage(QStringLiteral("Win11_Arm64"),
                  words(QStringLiteral("efi/boot/bootaa64.efi setup.exe sources/install.wim")));
    const QString x64 =
        discImage(QStringLiteral("Win11_x64"),
                  words(QStringLiteral("efi/boot/bootx64.efi setup.exe sources/install.wim")));

    const QStringList check = words(QStringLiteral("windows check-iso"));
    EXPECT_TRUE(ctl(check + QStringList{arm}).out.contains(QStringLiteral("已确认 ARM64 启动文件")));
    // Which images fail the check, and why, is WindowsPreparationTest's.
    expectRefusals(
        {{check + QStringList{x64}, 1, QStringLiteral("镜像检查未通过：") + x64}, {check, 2, QString()}});
    // Only asked about: the window's chosen ISO stays as it was.
    EXPECT_FALSE(QFile::exists(Host::dataRoot() + QStringLiteral("/windows-configuration.json")));
}

} // namespace

// The Linux machine, iOS devices and the Windows ISO check from the command line.
#include "CorvanectlFixture.h"
#include "TestFiles.h"

#include "Await.h"
#include "ios/IOSModel.h"
#include "linux/LinuxConfiguration.h"
#include "linux/engine/QemuEngine.h"

#include <csignal>

namespace {

class GuestCommandsTest : public CorvanectlTest
{
protected:
    QString linuxLock() const { return Host::dataRoot() + QStringLiteral("/linux.lock"); }

    bool linuxLockIsFree() const
    {
        InstanceLock::Attempt probe = InstanceLock::acquire(linuxLock());
        const bool free = probe.outcome == InstanceLock::Outcome::Locked;
        InstanceLock::release(probe.descriptor);
        return free;
    }

    /** `corvanectl linux start --iso ISO` left running; returns once it says the machine runs. */
    QProcess &startLinux(const QString &iso)
    {
        errors.clear();
        auto &process = *background.emplace_back(std::make_unique<QProcess>());
        process.start(QStringLiteral(CORVANECTL),
                      {QStringLiteral("linux"), QStringLiteral("start"), QStringLiteral("--iso"), iso});
        readErrorsUntil(process, QStringLiteral("Linux 已启动"));
        return process;
    }

    bool readErrorsUntil(QProcess &process, const QString &text)
    {
        return waitUntil(
            [&] {
                process.waitForReadyRead(50);
                errors += QString::fromUtf8(process.readAllStandardError());
                return errors.contains(text) || process.state() == QProcess::NotRunning;
            },
            60000);
    }

    /** A Windows-like disc image holding `files` and enough filler to pass the size gate. */
    static QString discImage(const QString &name, const QStringList &files)
    {
        const QString tree = Host::dataRoot() + QStringLiteral("/trees/") + name;
        for (const QString &file : files) {
            QDir().mkpath(QFileInfo(tree + u'/' + file).path());
            QFile out(tree + u'/' + file);
            if (!out.open(QIODevice::WriteOnly) || out.write(file.toUtf8()) < 0) {
                return {};
            }
        }
        QFile filler(tree + QStringLiteral("/filler.bin"));
        if (!filler.open(QIODevice::WriteOnly) || filler.write(QByteArray(1536 * 1024, 'f')) < 0) {
            return {};
        }
        filler.close();
        const QString iso = Host::dataRoot() + u'/' + name + QStringLiteral(".iso");
        QProcess make;
        make.setProcessChannelMode(QProcess::MergedChannels);
        make.start(QStringLiteral("/usr/bin/genisoimage"),
                   {QStringLiteral("-quiet"), QStringLiteral("-udf"), QStringLiteral("-V"),
                    QStringLiteral("CCCOMA_A64FRE"), QStringLiteral("-o"), iso, tree});
        return make.waitForFinished(60000) && make.exitCode() == 0 ? iso : QString();
    }
};

TEST_F(GuestCommandsTest, LinuxStartRefusesWhatCannotRunAndAMachineHeldElsewhere)
{
    const QString text = Host::dataRoot() + QStringLiteral("/notes.txt");
    ASSERT_FALSE(makeSparseFile(text, 2 << 20).isEmpty());
    const QString small = makeSparseFile(Host::dataRoot() + QStringLiteral("/small.iso"), 4096);
    const QString x86 = makeSparseFile(Host::dataRoot() + QStringLiteral("/debian-12-amd64.iso"), 2 << 20);
    const QString good = makeSparseFile(Host::dataRoot() + QStringLiteral("/debian-12-arm64.iso"), 2 << 20);
    ASSERT_FALSE(small.isEmpty() || x86.isEmpty() || good.isEmpty());

    struct Case
    {
        QStringList arguments;
        int status;
        QString message;
    };
    const QString notAnIso = QStringLiteral("请选择下载完成的 Linux ISO 文件。");
    const QList<Case> cases{
        // Nothing chosen yet and nothing prepared: the model's own first-start refusal.
        {{QStringLiteral("linux"), QStringLiteral("start")}, 1, notAnIso},
        {{QStringLiteral("linux"), QStringLiteral("start"), QStringLiteral("--iso"), text}, 1, notAnIso},
        {{QStringLiteral("linux"), QStringLiteral("start"), QStringLiteral("--iso"), small}, 1, notAnIso},
        {{QStringLiteral("linux"), QStringLiteral("start"), QStringLiteral("--iso"), x86},
         1,
         QStringLiteral("x86")},
        {{QStringLiteral("linux"), QStringLiteral("start"), QStringLiteral("--iso")},
         2,
         QStringLiteral("需要一个值")},
        {{QStringLiteral("linux"), QStringLiteral("stop"), QStringLiteral("--iso"), good},
         2,
         QStringLiteral("--iso")},
        {{QStringLiteral("linux"), QStringLiteral("reboot")}, 2, QStringLiteral("未知的 Linux 操作：reboot")},
        {{QStringLiteral("linux"), QStringLiteral("stop")}, 0, QStringLiteral("未在运行")},
    };
    for (const Case &each : cases) {
        const CtlResult result = ctl(each.arguments);
        EXPECT_EQ(result.status, each.status) << each.arguments.join(u' ').toStdString();
        EXPECT_TRUE(result.err.contains(each.message))
            << each.arguments.join(u' ').toStdString() << ": " << result.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(Host::dataRoot() + QStringLiteral("/linux-configuration.json")))
        << "a refused ISO is not stored";
    EXPECT_FALSE(QFile::exists(Host::dataRoot() + QStringLiteral("/Linux")));

    // The window runs the machine: nothing is started, stored or stopped from here.
    InstanceLock::Attempt window = InstanceLock::acquire(linuxLock());
    ASSERT_EQ(window.outcome, InstanceLock::Outcome::Locked);
    const CtlResult start =
        ctl({QStringLiteral("linux"), QStringLiteral("start"), QStringLiteral("--iso"), good});
    EXPECT_EQ(start.status, 1);
    EXPECT_TRUE(start.err.contains(QStringLiteral("Linux 设备正在另一个 App 窗口运行。")))
        << start.err.toStdString();
    EXPECT_FALSE(QFile::exists(Host::dataRoot() + QStringLiteral("/linux-configuration.json")));
    for (const QString &action : {QStringLiteral("stop"), QStringLiteral("kill")}) {
        const CtlResult stop = ctl({QStringLiteral("linux"), action});
        EXPECT_EQ(stop.status, 1);
        EXPECT_TRUE(stop.err.contains(QStringLiteral("Corvane 窗口"))) << stop.err.toStdString();
    }
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
    QDir().mkpath(Host::dataRoot());
    QFile settings(Host::dataRoot() + QStringLiteral("/linux-configuration.json"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly) && settings.write(small.toJson()) > 0);
    settings.close();
    const QString iso = makeSparseFile(Host::dataRoot() + QStringLiteral("/debian-12-arm64.iso"), 2 << 20);

    QProcess &owner = startLinux(iso);
    ASSERT_TRUE(errors.contains(QStringLiteral("Linux 已启动"))) << errors.toStdString();
    EXPECT_FALSE(linuxLockIsFree());
    const QJsonObject machine = listed().value(QStringLiteral("linux")).toObject();
    EXPECT_EQ(machine.value(QStringLiteral("state")).toString(), QStringLiteral("running"));
    EXPECT_TRUE(machine.value(QStringLiteral("prepared")).toBool());
    const CtlResult second = ctl({QStringLiteral("linux"), QStringLiteral("start")});
    EXPECT_EQ(second.status, 1);
    EXPECT_TRUE(second.err.contains(QStringLiteral("另一个 corvanectl 进程"))) << second.err.toStdString();

    const CtlResult killed = ctl({QStringLiteral("linux"), QStringLiteral("kill")});
    EXPECT_EQ(killed.status, 0) << killed.err.toStdString();
    ASSERT_TRUE(owner.waitForFinished(30000));
    EXPECT_EQ(owner.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(owner.exitCode(), 0);
    EXPECT_TRUE(linuxLockIsFree());
    EXPECT_TRUE(globalLog().contains(QStringLiteral("[Linux] Linux 已强制退出 · 已写入数据保留")));

    // SIGTERM asks the guest to power off; a firmware without an OS does not, and a second signal ends
    // the wait with a forced stop.
    QProcess &again = startLinux(iso);
    ASSERT_TRUE(errors.contains(QStringLiteral("Linux 已启动"))) << errors.toStdString();
    ::kill(pid_t(again.processId()), SIGTERM);
    readErrorsUntil(again, QStringLiteral("已请求 Linux 关机"));
    if (again.state() != QProcess::NotRunning) {
        ::kill(pid_t(again.processId()), SIGTERM);
    }
    ASSERT_TRUE(again.waitForFinished(30000));
    EXPECT_EQ(again.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(again.exitCode(), 0) << errors.toStdString();
    EXPECT_TRUE(linuxLockIsFree());
    const QString log = globalLog();
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
    const QString ios18 = QStringLiteral("com.apple.CoreSimulator.SimRuntime.iOS-18-2");
    const QJsonObject machine{
        {"runtimes",
         QJsonArray{QJsonObject{{"identifier", ios18}, {"name", "iOS 18.2"}, {"isAvailable", true}}}},
        {"devicetypes",
         QJsonArray{QJsonObject{{"identifier", "com.apple.CoreSimulator.SimDeviceType.iPhone-15"},
                                {"name", "iPhone 15"}}}},
        {"devices",
         QJsonObject{{ios18, QJsonArray{QJsonObject{{"udid", "0E5A1D3C-0000-4000-8000-000000000001"},
                                                    {"name", "Work Phone"},
                                                    {"state", "Shutdown"},
                                                    {"isAvailable", true}}}}}},
        {"pairs", QJsonObject{}}};
    QFile file(state);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(machine).toJson()) > 0);
    file.close();
    qputenv("FAKE_SIMCTL_STATE", state.toUtf8());
    qputenv("FAKE_OPEN_RECORD", (Host::dataRoot() + QStringLiteral("/open.calls")).toUtf8());
    qputenv("CORVANE_XCRUN", (fakes + QStringLiteral("/xcrun")).toUtf8());
    qputenv("CORVANE_OPEN", (fakes + QStringLiteral("/open")).toUtf8());
    const auto restore = qScopeGuard([] {
        for (const char *name : {"FAKE_SIMCTL_STATE", "FAKE_OPEN_RECORD", "CORVANE_XCRUN", "CORVANE_OPEN"}) {
            qunsetenv(name);
        }
    });

    IOSModel window;
    window.xcrun = fakes + QStringLiteral("/xcrun");
    await(window.refresh());
    window.setName(QStringLiteral("测试 手机"));
    await(window.create());
    ASSERT_EQ(window.devices().size(), 1) << window.error().toStdString();
    const QString udid = window.devices().first().udid;
    const auto simulatorState = [&] {
        QFile read(state);
        read.open(QIODevice::ReadOnly);
        const QJsonObject groups = QJsonDocument::fromJson(read.readAll()).object()["devices"].toObject();
        for (const QJsonValue &device : groups[ios18].toArray()) {
            if (device["udid"].toString() == udid) {
                return device["state"].toString();
            }
        }
        return QString();
    };

    const CtlResult booted =
        ctl({QStringLiteral("ios"), QStringLiteral("boot"), QStringLiteral("测试 手机")});
    EXPECT_EQ(booted.status, 0) << booted.err.toStdString();
    EXPECT_EQ(simulatorState(), QStringLiteral("Booted"));
    QFile opened(Host::dataRoot() + QStringLiteral("/open.calls"));
    ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(opened.readAll()).contains(udid)) << "shown in the Simulator";
    EXPECT_EQ(ctl({QStringLiteral("ios"), QStringLiteral("shutdown"), udid.toLower()}).status, 0);
    EXPECT_EQ(simulatorState(), QStringLiteral("Shutdown"));
    ASSERT_EQ(ctl({QStringLiteral("ios"), QStringLiteral("boot"), udid}).status, 0);
    const CtlResult killed =
        ctl({QStringLiteral("ios"), QStringLiteral("kill"), QStringLiteral("测试 手机")});
    EXPECT_EQ(killed.status, 0) << killed.err.toStdString();
    EXPECT_TRUE(killed.err.contains(QStringLiteral("已强制关闭")));
    EXPECT_EQ(simulatorState(), QStringLiteral("Shutdown"));

    // Someone else's simulator is not ours to touch; a simctl that fails is reported with its reason.
    const CtlResult foreign =
        ctl({QStringLiteral("ios"), QStringLiteral("boot"), QStringLiteral("Work Phone")});
    EXPECT_EQ(foreign.status, 1);
    EXPECT_TRUE(foreign.err.contains(QStringLiteral("找不到 iOS 设备「Work Phone」")));
    qputenv("FAKE_SIMCTL_FAIL_UDIDS", udid.toUtf8());
    const CtlResult failed = ctl({QStringLiteral("ios"), QStringLiteral("boot"), udid});
    qunsetenv("FAKE_SIMCTL_FAIL_UDIDS");
    EXPECT_EQ(failed.status, 1);
    EXPECT_TRUE(failed.err.contains(QStringLiteral("Unable to boot"))) << failed.err.toStdString();
    EXPECT_EQ(simulatorState(), QStringLiteral("Shutdown"));
    qputenv("CORVANE_XCRUN", "/nonexistent/xcrun");
    const CtlResult noXcode = ctl({QStringLiteral("ios"), QStringLiteral("boot"), udid});
    EXPECT_EQ(noXcode.status, 1);
    EXPECT_TRUE(noXcode.err.contains(QStringLiteral("/nonexistent/xcrun"))) << noXcode.err.toStdString();
    EXPECT_EQ(ctl({QStringLiteral("ios"), QStringLiteral("reboot"), udid}).status, 2);
}

TEST_F(GuestCommandsTest, WindowsCheckIsoReadsRealImagesWithoutChoosingThem)
{
    if (!QFileInfo(QStringLiteral("/usr/bin/genisoimage")).isExecutable() ||
        !QFileInfo(QStringLiteral("/usr/bin/7zz")).isExecutable()) {
        GTEST_SKIP() << "genisoimage and 7zz make and read the test images";
    }
    const QString arm = discImage(QStringLiteral("Win11_Arm64"),
                                  {QStringLiteral("efi/boot/bootaa64.efi"), QStringLiteral("setup.exe"),
                                   QStringLiteral("sources/install.wim")});
    const QString x64 = discImage(QStringLiteral("Win11_x64"),
                                  {QStringLiteral("efi/boot/bootx64.efi"), QStringLiteral("setup.exe"),
                                   QStringLiteral("sources/install.wim")});
    ASSERT_FALSE(arm.isEmpty() || x64.isEmpty());

    const CtlResult good = ctl({QStringLiteral("windows"), QStringLiteral("check-iso"), arm});
    EXPECT_EQ(good.status, 0) << good.err.toStdString();
    EXPECT_TRUE(good.out.contains(QStringLiteral("已确认 ARM64 启动文件")));
    const CtlResult wrong = ctl({QStringLiteral("windows"), QStringLiteral("check-iso"), x64});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_TRUE(wrong.err.contains(QStringLiteral("镜像检查未通过"))) << wrong.err.toStdString();
    EXPECT_TRUE(wrong.err.contains(x64));
    const QString text = makeSparseFile(Host::dataRoot() + QStringLiteral("/notes.iso"), 2 << 20);
    const CtlResult notImage = ctl({QStringLiteral("windows"), QStringLiteral("check-iso"), text});
    EXPECT_EQ(notImage.status, 1) << notImage.out.toStdString();
    EXPECT_EQ(ctl({QStringLiteral("windows"), QStringLiteral("check-iso")}).status, 2);
    // Only asked about: the window's chosen ISO stays as it was.
    EXPECT_FALSE(QFile::exists(Host::dataRoot() + QStringLiteral("/windows-configuration.json")));
}

} // namespace

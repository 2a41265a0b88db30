// The QEMU engine without QEMU: the command line it builds, its helpers, and its supervision of a
// child, shown with shell scripts standing in for QEMU. Real QEMU runs in tests/linux/slow.
#include "Await.h"
#include "ChildDeath.h"
#include "QmpPeer.h"
#include "TestFiles.h"
#include "Wait.h"

#include "linux/engine/QemuEngine.h"
#include "linux/engine/QemuMachine.h"
#include "linux/engine/detail/QemuCommandLine.h"
#include "platform/ChildLifetime.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QUuid>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace {

constexpr qint64 gibibyte = qint64(1) << 30;

const QemuInstallation emulating{QStringLiteral("/usr/bin/qemu-system-aarch64"),
                                 QStringLiteral("/fw/CODE.fd"), QStringLiteral("/fw/VARS.fd"),
                                 QStringLiteral("tcg")};

} // namespace

// One whole command line, with commas in every path QEMU would otherwise split at.
TEST(QemuCommandLine, DescribesEachConfiguredDeviceOnceOnPrivateSockets)
{
    MachineConfiguration configuration = describedMachine(QStringLiteral("/data/a,b/Linux"));
    const detail::QemuSockets odd{QStringLiteral("/run/a,b/monitor.sock"),
                                  QStringLiteral("/run/a,b/display.sock")};
    // clang-format off
    const QStringList withoutInstaller{
        "-name", "Linux", "-nodefaults", "-no-user-config",
        "-machine", "virt,gic-version=max,pflash0=firmware,pflash1=variables",
        "-accel", "tcg", "-cpu", "max,pauth-impdef=on", "-smp", "3", "-m", "3072M",
        "-uuid", "1b4e28ba-2fa1-11d2-883f-0016d3cca427",
        "-blockdev", "node-name=firmware,driver=raw,read-only=on,file.driver=file,file.filename=/fw/CODE.fd",
        "-blockdev", "node-name=variables,driver=raw,read-only=off,file.driver=file,"
                     "file.filename=/data/a,,b/Linux/EFIStore,discard=unmap",
        "-blockdev", "node-name=disk,driver=raw,read-only=off,file.driver=file,"
                     "file.filename=/data/a,,b/Linux/Disk.img,discard=unmap",
        "-device", "virtio-blk-pci,id=disk0,drive=disk,bootindex=0",
        "-device", "qemu-xhci,id=usb",
        "-device", "usb-kbd,id=keyboard,bus=usb.0",
        "-device", "usb-tablet,id=tablet,bus=usb.0",
        "-device", "virtio-gpu-pci,id=gpu,max_outputs=1,xres=1440,yres=900",
        "-netdev", "user,id=net",
        "-device", "virtio-net-pci,id=nic,netdev=net,mac=a2:4f:01:9c:de:03,romfile=",
        "-device", "virtio-rng-pci,id=rng",
        "-device", "virtio-balloon-pci,id=balloon",
        "-display", "none",
        "-vnc", "unix:/run/a,,b/display.sock",
        "-chardev", "socket,id=monitor,path=/run/a,,b/monitor.sock",
        "-mon", "chardev=monitor,mode=control",
        "-S"};
    // clang-format on
    EXPECT_EQ(detail::qemuArguments(emulating, configuration, odd), withoutInstaller);

    // The installer: a read-only USB disk, tried after the system disk so an installed system boots.
    configuration.installerImage = QStringLiteral("/home/me/x,86.iso");
    const qsizetype afterUsb = withoutInstaller.indexOf("qemu-xhci,id=usb") + 1;
    const QStringList withInstaller =
        withoutInstaller.first(afterUsb) +
        QStringList{
            "-blockdev",
            "node-name=installer,driver=raw,read-only=on,file.driver=file,file.filename=/home/me/x,,86.iso",
            "-device", "usb-storage,id=installer0,bus=usb.0,drive=installer,removable=on,bootindex=1"} +
        withoutInstaller.sliced(afterUsb);
    EXPECT_EQ(detail::qemuArguments(emulating, configuration, odd), withInstaller);
}

TEST(QemuHelpers, MacAddressesAndMachineIdentifiersAreDrawnAndCheckedAsQemuNeedsThem)
{
    const QemuEngine engine{QemuInstallation{}};
    static const QRegularExpression form(QStringLiteral("^[0-9a-f]{2}(:[0-9a-f]{2}){5}$"));
    QSet<QString> seen;
    for (int draw = 0; draw < 200; ++draw) {
        const QString address = engine.randomLocallyAdministeredMACAddress();
        ASSERT_TRUE(form.match(address).hasMatch()) << address.toStdString();
        // Locally administered, unicast.
        EXPECT_EQ(address.left(2).toUInt(nullptr, 16) & 0x03, 0x02u) << address.toStdString();
        EXPECT_TRUE(engine.isValidMACAddress(address));
        seen.insert(address);
    }
    EXPECT_EQ(seen.size(), 200);
    for (const char *valid : {"A2:4F:01:9C:DE:03", "52:54:00:12:34:56"}) {
        EXPECT_TRUE(engine.isValidMACAddress(QString::fromLatin1(valid))) << valid;
    }
    for (const char *invalid :
         {"", "a2-4f-01-9c-de-03", "a2:4f:01:9c:de", "a2:4f:01:9c:de:03:04", "a2:4f:1:9c:de:03",
          "g2:4f:01:9c:de:03", " a2:4f:01:9c:de:03", "a2:4f:01:9c:de:03\n", "01:00:5e:00:00:01",
          "ff:ff:ff:ff:ff:ff", "00:00:00:00:00:00"}) {
        EXPECT_FALSE(engine.isValidMACAddress(QString::fromLatin1(invalid))) << invalid;
    }

    const QByteArray first = engine.createMachineIdentifier();
    const QByteArray second = engine.createMachineIdentifier();
    EXPECT_NE(first, second);
    for (const QByteArray &identifier : {first, second}) {
        EXPECT_TRUE(engine.isValidMachineIdentifier(identifier)) << identifier.toStdString();
        EXPECT_EQ(QUuid::fromString(QLatin1StringView(identifier)).toString(QUuid::WithoutBraces).toLatin1(),
                  identifier);
    }
    EXPECT_TRUE(engine.isValidMachineIdentifier(QByteArrayLiteral("1B4E28BA-2FA1-11D2-883F-0016D3CCA427")));
    for (const QByteArray &invalid :
         {QByteArray(), QByteArrayLiteral("{1b4e28ba-2fa1-11d2-883f-0016d3cca427}"),
          QByteArrayLiteral("1b4e28ba-2fa1-11d2-883f-0016d3cca42"),
          QByteArrayLiteral("1b4e28ba2fa111d2883f0016d3cca427"),
          QByteArrayLiteral("1b4e28ba-2fa1-11d2-883f-0016d3cca427\n"),
          QByteArrayLiteral("00000000-0000-0000-0000-000000000000"),
          QUuid::fromString(QLatin1StringView(first)).toRfc4122()}) {
        EXPECT_FALSE(engine.isValidMachineIdentifier(invalid)) << invalid.toHex().toStdString();
    }
}

class QemuEngineFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        installation = scriptedQemu(folder.path(), "#!/bin/sh\nexit 0\n");
    }

    // A machine whose every file exists as it should.
    MachineConfiguration validMachine()
    {
        MachineConfiguration configuration = describedMachine(folder.path());
        if (!QFileInfo::exists(configuration.disk)) {
            makeSparseFile(configuration.disk, gibibyte);
            makeSparseFile(configuration.efiVariableStore, QemuInstallation::flashSize);
            makeSparseFile(folder.filePath(QStringLiteral("installer.iso")), 4 << 20);
        }
        configuration.installerImage = folder.filePath(QStringLiteral("installer.iso"));
        return configuration;
    }

    QTemporaryDir folder;
    QemuInstallation installation;
};

TEST_F(QemuEngineFiles, VariableStoreIsASparseCopyThatNeverReplacesAFile)
{
    // A template with content at its start and in its middle, zeros elsewhere.
    {
        QFile variables(installation.firmwareVariables);
        ASSERT_TRUE(variables.open(QIODevice::ReadWrite));
        variables.write(QByteArray(5000, 'v'));
        variables.seek(QemuInstallation::flashSize / 2 + 1);
        variables.write("middle");
    }
    const QemuEngine engine(installation);
    const QString store = folder.filePath(QStringLiteral("EFIStore"));
    engine.createEFIVariableStore(store);

    EXPECT_EQ(QFileInfo(store).size(), QemuInstallation::flashSize);
    EXPECT_EQ(readFile(store), readFile(installation.firmwareVariables));
    EXPECT_LT(allocatedBytes(store), 4 << 20) << "the zeros take no space";

    // The template learnt ahead, then replaced as a package upgrade does (a new file renamed over it):
    // the next store is a copy of the new one, not of what was learnt.
    engine.prepareFirstStart();
    {
        QFile upgraded(installation.firmwareVariables + QStringLiteral(".new"));
        ASSERT_TRUE(upgraded.open(QIODevice::WriteOnly));
        ASSERT_TRUE(upgraded.resize(QemuInstallation::flashSize));
        upgraded.seek(QemuInstallation::flashSize - 7000);
        upgraded.write(QByteArray(7000, 'u'));
    }
    QThreadPool::globalInstance()->waitForDone();
    ASSERT_TRUE(QFile::remove(installation.firmwareVariables));
    ASSERT_TRUE(QFile::rename(installation.firmwareVariables + QStringLiteral(".new"),
                              installation.firmwareVariables));
    for (const QString &name : {QStringLiteral("UpgradedStore"), QStringLiteral("LaterStore")}) {
        engine.createEFIVariableStore(folder.filePath(name));
        EXPECT_EQ(readFile(folder.filePath(name)), readFile(installation.firmwareVariables))
            << name.toStdString();
        EXPECT_LT(allocatedBytes(folder.filePath(name)), 4 << 20);
    }

    // A second store at the same place is refused and the first stays as it was.
    ASSERT_TRUE(writeFile(store, "guest data"));
    EXPECT_THROW(engine.createEFIVariableStore(store), Error);
    EXPECT_EQ(readFile(store), "guest data");

    // Without a template nothing is created.
    QemuInstallation missing = installation;
    missing.firmwareVariables = folder.filePath(QStringLiteral("absent.fd"));
    const QString other = folder.filePath(QStringLiteral("OtherStore"));
    EXPECT_THROW(QemuEngine(missing).createEFIVariableStore(other), Error);
    EXPECT_FALSE(QFileInfo::exists(other));
}

TEST_F(QemuEngineFiles, EachRefusalNamesTheProgramFirmwareOrMachineFileQemuCouldNotUse)
{
    const auto refusal = [](const std::function<void()> &attempt) {
        return failureOf(attempt).value_or(QStringLiteral("accepted"));
    };
    EXPECT_EQ(refusal([&] { QemuEngine(installation).requireInstallation(); }), QStringLiteral("accepted"));

    QemuInstallation noProgram = installation;
    noProgram.program = folder.filePath(QStringLiteral("absent"));
    QemuInstallation notExecutable = installation;
    notExecutable.program = installation.firmwareCode;
    QemuInstallation unpadded = installation;
    unpadded.firmwareCode = folder.filePath(QStringLiteral("QEMU_EFI.fd"));
    makeSparseFile(unpadded.firmwareCode, 2 << 20);
    const QString program = QStringLiteral("找不到可用的 QEMU（qemu-system-aarch64）：");
    const std::pair<QemuInstallation, QString> cases[] = {
        {noProgram, program + noProgram.program + QStringLiteral("。")},
        {notExecutable, program + notExecutable.program + QStringLiteral("。")},
        {unpadded,
         QStringLiteral("找不到可用的 AArch64 UEFI 固件：") + unpadded.firmwareCode + QStringLiteral("。")},
    };
    for (const auto &[broken, message] : cases) {
        QemuEngine engine(broken);
        EXPECT_TRUE(engine.isSupported()) << "emulation needs no accelerator";
        EXPECT_EQ(refusal([&] { engine.requireInstallation(); }), message);
        EXPECT_EQ(refusal([&] { engine.createMachine(validMachine()); }), message);
    }
#ifdef Q_OS_LINUX
    // Where nothing was found, the system's own place and package are named.
    QemuInstallation noTemplate = installation;
    noTemplate.firmwareVariables.clear();
    EXPECT_EQ(refusal([&] { QemuEngine(noTemplate).requireInstallation(); }),
              QStringLiteral("找不到可用的 AArch64 UEFI 固件的变量存储模板：/usr/share/AAVMF/AAVMF_VARS.fd。"
                             "请安装 Debian 软件包 qemu-efi-aarch64 后重试。"));
#endif

    // The machine's own files and settings, each refused with what is wrong with it.
    QemuEngine engine(installation);
    EXPECT_NO_THROW(engine.validate(validMachine()));
    EXPECT_NE(engine.createMachine(validMachine()), nullptr);

    const QString shortStore = folder.filePath(QStringLiteral("short.fd"));
    makeSparseFile(shortStore, 1 << 20);
    const QString oddDisk = folder.filePath(QStringLiteral("odd.img"));
    makeSparseFile(oddDisk, 1000);
    const QString emptyInstaller = folder.filePath(QStringLiteral("empty.iso"));
    makeSparseFile(emptyInstaller, 0);

    using Change = std::function<void(MachineConfiguration &)>;
    const QList<std::pair<Change, QString>> machineCases{
        {[](MachineConfiguration &c) { c.cpuCount = 0; }, QStringLiteral("处理器数量")},
        {[](MachineConfiguration &c) { c.memoryBytes = 64 << 20; }, QStringLiteral("内存大小")},
        {[](MachineConfiguration &c) { c.memoryBytes = gibibyte + 1; }, QStringLiteral("内存大小")},
        {[](MachineConfiguration &c) { c.machineIdentifier = "not a uuid"; },
         QStringLiteral("Linux 设备标识损坏")},
        {[](MachineConfiguration &c) { c.macAddress = QStringLiteral("01:00:5e:00:00:01"); },
         QStringLiteral("网卡地址")},
        {[](MachineConfiguration &c) { c.displayHeight = 0; }, QStringLiteral("分辨率")},
        {[this](MachineConfiguration &c) { c.efiVariableStore = folder.filePath(QStringLiteral("none")); },
         QStringLiteral("找不到 EFI 变量存储")},
        {[shortStore](MachineConfiguration &c) { c.efiVariableStore = shortStore; },
         QStringLiteral("EFI 变量存储大小")},
        {[this](MachineConfiguration &c) { c.disk = folder.path(); }, QStringLiteral("找不到虚拟磁盘")},
        {[oddDisk](MachineConfiguration &c) { c.disk = oddDisk; }, QStringLiteral("虚拟磁盘大小")},
        {[this](MachineConfiguration &c) { c.installerImage = folder.filePath(QStringLiteral("none.iso")); },
         QStringLiteral("找不到安装镜像")},
        {[emptyInstaller](MachineConfiguration &c) { c.installerImage = emptyInstaller; },
         QStringLiteral("空文件")},
    };
    for (const auto &[change, message] : machineCases) {
        MachineConfiguration configuration = validMachine();
        change(configuration);
        const QString said = refusal([&] { engine.createMachine(configuration); });
        EXPECT_TRUE(said.contains(message)) << said.toStdString();
    }
}

// The machine's supervision, with a shell script in QEMU's place.
class QemuSupervision : public QemuEngineFiles
{
protected:
    std::unique_ptr<QemuMachine> machineWith(const QByteArray &script, OrphanGuard guard = defaultOrphanGuard)
    {
        writeExecutable(installation.program, script);
        return std::make_unique<QemuMachine>(installation, validMachine(), guard);
    }

    static QString runtimeFolderOf(const QemuMachine &machine)
    {
        const QStringList arguments = machine.arguments();
        const QString display = arguments.value(arguments.indexOf(QStringLiteral("-vnc")) + 1).mid(5);
        return QFileInfo(display).path();
    }
};

TEST_F(QemuSupervision, StartThatEndsEarlyFailsInQemusOwnWords)
{
    auto machine = machineWith(
        "#!/bin/sh\n"
        "echo \"qemu-system-aarch64: -blockdev node-name=disk: Could not open '/x': Permission denied\" >&2\n"
        "exit 1\n");
    const Outcome<void> started = await(machine->start());
    ASSERT_TRUE(started.error.has_value());
    EXPECT_TRUE(started.error->contains(QStringLiteral("退出码 1"))) << started.error->toStdString();
    EXPECT_TRUE(started.error->contains(QStringLiteral("Could not open '/x': Permission denied")));

    EXPECT_FALSE(machine->canStop());
    EXPECT_FALSE(machine->canRequestStop());
    EXPECT_TRUE(machine->displayEndpoint().isEmpty());
    EXPECT_EQ(machine->processId(), 0);
    EXPECT_FALSE(QFileInfo::exists(runtimeFolderOf(*machine))) << "the private sockets' folder is removed";
    EXPECT_TRUE(await(machine->requestStop()).error.has_value());
    EXPECT_TRUE(await(machine->stop()).error.has_value());

    // The machine can be started again after a failed start; a program that cannot run fails it too.
    writeExecutable(installation.program, "#!/nonexistent/interpreter\n");
    const Outcome<void> again = await(machine->start());
    ASSERT_TRUE(again.error.has_value());
    EXPECT_TRUE(again.error->contains(QStringLiteral("无法运行 QEMU"))) << again.error->toStdString();
    EXPECT_FALSE(QFileInfo::exists(runtimeFolderOf(*machine)));
}

TEST_F(QemuSupervision, AShutdownRequestQemuRefusesFailsWithQemusReason)
{
    // QEMU's process is a script that waits; its side of the monitor is the test's.
    auto machine = machineWith("#!/bin/sh\nexec /bin/sleep 300\n");
    QCoro::Task<> starting = machine->start();
    QmpPeer peer(machine->arguments());
    ASSERT_TRUE(peer.connected());
    ASSERT_TRUE(await(std::move(starting)).done);

    peer.refused = QStringLiteral("system_powerdown");
    const Outcome<void> refused = await(machine->requestStop());
    ASSERT_TRUE(refused.error.has_value());
    EXPECT_TRUE(refused.error->contains(peer.refusal) && refused.error->contains(peer.refused))
        << refused.error->toStdString();
    peer.refused.clear();
    EXPECT_TRUE(await(machine->requestStop()).done);
    EXPECT_EQ(peer.received.count(QStringLiteral("system_powerdown")), 2);
}

TEST_F(QemuSupervision, DestroyingAMachineEndsQemuAndTheStartAwaitingIt)
{
    const QByteArray pidFile = QFile::encodeName(folder.filePath(QStringLiteral("child.pid")));
    auto machine = machineWith("#!/bin/sh\necho $$ > '" + pidFile + "'\nexec sleep 300\n");
    QCoro::Task<> start = machine->start();
    ASSERT_TRUE(waitUntil([&] { return ChildDeath::readPid(QFile::decodeName(pidFile)) > 0; }));
    const QString runtime = runtimeFolderOf(*machine);
    const pid_t child = ChildDeath::readPid(QFile::decodeName(pidFile));

    machine.reset();
    const Outcome<void> started = await(std::move(start));
    ASSERT_TRUE(started.error.has_value()) << "a start whose machine is gone must not report success";
    EXPECT_TRUE(ChildDeath::ends(child)) << "QEMU outlived its machine";
    EXPECT_FALSE(QFileInfo::exists(runtime));
}

#ifdef Q_OS_LINUX
TEST_F(QemuSupervision, ChildInheritsNoDescriptorBeyondItsStandardChannels)
{
    // Like a lock file opened without close-on-exec: QEMU must not keep such a lock alive.
    const QString lockPath = folder.filePath(QStringLiteral("linux.lock"));
    const int lock = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(lock, 3);
    const QByteArray script = "#!/bin/sh\n"
                              "for fd in 1 2 " +
                              QByteArray::number(lock) +
                              "; do [ -e /proc/$$/fd/$fd ] && echo \"fd $fd open\" >&2; done\n"
                              "exit 1\n";
    for (const OrphanGuard guard : {OrphanGuard::ParentDeathSignal, OrphanGuard::Watchdog}) {
        auto machine = machineWith(script, guard);
        const Outcome<void> started = await(machine->start());
        ASSERT_TRUE(started.error.has_value());
        EXPECT_TRUE(started.error->contains(QStringLiteral("fd 1 open"))) << started.error->toStdString();
        EXPECT_TRUE(started.error->contains(QStringLiteral("fd 2 open")));
        EXPECT_FALSE(started.error->contains(QStringLiteral("fd %1 open").arg(lock)))
            << started.error->toStdString();
    }
    ::close(lock);
}

class QemuOrphanTest : public QemuSupervision, public ::testing::WithParamInterface<OrphanGuard>
{
};

TEST_P(QemuOrphanTest, QemuDiesWithTheApplication)
{
    if (const QString shared = ChildDeath::childFolder(); !shared.isEmpty()) {
        auto machine =
            machineWith("#!/bin/sh\necho $$ > '" + QFile::encodeName(shared) + "/qemu.pid'\nexec sleep 300\n",
                        GetParam());
        QCoro::Task<> start = machine->start();
        ASSERT_TRUE(waitUntil([&] { return ChildDeath::readPid(shared + QStringLiteral("/qemu.pid")) > 0; }));
        ::raise(SIGKILL);
    }
    const ChildDeath::Ending child = ChildDeath::runCurrentTestAsChild(folder.path());
    ASSERT_TRUE(child.killedBy(SIGKILL)) << child.output.toStdString();
    const pid_t qemu = ChildDeath::readPid(folder.filePath(QStringLiteral("qemu.pid")));
    ASSERT_GT(qemu, 0);
    EXPECT_TRUE(ChildDeath::ends(qemu)) << "QEMU outlived the application that started it";
}

INSTANTIATE_TEST_SUITE_P(Guards, QemuOrphanTest,
                         ::testing::Values(OrphanGuard::ParentDeathSignal, OrphanGuard::Watchdog));
#endif

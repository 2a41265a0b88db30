// The QEMU engine without QEMU: the command line it builds, its helpers, and its supervision of a
// child, shown with shell scripts standing in for QEMU. Real QEMU runs in tests/linux/slow.
#include "Await.h"
#include "TestFiles.h"
#include "ChildDeath.h"
#include "Wait.h"

#include "linux/engine/QemuEngine.h"
#include "linux/engine/QemuMachine.h"
#include "linux/engine/detail/QemuCommandLine.h"
#include "platform/ChildLifetime.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 gibibyte = qint64(1) << 30;

// An option value split the way QEMU splits it: at single commas, ",," standing for a comma. The
// leading part without "=" (a device's driver) is kept under the empty key.
QMap<QString, QString> keyValues(const QString &value)
{
    QStringList parts{QString()};
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u',' && i + 1 < value.size() && value[i + 1] == u',') {
            parts.last() += u',';
            ++i;
        } else if (value[i] == u',') {
            parts.append(QString());
        } else {
            parts.last() += value[i];
        }
    }
    QMap<QString, QString> map;
    for (const QString &part : std::as_const(parts)) {
        const qsizetype equals = part.indexOf(u'=');
        map.insert(equals < 0 ? QString() : part.left(equals), equals < 0 ? part : part.mid(equals + 1));
    }
    return map;
}

const QSet<QString> flagOptions{QStringLiteral("-nodefaults"), QStringLiteral("-no-user-config"),
                                QStringLiteral("-S")};

// The values given to every occurrence of `option`.
QStringList valuesOf(const QStringList &arguments, const QString &option)
{
    QStringList values;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (flagOptions.contains(arguments[i])) {
            continue;
        }
        if (arguments[i] == option && i + 1 < arguments.size()) {
            values << arguments[i + 1];
        }
        ++i;
    }
    return values;
}

QList<QMap<QString, QString>> devices(const QStringList &arguments, const QString &driver)
{
    QList<QMap<QString, QString>> found;
    for (const QString &value : valuesOf(arguments, QStringLiteral("-device"))) {
        if (keyValues(value).value(QString()) == driver) {
            found << keyValues(value);
        }
    }
    return found;
}

QMap<QString, QString> blockNode(const QStringList &arguments, const QString &name)
{
    for (const QString &value : valuesOf(arguments, QStringLiteral("-blockdev"))) {
        if (keyValues(value).value(QStringLiteral("node-name")) == name) {
            return keyValues(value);
        }
    }
    return {};
}

MachineConfiguration describedMachine(const QString &folder)
{
    MachineConfiguration configuration;
    configuration.cpuCount = 3;
    configuration.memoryBytes = 3 * gibibyte;
    configuration.machineIdentifier = QByteArrayLiteral("1b4e28ba-2fa1-11d2-883f-0016d3cca427");
    configuration.efiVariableStore = folder + QStringLiteral("/EFIStore");
    configuration.disk = folder + QStringLiteral("/Disk.img");
    configuration.displayWidth = 1440;
    configuration.displayHeight = 900;
    configuration.macAddress = QStringLiteral("a2:4f:01:9c:de:03");
    return configuration;
}

const QemuInstallation emulating{QStringLiteral("/usr/bin/qemu-system-aarch64"),
                                 QStringLiteral("/fw/CODE.fd"), QStringLiteral("/fw/VARS.fd"),
                                 QStringLiteral("tcg")};
const detail::QemuSockets sockets{QStringLiteral("/run/x/monitor.sock"),
                                  QStringLiteral("/run/x/display.sock")};

QByteArray sha1Of(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

} // namespace

TEST(QemuCommandLine, DescribesEachConfiguredDeviceOnce)
{
    const MachineConfiguration configuration = describedMachine(QStringLiteral("/data/Linux"));
    const QStringList arguments = detail::qemuArguments(emulating, configuration, sockets);

    EXPECT_EQ(valuesOf(arguments, QStringLiteral("-smp")), QStringList{QStringLiteral("3")});
    EXPECT_EQ(valuesOf(arguments, QStringLiteral("-m")), QStringList{QStringLiteral("3072M")});
    EXPECT_EQ(valuesOf(arguments, QStringLiteral("-uuid")),
              QStringList{QStringLiteral("1b4e28ba-2fa1-11d2-883f-0016d3cca427")});
    EXPECT_TRUE(arguments.contains(QStringLiteral("-nodefaults")));

    // UEFI: the firmware's code read-only, the machine's own variable store writable.
    const auto machine = keyValues(valuesOf(arguments, QStringLiteral("-machine")).value(0));
    EXPECT_EQ(machine.value(QString()), QStringLiteral("virt"));
    const auto code = blockNode(arguments, machine.value(QStringLiteral("pflash0")));
    EXPECT_EQ(code.value(QStringLiteral("file.filename")), emulating.firmwareCode);
    EXPECT_EQ(code.value(QStringLiteral("read-only")), QStringLiteral("on"));
    const auto variables = blockNode(arguments, machine.value(QStringLiteral("pflash1")));
    EXPECT_EQ(variables.value(QStringLiteral("file.filename")), configuration.efiVariableStore);
    EXPECT_EQ(variables.value(QStringLiteral("read-only")), QStringLiteral("off"));

    const auto disks = devices(arguments, QStringLiteral("virtio-blk-pci"));
    ASSERT_EQ(disks.size(), 1);
    const auto disk = blockNode(arguments, disks[0].value(QStringLiteral("drive")));
    EXPECT_EQ(disk.value(QStringLiteral("driver")), QStringLiteral("raw"));
    EXPECT_EQ(disk.value(QStringLiteral("file.filename")), configuration.disk);
    EXPECT_EQ(disk.value(QStringLiteral("read-only")), QStringLiteral("off"));
    EXPECT_TRUE(devices(arguments, QStringLiteral("usb-storage")).isEmpty()) << "no installer was asked for";

    const auto gpus = devices(arguments, QStringLiteral("virtio-gpu-pci"));
    ASSERT_EQ(gpus.size(), 1);
    EXPECT_EQ(gpus[0].value(QStringLiteral("xres")), QStringLiteral("1440"));
    EXPECT_EQ(gpus[0].value(QStringLiteral("yres")), QStringLiteral("900"));
    EXPECT_EQ(gpus[0].value(QStringLiteral("max_outputs")), QStringLiteral("1"));

    const auto cards = devices(arguments, QStringLiteral("virtio-net-pci"));
    ASSERT_EQ(cards.size(), 1);
    EXPECT_EQ(cards[0].value(QStringLiteral("mac")), configuration.macAddress);
    const auto network = keyValues(valuesOf(arguments, QStringLiteral("-netdev")).value(0));
    EXPECT_EQ(network.value(QString()), QStringLiteral("user")) << "NAT";
    EXPECT_EQ(network.value(QStringLiteral("id")), cards[0].value(QStringLiteral("netdev")));

    const auto controllers = devices(arguments, QStringLiteral("qemu-xhci"));
    ASSERT_EQ(controllers.size(), 1);
    for (const QString &driver : {QStringLiteral("usb-kbd"), QStringLiteral("usb-tablet")}) {
        const auto found = devices(arguments, driver);
        ASSERT_EQ(found.size(), 1) << driver.toStdString();
        EXPECT_EQ(found[0].value(QStringLiteral("bus")),
                  controllers[0].value(QStringLiteral("id")) + QStringLiteral(".0"));
    }
    EXPECT_EQ(devices(arguments, QStringLiteral("virtio-rng-pci")).size(), 1);
    EXPECT_EQ(devices(arguments, QStringLiteral("virtio-balloon-pci")).size(), 1);

    // The screen and the monitor only on private sockets, no TCP port.
    EXPECT_EQ(valuesOf(arguments, QStringLiteral("-display")), QStringList{QStringLiteral("none")});
    EXPECT_EQ(valuesOf(arguments, QStringLiteral("-vnc")),
              QStringList{QStringLiteral("unix:") + sockets.display});
    const auto monitor = keyValues(valuesOf(arguments, QStringLiteral("-chardev")).value(0));
    EXPECT_EQ(monitor.value(QString()), QStringLiteral("socket"));
    EXPECT_EQ(monitor.value(QStringLiteral("path")), sockets.monitor);
    EXPECT_FALSE(monitor.contains(QStringLiteral("port")));
    const auto control = keyValues(valuesOf(arguments, QStringLiteral("-mon")).value(0));
    EXPECT_EQ(control.value(QStringLiteral("chardev")), monitor.value(QStringLiteral("id")));
    EXPECT_EQ(control.value(QStringLiteral("mode")), QStringLiteral("control"));
    EXPECT_TRUE(arguments.contains(QStringLiteral("-S"))) << "the guest waits until the monitor is attached";
}

TEST(QemuCommandLine, InstallerIsAReadOnlyUsbDiskTriedAfterTheSystemDisk)
{
    MachineConfiguration configuration = describedMachine(QStringLiteral("/data/Linux"));
    configuration.installerImage = QStringLiteral("/home/me/Downloads/debian-12-arm64-netinst.iso");
    const QStringList arguments = detail::qemuArguments(emulating, configuration, sockets);

    const auto sticks = devices(arguments, QStringLiteral("usb-storage"));
    ASSERT_EQ(sticks.size(), 1);
    EXPECT_EQ(sticks[0].value(QStringLiteral("bus")),
              devices(arguments, QStringLiteral("qemu-xhci")).value(0).value(QStringLiteral("id")) +
                  QStringLiteral(".0"));
    const auto image = blockNode(arguments, sticks[0].value(QStringLiteral("drive")));
    EXPECT_EQ(image.value(QStringLiteral("file.filename")), *configuration.installerImage);
    EXPECT_EQ(image.value(QStringLiteral("read-only")), QStringLiteral("on"));

    // An installed system boots even while the installer is still attached.
    const auto disk = devices(arguments, QStringLiteral("virtio-blk-pci")).value(0);
    EXPECT_LT(disk.value(QStringLiteral("bootindex")).toInt(),
              sticks[0].value(QStringLiteral("bootindex")).toInt());
}

TEST(QemuCommandLine, PathsWithCommasReachQemuWhole)
{
    const QString folder = QStringLiteral("/data/a,b/Linux,,copy");
    MachineConfiguration configuration = describedMachine(folder);
    configuration.installerImage = folder + QStringLiteral("/x,86.iso");
    const detail::QemuSockets odd{QStringLiteral("/run/a,b/monitor.sock"),
                                  QStringLiteral("/run/a,b/display.sock")};
    const QStringList arguments = detail::qemuArguments(emulating, configuration, odd);

    EXPECT_EQ(blockNode(arguments, QStringLiteral("disk")).value(QStringLiteral("file.filename")),
              configuration.disk);
    EXPECT_EQ(blockNode(arguments, QStringLiteral("variables")).value(QStringLiteral("file.filename")),
              configuration.efiVariableStore);
    EXPECT_EQ(blockNode(arguments, QStringLiteral("installer")).value(QStringLiteral("file.filename")),
              *configuration.installerImage);
    EXPECT_EQ(
        keyValues(valuesOf(arguments, QStringLiteral("-chardev")).value(0)).value(QStringLiteral("path")),
        odd.monitor);
    EXPECT_EQ(keyValues(valuesOf(arguments, QStringLiteral("-vnc")).value(0)).value(QString()),
              QStringLiteral("unix:") + odd.display);
}

TEST(QemuHelpers, RandomMacAddressesAreLocallyAdministeredUnicastAndDistinct)
{
    const QemuEngine engine{QemuInstallation{}};
    static const QRegularExpression form(QStringLiteral("^[0-9a-f]{2}(:[0-9a-f]{2}){5}$"));
    QSet<QString> seen;
    for (int draw = 0; draw < 200; ++draw) {
        const QString address = engine.randomLocallyAdministeredMACAddress();
        ASSERT_TRUE(form.match(address).hasMatch()) << address.toStdString();
        const uint first = address.left(2).toUInt(nullptr, 16);
        EXPECT_EQ(first & 0x02, 0x02u) << address.toStdString();
        EXPECT_EQ(first & 0x01, 0x00u) << address.toStdString();
        EXPECT_TRUE(engine.isValidMACAddress(address));
        seen.insert(address);
    }
    EXPECT_EQ(seen.size(), 200);
}

TEST(QemuHelpers, MacAddressMustNameOneCard)
{
    const QemuEngine engine{QemuInstallation{}};
    for (const char *valid : {"a2:4f:01:9c:de:03", "A2:4F:01:9C:DE:03", "52:54:00:12:34:56"}) {
        EXPECT_TRUE(engine.isValidMACAddress(QString::fromLatin1(valid))) << valid;
    }
    for (const char *invalid :
         {"", "a2-4f-01-9c-de-03", "a2:4f:01:9c:de", "a2:4f:01:9c:de:03:04", "a2:4f:1:9c:de:03",
          "g2:4f:01:9c:de:03", " a2:4f:01:9c:de:03", "a2:4f:01:9c:de:03\n", "01:00:5e:00:00:01",
          "ff:ff:ff:ff:ff:ff", "00:00:00:00:00:00"}) {
        EXPECT_FALSE(engine.isValidMACAddress(QString::fromLatin1(invalid))) << invalid;
    }
}

TEST(QemuHelpers, MachineIdentifierIsATextualUuid)
{
    const QemuEngine engine{QemuInstallation{}};
    const QByteArray first = engine.createMachineIdentifier();
    const QByteArray second = engine.createMachineIdentifier();
    EXPECT_NE(first, second);
    for (const QByteArray &identifier : {first, second}) {
        EXPECT_TRUE(engine.isValidMachineIdentifier(identifier)) << identifier.toStdString();
        EXPECT_EQ(QUuid::fromString(QLatin1StringView(identifier)).toString(QUuid::WithoutBraces).toLatin1(),
                  identifier);
    }
    EXPECT_TRUE(engine.isValidMachineIdentifier(QByteArrayLiteral("1B4E28BA-2FA1-11D2-883F-0016D3CCA427")));
    const QUuid uuid = QUuid::fromString(QLatin1StringView(first));
    for (const QByteArray &invalid :
         {QByteArray(), QByteArrayLiteral("{1b4e28ba-2fa1-11d2-883f-0016d3cca427}"),
          QByteArrayLiteral("1b4e28ba-2fa1-11d2-883f-0016d3cca42"),
          QByteArrayLiteral("1b4e28ba2fa111d2883f0016d3cca427"),
          QByteArrayLiteral("1b4e28ba-2fa1-11d2-883f-0016d3cca427\n"),
          QByteArrayLiteral("00000000-0000-0000-0000-000000000000"), uuid.toRfc4122()}) {
        EXPECT_FALSE(engine.isValidMachineIdentifier(invalid)) << invalid.toHex().toStdString();
    }
}

class QemuEngineFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        installation.program = folder.filePath(QStringLiteral("qemu-system-aarch64"));
        writeExecutable(installation.program, "#!/bin/sh\nexit 0\n");
        installation.firmwareCode = folder.filePath(QStringLiteral("CODE.fd"));
        installation.firmwareVariables = folder.filePath(QStringLiteral("VARS.fd"));
        installation.accelerator = QStringLiteral("tcg");
        makeSparseFile(installation.firmwareCode, QemuInstallation::flashSize);
        makeSparseFile(installation.firmwareVariables, QemuInstallation::flashSize);
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
    EXPECT_EQ(sha1Of(store), sha1Of(installation.firmwareVariables));
    struct stat status
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(store).constData(), &status), 0);
    EXPECT_LT(qint64(status.st_blocks) * 512, 4 << 20) << "the zeros take no space";

    // A second store at the same place is refused and the first stays as it was.
    {
        QFile existing(store);
        ASSERT_TRUE(existing.open(QIODevice::ReadWrite));
        existing.write("guest data");
    }
    const QByteArray before = sha1Of(store);
    EXPECT_THROW(engine.createEFIVariableStore(store), Error);
    EXPECT_EQ(sha1Of(store), before);

    // Without a template nothing is created.
    QemuInstallation missing = installation;
    missing.firmwareVariables = folder.filePath(QStringLiteral("absent.fd"));
    const QString other = folder.filePath(QStringLiteral("OtherStore"));
    EXPECT_THROW(QemuEngine(missing).createEFIVariableStore(other), Error);
    EXPECT_FALSE(QFileInfo::exists(other));
}

TEST_F(QemuEngineFiles, AMissingOrUnfitProgramOrFirmwareIsNamed)
{
    const auto refusal = [](const std::function<void()> &attempt) {
        try {
            attempt();
        } catch (const VMFailure &failure) {
            return failure.message();
        }
        return QStringLiteral("accepted");
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
}

TEST_F(QemuEngineFiles, ValidationNamesWhatQemuCouldNotRun)
{
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
    const QList<std::pair<Change, QString>> cases{
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
    for (const auto &[change, message] : cases) {
        MachineConfiguration configuration = validMachine();
        change(configuration);
        try {
            engine.createMachine(configuration);
            ADD_FAILURE() << "accepted; expected " << message.toStdString();
        } catch (const Error &error) {
            EXPECT_TRUE(error.description().contains(message)) << error.description().toStdString();
        }
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
        const QString display = valuesOf(machine.arguments(), QStringLiteral("-vnc")).value(0).mid(5);
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

TEST_F(QemuSupervision, DestroyingAMachineEndsQemuAndTheStartAwaitingIt)
{
    const QByteArray pidFile = QFile::encodeName(folder.filePath(QStringLiteral("child.pid")));
    auto machine = machineWith("#!/bin/sh\necho $$ > '" + pidFile + "'\nexec sleep 300\n");
    QCoro::Task<> start = machine->start();
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(QFile::decodeName(pidFile)).size() > 0; }));
    const QString runtime = runtimeFolderOf(*machine);
    QFile file(QFile::decodeName(pidFile));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const pid_t child = pid_t(file.readAll().trimmed().toInt());
    ASSERT_GT(child, 0);

    machine.reset();
    const Outcome<void> started = await(std::move(start));
    ASSERT_TRUE(started.error.has_value()) << "a start whose machine is gone must not report success";
    const bool ended = waitUntil([child] { return ::kill(child, 0) != 0; });
    if (!ended) {
        ::kill(child, SIGKILL);
    }
    EXPECT_TRUE(ended) << "QEMU outlived its machine";
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

class QemuSupervisionDeathTest : public QemuSupervision, public ::testing::WithParamInterface<OrphanGuard>
{
};

TEST_P(QemuSupervisionDeathTest, QemuDiesWithTheApplication)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The death test's child runs this body again from the top; it finds the parent's folder in the
    // environment instead of using its own.
    const char *variable = "CORVANE_ORPHAN_TEST_FOLDER";
    if (qEnvironmentVariableIsEmpty(variable)) {
        qputenv(variable, QFile::encodeName(folder.path()));
    }
    const QString pidFile = qEnvironmentVariable(variable) + QStringLiteral("/child.pid");
    // The killed child cannot remove its own temporary files; inside the parent's folder they go with it.
    const QByteArray temporary = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(qEnvironmentVariable(variable)));

    EXPECT_EXIT(
        {
            auto machine = machineWith(
                "#!/bin/sh\necho $$ > '" + QFile::encodeName(pidFile) + "'\nexec sleep 300\n", GetParam());
            QCoro::Task<> start = machine->start();
            if (!waitUntil([&] { return QFileInfo(pidFile).size() > 0; }, 10000)) {
                std::exit(3);
            }
            ::raise(SIGKILL);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    qunsetenv(variable);
    if (temporary.isEmpty()) {
        qunsetenv("TMPDIR");
    } else {
        qputenv("TMPDIR", temporary);
    }

    const pid_t child = ChildDeath::readPid(pidFile);
    ASSERT_GT(child, 0);
    EXPECT_TRUE(ChildDeath::ends(child)) << "the stand-in outlived the application that started it";
}

INSTANTIATE_TEST_SUITE_P(Guards, QemuSupervisionDeathTest,
                         ::testing::Values(OrphanGuard::ParentDeathSignal, OrphanGuard::Watchdog),
                         [](const ::testing::TestParamInfo<OrphanGuard> &guard) {
                             return guard.param == OrphanGuard::Watchdog ? std::string("Watchdog")
                                                                         : std::string("ParentDeathSignal");
                         });
#endif

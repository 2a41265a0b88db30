// Machines run by the real QEMU, emulating an AArch64 machine that boots its UEFI firmware. With no
// system to boot, the firmware falls to its shell, which runs startup.nsh from a FAT disk: that is
// how a guest here resets and powers itself off.
#include "Await.h"
#include "IdleFor.h"
#include "TestFiles.h"
#include "Wait.h"

#include "linux/engine/QemuEngine.h"
#include "linux/engine/QemuMachine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

namespace {

constexpr qint64 gibibyte = qint64(1) << 30;
// Firmware start, five seconds of the shell's startup.nsh countdown, twice over, on a busy machine.
constexpr int guestBootMs = 240'000;

class RealQemu : public ::testing::Test
{
protected:
    void SetUp() override
    {
        installation = QemuInstallation::locate();
        if (!installation.isUsable()) {
            GTEST_SKIP() << "needs qemu-system-aarch64 and a 64 MiB AArch64 UEFI firmware pair "
                            "(Debian: qemu-system-arm, qemu-efi-aarch64)";
        }
        engine = std::make_unique<QemuEngine>(installation);
        // A comma in the folder name shows the paths reach QEMU whole.
        machineFolder = folder.filePath(QStringLiteral("Linux, one"));
        ASSERT_TRUE(QDir().mkpath(machineFolder));
        configuration.cpuCount = 2;
        configuration.memoryBytes = gibibyte;
        configuration.machineIdentifier = engine->createMachineIdentifier();
        configuration.macAddress = engine->randomLocallyAdministeredMACAddress();
        configuration.efiVariableStore = machineFolder + QStringLiteral("/EFIStore");
        engine->createEFIVariableStore(configuration.efiVariableStore);
        configuration.disk = makeSparseFile(machineFolder + QStringLiteral("/Disk.img"), gibibyte);
        ASSERT_FALSE(configuration.disk.isEmpty());
    }

    void TearDown() override
    {
        if (machine && machine->canStop()) {
            await(machine->stop());
        }
    }

    // A FAT disk image holding startup.nsh with these shell lines.
    QString fatImage(const QString &name, const QStringList &script)
    {
        const QString mkfs = QStandardPaths::findExecutable(
            QStringLiteral("mkfs.vfat"),
            {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/opt/homebrew/sbin")});
        const QString mcopy = QStandardPaths::findExecutable(
            QStringLiteral("mcopy"), {QStringLiteral("/usr/bin"), QStringLiteral("/opt/homebrew/bin")});
        if (mkfs.isEmpty() || mcopy.isEmpty()) {
            return {};
        }
        const QString image = folder.filePath(name);
        const QString startup = folder.filePath(QStringLiteral("startup.nsh"));
        if (!writeFile(startup, script.join(QStringLiteral("\r\n")).toLatin1() + "\r\n")) {
            return {};
        }
        const QStringList format{QStringLiteral("-C"), image, QStringLiteral("8192")};
        const QStringList copy{QStringLiteral("-i"), image, startup, QStringLiteral("::/startup.nsh")};
        if (QProcess::execute(mkfs, format) != 0 || QProcess::execute(mcopy, copy) != 0) {
            return {};
        }
        return image;
    }

    QemuMachine &create()
    {
        machine = engine->createMachine(configuration);
        guestStops = std::make_unique<QSignalSpy>(machine.get(), &VirtualMachine::guestDidStop);
        errorStops = std::make_unique<QSignalSpy>(machine.get(), &VirtualMachine::didStopWithError);
        return static_cast<QemuMachine &>(*machine);
    }

    QString firstError() const
    {
        return errorStops->isEmpty() ? QString() : errorStops->first().first().toString();
    }

    QTemporaryDir folder;
    QString machineFolder;
    QemuInstallation installation;
    std::unique_ptr<QemuEngine> engine;
    MachineConfiguration configuration;
    std::unique_ptr<VirtualMachine> machine;
    std::unique_ptr<QSignalSpy> guestStops;
    std::unique_ptr<QSignalSpy> errorStops;
};

} // namespace

TEST_F(RealQemu, StartsRunningServesItsScreenAndStops)
{
    // What QEMU inherits is QemuSupervision.ChildInheritsNoDescriptorBeyondItsStandardChannels's.
    QemuMachine &qemu = create();
    const Outcome<void> started = await(machine->start());
    ASSERT_FALSE(started.error.has_value()) << started.error->toStdString();
    EXPECT_TRUE(machine->canStop());
    EXPECT_TRUE(machine->canRequestStop());
    const pid_t pid = pid_t(qemu.processId());
    ASSERT_GT(pid, 0);

    // The screen: a unix socket in a folder nobody else may enter (what it serves is
    // LinuxScreenRealQemu.ThePageShowsTheFirmwareTakesKeysAndLetsGoOnStop's).
    const QString display = machine->displayEndpoint();
    struct stat socketStatus
    {
    }, folderStatus{};
    ASSERT_EQ(::stat(QFile::encodeName(display).constData(), &socketStatus), 0) << display.toStdString();
    EXPECT_TRUE(S_ISSOCK(socketStatus.st_mode));
    const QString runtime = QFileInfo(display).path();
    ASSERT_EQ(::stat(QFile::encodeName(runtime).constData(), &folderStatus), 0);
    EXPECT_EQ(folderStatus.st_mode & 0777, 0700u);

    // While the guest idles, the supervision costs next to nothing: it waits, it does not poll.
    const double cpuBefore = processCpuMilliseconds();
    idleFor(5000); // waitUntil itself wakes every 10 ms
    const double idleCpuMs = processCpuMilliseconds() - cpuBefore;
    EXPECT_LT(idleCpuMs, 25.0) << "ms of CPU in 5 s; a wake-up every 10 ms costs about 65 ms here";

    const Outcome<void> requested = await(machine->requestStop());
    EXPECT_TRUE(requested.done) << requested.error.value_or(QString()).toStdString();
    const Outcome<void> stopped = await(machine->stop());
    ASSERT_FALSE(stopped.error.has_value()) << stopped.error->toStdString();
    EXPECT_EQ(::kill(pid, 0), -1) << "QEMU is still there";
    EXPECT_FALSE(QFileInfo::exists(runtime));
    EXPECT_FALSE(machine->canStop());
    EXPECT_TRUE(machine->displayEndpoint().isEmpty());
    waitUntil([] { return false; }, 300);
    EXPECT_TRUE(guestStops->isEmpty());
    EXPECT_TRUE(errorStops->isEmpty()) << firstError().toStdString();
}

TEST_F(RealQemu, GuestPowerOffIsAGuestStop)
{
    const QString installer = fatImage(QStringLiteral("installer.img"), {QStringLiteral("reset -s")});
    if (installer.isEmpty()) {
        GTEST_SKIP() << "needs mkfs.vfat and mcopy (Debian: dosfstools, mtools)";
    }
    configuration.installerImage = installer;
    create();
    const Outcome<void> started = await(machine->start());
    ASSERT_FALSE(started.error.has_value()) << started.error->toStdString();

    ASSERT_TRUE(waitUntil([&] { return !guestStops->isEmpty() || !errorStops->isEmpty(); }, guestBootMs));
    EXPECT_EQ(guestStops->size(), 1);
    EXPECT_TRUE(errorStops->isEmpty()) << firstError().toStdString();
    EXPECT_FALSE(machine->canStop());
    EXPECT_TRUE(machine->displayEndpoint().isEmpty());
    EXPECT_NE(readFile(configuration.efiVariableStore), QByteArray(QemuInstallation::flashSize, '\0'))
        << "the firmware keeps its variables in this store";
}

TEST_F(RealQemu, GuestResetKeepsTheMachineRunning)
{
    // The first boot leaves a mark and resets; the second finds the mark and powers off.
    const QString disk =
        fatImage(QStringLiteral("disk.img"), {
                                                 QStringLiteral("if exist fs0:\\reset.txt then"),
                                                 QStringLiteral("  reset -s"),
                                                 QStringLiteral("endif"),
                                                 QStringLiteral("echo once >a fs0:\\reset.txt"),
                                                 QStringLiteral("reset"),
                                             });
    if (disk.isEmpty()) {
        GTEST_SKIP() << "needs mkfs.vfat and mcopy (Debian: dosfstools, mtools)";
    }
    configuration.disk = disk;
    create();
    const Outcome<void> started = await(machine->start());
    ASSERT_FALSE(started.error.has_value()) << started.error->toStdString();

    ASSERT_TRUE(waitUntil([&] { return !guestStops->isEmpty() || !errorStops->isEmpty(); }, 2 * guestBootMs));
    EXPECT_EQ(guestStops->size(), 1);
    EXPECT_TRUE(errorStops->isEmpty()) << firstError().toStdString();

    QProcess mtype;
    const QStringList read{QStringLiteral("-i"), disk, QStringLiteral("::/reset.txt")};
    mtype.start(QStringLiteral("/usr/bin/mtype"), read);
    ASSERT_TRUE(mtype.waitForFinished());
    EXPECT_TRUE(mtype.readAllStandardOutput().contains("once")) << "the guest never got to reset";
}

TEST_F(RealQemu, QemuEndedFromOutsideIsAnError)
{
    const QList<std::pair<int, QString>> signalsAndWords{
        {SIGKILL, QStringLiteral("信号 9")},
        {SIGTERM, QStringLiteral("terminating on signal 15")},
    };
    for (const auto &[signal, words] : signalsAndWords) {
        QemuMachine &qemu = create();
        const Outcome<void> started = await(machine->start());
        ASSERT_FALSE(started.error.has_value()) << started.error->toStdString();
        ASSERT_EQ(::kill(pid_t(qemu.processId()), signal), 0);
        ASSERT_TRUE(waitUntil([&] { return !guestStops->isEmpty() || !errorStops->isEmpty(); }));
        EXPECT_TRUE(guestStops->isEmpty()) << "signal " << signal;
        EXPECT_TRUE(firstError().contains(words)) << firstError().toStdString();
        EXPECT_FALSE(machine->canStop());
    }
}

// How any failed start reads is QemuSupervision.StartThatEndsEarlyFailsInQemusOwnWords's; here that QEMU's
// image lock keeps a second machine off a disk in use.
TEST_F(RealQemu, ADiskInUseIsRefusedToASecondMachine)
{
    QemuMachine &first = create();
    ASSERT_FALSE(await(first.start()).error.has_value());
    const std::unique_ptr<VirtualMachine> second = engine->createMachine(configuration);
    const Outcome<void> secondStart = await(second->start());
    ASSERT_TRUE(secondStart.error.has_value());
    EXPECT_TRUE(secondStart.error->contains(QStringLiteral("退出码 1"))) << secondStart.error->toStdString();
    EXPECT_TRUE(secondStart.error->contains(QStringLiteral("lock"))) << secondStart.error->toStdString();
    EXPECT_TRUE(machine->canStop()) << "the first machine runs on";
}

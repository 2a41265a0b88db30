// The Linux page over the real QEMU, emulating an AArch64 machine that boots its UEFI firmware with
// nothing to boot from, so that it ends at the firmware's shell prompt: the page shows that screen,
// what is typed on the page reaches the guest, the firmware's change of resolution happens within one
// connection, and a stop takes the screen away again.
#include "FakeHost.h"
#include "FirmwareScreen.h"
#include "IdleFor.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "Wait.h"

#include "linux/LinuxModel.h"
#include "linux/engine/QemuEngine.h"
#include "linux/screen/VncConnection.h"
#include "ui/linux/LinuxDisplay.h"
#include "ui/linux/LinuxView.h"
#include "ui/style/PillActionButton.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr qint64 GiB = qint64(1) << 30;
// The firmware's start under emulation on a machine shared with other builds.
constexpr int firmwareScreenMs = 150'000;

} // namespace

TEST(LinuxScreenRealQemu, ThePageShowsTheFirmwareTakesKeysAndLetsGoOnStop)
{
    const QemuInstallation installation = QemuInstallation::locate();
    if (!installation.isUsable()) {
        GTEST_SKIP() << "needs qemu-system-aarch64 and a 64 MiB AArch64 UEFI firmware pair "
                        "(Debian: qemu-system-arm, qemu-efi-aarch64)";
    }
    FakeHost host(2, 8 * GiB);
    QemuEngine engine(installation);
    QTemporaryDir dir;
    // An installer with no file system on it: the firmware finds nothing to boot and opens its shell.
    const QString iso = makeSparseFile(dir.filePath(QStringLiteral("blank-arm64.iso")), 4 << 20);
    ASSERT_FALSE(iso.isEmpty());
    LinuxModel model(engine, dir.filePath(QStringLiteral("CorvaneBeta")));
    model.setConfiguration({1, 1, 16, iso, true, model.configuration().macAddress, 1280, 800});

    LinuxView page(model);
    page.resize(1100, 1500);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    page.startButton()->click();
    ASSERT_TRUE(waitUntil([&] { return model.running() || !model.error().isEmpty(); }, 70'000));
    ASSERT_TRUE(model.running()) << model.error().toStdString();

    LinuxDisplay &display = *page.display();
    ASSERT_TRUE(display.isVisible());
    const VncConnection &connection = *display.connection();
    QSet<QString> sizes;
    QObject::connect(&connection, &VncConnection::frameChanged, &page, [&] {
        sizes.insert(
            QStringLiteral("%1 x %2").arg(connection.frame().width()).arg(connection.frame().height()));
    });
    ASSERT_TRUE(waitUntil([&] { return connection.isConnected(); }, 30'000));

    // The firmware draws its screen, then waits at its prompt.
    ASSERT_TRUE(waitUntil([&] { return FirmwareScreen::showsShell(connection.frame()); }, firmwareScreenMs))
        << "the firmware's shell never showed";
    ASSERT_TRUE(FirmwareScreen::settles(connection, 3000, 30'000))
        << "the firmware's screen never came to rest";
    // The firmware starts at 640 x 480 and switches to 1280 x 800: one connection follows it.
    EXPECT_TRUE(sizes.contains(QStringLiteral("640 x 480")) && sizes.contains(QStringLiteral("1280 x 800")))
        << QStringList(sizes.begin(), sizes.end()).join(u',').toStdString();
    EXPECT_FALSE(LogProbe::text().contains(QStringLiteral("画面连接中断"))) << LogProbe::text().toStdString();

    // While the screen rests the viewer sleeps.
    const quint64 rested = connection.updates();
    const double cpuBefore = processCpuMilliseconds();
    idleFor(3000);
    const double idleCpu = processCpuMilliseconds() - cpuBefore;
    EXPECT_LT(idleCpu, 60.0) << "ms of the application's processor time in 3 s";
    ASSERT_EQ(connection.updates(), rested) << "the screen changed by itself: a key could not be told apart";

    // Typing at the prompt echoes on the guest's screen.
    const QImage before = connection.frame().copy();
    display.setFocus();
    QTest::keyClicks(&display, QStringLiteral("ver"));
    ASSERT_TRUE(
        waitUntil([&] { return connection.updates() > rested && connection.frame() != before; }, 30'000))
        << "the keys never reached the guest";

    // Stopping takes the screen away and lets its connection go.
    page.forceStopButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !model.running(); }, 30'000));
    EXPECT_EQ(page.displayCase(), LinuxRules::DisplayCase::Placeholder);
    EXPECT_FALSE(display.isVisible());
    EXPECT_TRUE(waitUntil([] { return VncConnection::liveSessions() == 0; }));
}

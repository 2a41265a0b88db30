// Takes the pictures of the Linux page that the README shows: the page of a machine never started
// (with the download links), and the page and the separate window while the real QEMU runs the
// machine's UEFI firmware, whose shell screen they show. Run it on a display (scripts/screenshots.sh uses
// Xvfb); it never touches the user's own data or settings. Needs qemu-system-arm and qemu-efi-aarch64.
#include "FirmwareScreen.h"
#include "ScreenshotSupport.h"
#include "linux/LinuxModel.h"
#include "linux/engine/QemuEngine.h"
#include "linux/screen/VncConnection.h"
#include "platform/Host.h"
#include "ui/linux/LinuxDisplay.h"
#include "ui/linux/LinuxDisplayWindow.h"
#include "ui/linux/LinuxView.h"
#include "ui/shell/MainWindow.h"

#include <QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollArea>
#include <QTest>
#include <QTextStream>

namespace {

/** The real host, with room on the data volume whatever the sandbox's is. */
class ScreenshotHost : public Host
{
public:
    ScreenshotHost() { Host::install(this); }
    ~ScreenshotHost() override { Host::install(nullptr); }
    ScreenshotHost(const ScreenshotHost &) = delete;
    ScreenshotHost &operator=(const ScreenshotHost &) = delete;
    qint64 availableCapacity(const QString &) const override { return qint64(1) << 40; }
};

bool capture(QWidget &window, const QString &file)
{
    return Screenshots::settle(window) && Screenshots::grabScreen(window, file);
}

} // namespace

int Screenshots::takePictures(const QString &root, const QString &output, QTextStream &err)
{
    const QemuInstallation installation = QemuInstallation::locate();
    if (!installation.isUsable()) {
        err << "needs qemu-system-aarch64 and the AArch64 UEFI firmware (qemu-system-arm, "
               "qemu-efi-aarch64)\n";
        return 1;
    }
    const ScreenshotHost host;
    Screenshots::useTheme(QStringLiteral("light"));

    QemuEngine engine(installation);
    LinuxModel model(engine, root + QStringLiteral("/CorvaneBeta"));
    Screenshots::Shell desktop;
    MainWindow &window = desktop.window;
    auto *page = new LinuxView(model);
    window.addPage(QStringLiteral("linux"), page);
    window.selectTab(QStringLiteral("linux"));
    window.resize(1120, 860);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return 1;
    }
    int failures = capture(window, output + QStringLiteral("/linux-stopped.png")) ? 0 : 1;

    // An installer with nothing on it: the firmware finds nothing to boot and opens its shell.
    const QString iso = root + QStringLiteral("/installer-arm64.iso");
    QFile blank(iso);
    if (!blank.open(QIODevice::WriteOnly) || !blank.resize(4 << 20)) {
        return 1;
    }
    blank.close();
    LinuxConfiguration configuration = model.configuration();
    configuration.cores = 1;
    configuration.memoryGB = 1;
    configuration.diskGB = 16;
    configuration.isoPath = iso;
    model.setConfiguration(configuration);
    QCoro::waitFor(model.start());
    if (!model.running()) {
        err << "the machine did not start: " << model.error() << '\n';
        return 1;
    }
    const VncConnection &connection = *page->display()->connection();
    const bool shell = QTest::qWaitFor([&] { return FirmwareScreen::showsShell(connection.frame()); }, 240'000);
    if (!shell || !FirmwareScreen::settles(connection, 3000, 60'000)) {
        err << "the firmware's screen never came to rest\n";
        ++failures;
    } else {
        // The screen is at the foot of the page.
        if (auto *scroll = page->findChild<QScrollArea *>()) {
            scroll->ensureWidgetVisible(page->display(), 0, 14);
        }
        failures += capture(window, output + QStringLiteral("/linux-running.png")) ? 0 : 1;

        // The same screen in its own window, which the page yields it to.
        LinuxDisplayWindow screenWindow(model);
        screenWindow.show();
        if (!QTest::qWaitForWindowExposed(&screenWindow) ||
            !QTest::qWaitFor([&] { return screenWindow.display()->framesShown() > 0; }, 30'000)) {
            err << "the separate window never showed the screen\n";
            ++failures;
        } else {
            failures += capture(screenWindow, output + QStringLiteral("/linux-window.png")) ? 0 : 1;
        }
    }
    QCoro::waitFor(model.forceStop());
    return failures;
}

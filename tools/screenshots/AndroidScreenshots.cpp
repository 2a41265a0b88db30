// Takes the pictures of the Android page that the README shows: a device without the Android
// components, a stopped device and a running one (on the emulator stand-ins), each in the light and
// the dark scheme. Run it on a display (scripts/screenshots.sh uses Xvfb); it never touches the
// user's own data or settings.
#include "FakeAndroidSdk.h"
#include "ScreenshotSupport.h"
#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "ui/android/FleetView.h"

#include <QCoroTask>
#include <QDir>
#include <QTest>
#include <QTextStream>

#include <chrono>
#include <functional>

namespace {

using namespace std::chrono_literals;

bool waitFor(const std::function<bool()> &condition, int milliseconds)
{
    return QTest::qWaitFor(condition, milliseconds);
}

bool capture(VMFleet &fleet, const QString &file)
{
    // The real main window with the Android tab selected, as a user sees it.
    Screenshots::Shell shell;
    shell.window.addPage(QStringLiteral("android"), new FleetView(fleet));
    shell.window.selectTab(QStringLiteral("android"));
    return Screenshots::settle(shell.window) && Screenshots::grabScreen(shell.window, file);
}

} // namespace

int Screenshots::takePictures(const QString &root, const QString &output, QTextStream &err)
{
    const QString data = root + QStringLiteral("/CorvaneBeta");
    // Pictures of a quick, quiet run: no boot delay beyond the stand-in's own.
    qputenv("FAKE_EMULATOR_BOOT_DELAY_MS", "300");
    int failures = 0;
    for (const char *theme : {"light", "dark"}) {
        Screenshots::useTheme(QString::fromLatin1(theme));
        const QString suffix = QStringLiteral("-") + QString::fromLatin1(theme) + QStringLiteral(".png");
        QDir(data).removeRecursively();

        {
            VMFleet fleet(data);
            failures += capture(fleet, output + QStringLiteral("/android-not-installed") + suffix) ? 0 : 1;
        }

        FakeAndroidSdk::install(VMPaths(data));
        VMFleet::Options options;
        options.timing.bootPollInterval = 100ms;
        VMFleet fleet(data, options);
        VMModel &device = *fleet.models().first();
        failures += capture(fleet, output + QStringLiteral("/android-stopped") + suffix) ? 0 : 1;

        device.start();
        if (!waitFor([&] { return device.booted(); }, 30000)) {
            err << "the device did not boot: " << device.status() << ' ' << device.error() << '\n';
            ++failures;
        } else {
            failures += capture(fleet, output + QStringLiteral("/android-running") + suffix) ? 0 : 1;
        }
        QCoro::waitFor(device.stop());
        waitFor([&] { return !device.running(); }, 15000);
    }

    return failures;
}

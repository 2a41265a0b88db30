// Takes the pictures of the Android page that the README shows: a device without the Android
// components, a stopped device and a running one (on the emulator stand-ins), each in the light and
// the dark scheme. Run it on a display (scripts/screenshots.sh uses Xvfb); it never touches the
// user's own data or settings.
#include "FakeAndroidSdk.h"
#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "app/AppPreferences.h"
#include "ui/android/FleetView.h"
#include "ui/shell/AppDelegate.h"
#include "ui/shell/MainWindow.h"
#include "ui/style/Appearance.h"
#include "ui/style/ChineseFont.h"

#include <QApplication>
#include <QCoroTask>
#include <QDir>
#include <QScreen>
#include <QTest>
#include <QTextStream>
#include <QWindow>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

using namespace std::chrono_literals;

std::string sandbox()
{
    std::string pattern = "/tmp/corvane-screenshots-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    for (const char *variable : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
        const std::string path = pattern + "/" + variable;
        QDir().mkpath(QString::fromStdString(path));
        ::setenv(variable, path.c_str(), 1);
    }
    return pattern;
}

bool waitFor(const std::function<bool()> &condition, int milliseconds)
{
    return QTest::qWaitFor(condition, milliseconds);
}

bool capture(VMFleet &fleet, const QString &file)
{
    // The real main window with the Android tab selected, as a user sees it.
    const std::unique_ptr<QSettings> store = AppPreferences::openStore();
    AppDelegate delegate;
    MainWindow window(*store, delegate);
    window.addPage(QStringLiteral("android"), new FleetView(fleet));
    window.selectTab(QStringLiteral("android"));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return false;
    }
    // Let layouts settle and any slide or fade finish before the picture.
    QTest::qWait(800);
    const QPixmap shot = window.screen()->grabWindow(window.winId());
    return !shot.isNull() && shot.save(file, "PNG");
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string root = sandbox();
    QApplication app(argc, argv);
    QTextStream err(stderr);
    if (app.arguments().size() != 2) {
        err << "usage: android_screenshots OUTPUT_FOLDER\n";
        return 64;
    }
    const QString output = QDir(app.arguments().at(1)).absolutePath();
    QDir().mkpath(output);
    if (!ChineseFont::check()) {
        return 1;
    }

    std::unique_ptr<QSettings> store = AppPreferences::openStore();
    const QString data = QString::fromStdString(root) + QStringLiteral("/CorvaneBeta");
    // Pictures of a quick, quiet run: no boot delay beyond the stand-in's own.
    qputenv("FAKE_EMULATOR_BOOT_DELAY_MS", "300");
    int failures = 0;
    for (const char *theme : {"light", "dark"}) {
        AppPreferences::write(*store, AppPreferences::appearanceTheme, QString::fromLatin1(theme));
        Appearance::instance().apply();
        const QString suffix = QStringLiteral("-") + QString::fromLatin1(theme) + QStringLiteral(".png");
        QDir(data).removeRecursively();

        {
            VMFleet fleet(data);
            failures += capture(fleet, output + QStringLiteral("/android-not-installed") + suffix) ? 0 : 1;
        }

        FakeAndroidSdk::install(VMPaths(data));
        VMFleet fleet(data);
        VMModel &device = *fleet.models().first();
        failures += capture(fleet, output + QStringLiteral("/android-stopped") + suffix) ? 0 : 1;

        device.timing.bootPollInterval = 100ms;
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

    QDir(QString::fromStdString(root)).removeRecursively();
    if (failures > 0) {
        err << failures << " screenshot(s) failed\n";
        return 1;
    }
    return 0;
}

// Takes the pictures of the iPhone and Windows pages that the README shows: the iPhone page on a machine
// without Xcode (what Linux always is), and the Windows page before and after a real ARM64-looking
// installer image passed its check. Run it on a display (scripts/screenshots.sh uses Xvfb); it never
// touches the user's own data or settings.
#include "ScreenshotSupport.h"
#include "ios/IOSModel.h"
#include "preferences/AppPreferences.h"
#include "ui/ios/IOSView.h"
#include "ui/windows/WindowsView.h"
#include "windows/WindowsModel.h"

#include <QCoroTask>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTextStream>

#include <functional>

namespace {

/**
 * Shows `page` as the `tab` of the real main window (at `size` when given), waits until `ready` holds
 * (and the layout has settled), and saves what the window shows.
 */
bool capture(const QString &tab, QWidget *page, const QString &file, const std::function<bool()> &ready,
             QSize size = {})
{
    {
        // The window opens on the tab used last, as it does for a user coming back to that page.
        const std::unique_ptr<QSettings> store = AppPreferences::openStore();
        AppPreferences::write(*store, AppPreferences::selectedVMTab, tab);
    }
    Screenshots::Shell shell;
    shell.window.addPage(tab, page);
    if (size.isValid()) {
        shell.window.resize(size);
    }
    return Screenshots::settle(shell.window, ready) && Screenshots::grabScreen(shell.window, file);
}

/** A small disc image laid out like Windows 11 ARM64 installation media (boot loader, setup, image). */
bool armInstallerImage(const QString &root, const QString &iso, QTextStream &err)
{
    const QStringList files{QStringLiteral("efi/boot/bootaa64.efi"), QStringLiteral("setup.exe"),
                            QStringLiteral("sources/install.wim"), QStringLiteral("sources/filler.bin")};
    for (const QString &name : files) {
        const QString path = root + u'/' + name;
        QDir().mkpath(QFileInfo(path).path());
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly)) {
            return false;
        }
        // The image must be larger than 1 MiB to count as a finished download.
        out.write(name.endsWith(QLatin1String("filler.bin")) ? QByteArray(1536 * 1024, 'f') : name.toUtf8());
    }
    QProcess genisoimage;
    genisoimage.setProcessChannelMode(QProcess::MergedChannels);
    genisoimage.start(QStringLiteral("/usr/bin/genisoimage"),
                      {QStringLiteral("-quiet"), QStringLiteral("-udf"), QStringLiteral("-V"),
                       QStringLiteral("CCCOMA_A64FRE"), QStringLiteral("-o"), iso, root});
    if (!genisoimage.waitForFinished(60000) || genisoimage.exitCode() != 0) {
        err << "genisoimage failed: " << genisoimage.readAll() << '\n';
        return false;
    }
    return true;
}

} // namespace

int Screenshots::takePictures(const QString &root, const QString &output, QTextStream &err)
{
    Screenshots::useTheme(QStringLiteral("light"));
    const QString data = root + QStringLiteral("/CorvaneBeta");
    int failures = 0;

    {
        // Without Xcode the inventory cannot be read: the page says so and shows what to install.
        IOSModel ios(data);
        const bool taken =
            capture(QStringLiteral("ios"), new IOSView(ios), output + QStringLiteral("/ios.png"), [&] {
                if (ios.loaded() && !ios.busy() && !ios.error().isEmpty()) {
                    // The alert telling the failure would cover the page it explains.
                    ios.clearError();
                }
                return ios.loaded() && !ios.busy() && ios.error().isEmpty();
            });
        failures += taken ? 0 : 1;
    }

    // Tall enough for the whole Windows page, as a user would size the window for it.
    const QSize windowsSize(1040, 880);
    WindowsModel windows(data);
    failures += capture(
                    QStringLiteral("windows"), new WindowsView(windows),
                    output + QStringLiteral("/windows-before-check.png"), [] { return true; }, windowsSize)
                    ? 0
                    : 1;

    const QString iso = root + QStringLiteral("/Downloads/Win11_24H2_Chinese_Simplified_Arm64.iso");
    QDir().mkpath(QFileInfo(iso).path());
    if (!armInstallerImage(root + QStringLiteral("/image"), iso, err)) {
        ++failures;
    } else {
        QCoro::waitFor(windows.useISO(iso));
        if (!windows.confirmedARM()) {
            err << "the image did not pass its check: " << windows.error() << '\n';
            ++failures;
        } else {
            failures +=
                capture(
                    QStringLiteral("windows"), new WindowsView(windows),
                    output + QStringLiteral("/windows-after-check.png"), [] { return true; }, windowsSize)
                    ? 0
                    : 1;
        }
    }

    return failures;
}

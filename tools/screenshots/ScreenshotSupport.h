#pragma once

// What every screenshot program shares besides its main: the theme, the real main window, and waiting
// for it to settle before a picture.
#include "preferences/AppPreferences.h"
#include "ui/shell/AppDelegate.h"
#include "ui/shell/AppTopTabBar.h"
#include "ui/shell/MainWindow.h"
#include "ui/style/Appearance.h"

#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QTextStream>
#include <QWidget>
#include <QWindow>

#include <functional>
#include <memory>

namespace Screenshots {

/** Stores `theme` ("light", "dark") as the appearance and applies it to the application. */
inline void useTheme(const QString &theme)
{
    const std::unique_ptr<QSettings> store = AppPreferences::openStore();
    AppPreferences::write(*store, AppPreferences::appearanceTheme, theme);
    Appearance::instance().apply();
}

/** The real main window as the program builds it, over the sandbox's preferences. */
struct Shell
{
    std::unique_ptr<QSettings> store = AppPreferences::openStore();
    AppDelegate delegate;
    MainWindow window{*store, delegate};
};

/**
 * Shows `window`, waits until `ready` holds when given, and then until layouts have settled and any
 * slide or fade has finished.
 */
inline bool settle(QWidget &window, const std::function<bool()> &ready = {})
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window) || (ready && !QTest::qWaitFor(ready, 30000))) {
        return false;
    }
    QTest::qWait(800);
    // A tab chosen before the window was laid out slid towards where its button was then; draw it
    // again now that the buttons are in place.
    for (AppTopTabBar *bar : window.findChildren<AppTopTabBar *>()) {
        bar->update();
    }
    QTest::qWait(100);
    return true;
}

inline bool save(const QPixmap &shot, const QString &file)
{
    return !shot.isNull() && shot.save(file, "PNG");
}

/** Saves what the display shows of `window`. */
inline bool grabScreen(QWidget &window, const QString &file)
{
    return save(window.screen()->grabWindow(window.winId()), file);
}

/**
 * The pictures of one program, saved into `output`; gives how many failed. The shared main calls it
 * inside the application, over a sandbox under `root` that it removes afterwards.
 */
int takePictures(const QString &root, const QString &output, QTextStream &err);

} // namespace Screenshots

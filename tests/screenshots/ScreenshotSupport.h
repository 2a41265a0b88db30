#pragma once

// What every screenshot program shares: a sandbox for the user's folders, the output folder from the
// command line, the real main window, and waiting for it to settle before a picture.
#include "app/AppPreferences.h"
#include "ui/shell/AppDelegate.h"
#include "ui/shell/AppTopTabBar.h"
#include "ui/shell/MainWindow.h"
#include "ui/style/Appearance.h"

#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <QStringList>
#include <QTest>
#include <QTextStream>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

namespace Screenshots {

/**
 * Points HOME and the XDG folders at a fresh folder under /tmp and returns it, so that nothing a
 * program does touches the user's own data or settings. Call it before the application exists.
 */
inline QString sandbox()
{
    std::string pattern = "/tmp/corvane-screenshots-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    for (const char *variable :
         {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const std::string path = pattern + "/" + variable;
        QDir().mkpath(QString::fromStdString(path));
        ::setenv(variable, path.c_str(), 1);
    }
    // Sockets go here; the runtime folder must be the user's alone.
    QFile::setPermissions(QString::fromStdString(pattern + "/XDG_RUNTIME_DIR"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return QString::fromStdString(pattern);
}

/** The output folder named on the command line, created; empty (after the usage) when it is missing. */
inline QString outputFolder(const QStringList &arguments, const char *program, QTextStream &err)
{
    if (arguments.size() != 2) {
        err << "usage: " << program << " OUTPUT_FOLDER\n";
        return {};
    }
    const QString output = QDir(arguments.at(1)).absolutePath();
    QDir().mkpath(output);
    return output;
}

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

/** Removes the sandbox and gives the program's exit status. */
inline int finish(const QString &sandboxRoot, int failures, QTextStream &err)
{
    QDir(sandboxRoot).removeRecursively();
    if (failures > 0) {
        err << failures << " screenshot(s) failed\n";
        return 1;
    }
    return 0;
}

} // namespace Screenshots

// Takes the pictures of the settings page (top and bottom), the global log, the developer sidebar and the experimental
// phone tool page that the README shows, inside the real main window. Run it on a display
// (scripts/screenshots.sh uses Xvfb); it never touches the user's own data or settings.
#include "ScreenshotSupport.h"
#include "android/VMFleet.h"
#include "preferences/AppPreferences.h"
#include "ios/vphone/VPhoneModel.h"
#include "services/AppLog.h"
#include "services/GlobalLogModel.h"
#include "ui/android/FleetView.h"
#include "ui/logs/DeveloperLogSidebar.h"
#include "ui/logs/GlobalLogView.h"
#include "ui/settings/AppSettingsView.h"
#include "ui/settings/GlobalLogSheet.h"
#include "ui/style/PillActionButton.h"
#include "ui/vphone/VPhoneBetaView.h"

#include <QAbstractButton>
#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTextStream>

#include <functional>

namespace {

/** A morning's worth of entries, as the models would have written them. */
void writeSampleLog()
{
    using AppLog::error;
    using AppLog::info;
    using AppLog::warn;
    const QString emulator = QStringLiteral("/Users/demo/Library/Application Support/CorvaneBeta/sdk/emulator/emulator");
    info(QStringLiteral("应用"), QStringLiteral("Corvane Beta 已启动"));
    info(QStringLiteral("导航"), QStringLiteral("切换到 Android"));
    info(QStringLiteral("交互"), QStringLiteral("点击 · Android"));
    info(QStringLiteral("命令"), QStringLiteral("开始：") + AppLog::command(emulator, {QStringLiteral("-accel-check")}));
    info(QStringLiteral("命令"), QStringLiteral("完成：") + AppLog::command(emulator, {QStringLiteral("-accel-check")})
                                    + QStringLiteral("\naccel:\n0\nHVF (version 1.0) is installed and usable.\naccel"));
    info(QStringLiteral("Android"), QStringLiteral("安卓 1 使用控制台端口 5580"));
    info(QStringLiteral("Android"), QStringLiteral("正在启动 安卓 1"));
    warn(QStringLiteral("Android"), QStringLiteral("开机耗时较长，模拟器仍在运行"));
    info(QStringLiteral("Android"), QStringLiteral("安卓 1 已开机"));
    info(QStringLiteral("快照"), QStringLiteral("已创建快照 安卓 1 · 2026-03-01 08:20"));
    info(QStringLiteral("iPhone"), QStringLiteral("已创建 iPhone 15 (Corvane)"));
    error(QStringLiteral("命令"), QStringLiteral("失败：/usr/bin/xcrun simctl boot 5E1C…\nUnable to boot device in current state: Booted"));
    info(QStringLiteral("Linux"), QStringLiteral("Linux 已启动，内存 4 GB"));
    info(QStringLiteral("Windows"), QStringLiteral("已在 UTM 中打开 Windows 11"));
    info(QStringLiteral("设置"), QStringLiteral("打开全局日志"));
    AppLog::readTail(0); // everything above is on disk before the pictures
}

using Screenshots::grabScreen;
using Screenshots::save;
using Screenshots::settle;
using Screenshots::Shell;

bool settingsPicture(VMFleet &fleet, const QString &output)
{
    Shell shell;
    shell.window.addPage(QStringLiteral("settings"), new AppSettingsView(fleet));
    shell.window.selectTab(QStringLiteral("settings"));
    shell.window.resize(1100, 880);
    if (!settle(shell.window) || !grabScreen(shell.window, output + QStringLiteral("/settings.png"))) {
        return false;
    }
    // The lower sections: the phone tool, developer mode, the log and the data folders.
    for (QScrollArea *area : shell.window.findChildren<QScrollArea *>()) {
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
    }
    QTest::qWait(300);
    return grabScreen(shell.window, output + QStringLiteral("/settings-diagnostics.png"));
}

bool globalLogPicture(VMFleet &fleet, const QString &output)
{
    Shell shell;
    auto *settings = new AppSettingsView(fleet);
    shell.window.addPage(QStringLiteral("settings"), settings);
    shell.window.selectTab(QStringLiteral("settings"));
    if (!settle(shell.window)) {
        return false;
    }
    for (QAbstractButton *button : settings->findChildren<QAbstractButton *>()) {
        if (button->text() == QStringLiteral("查看全局日志")) {
            button->click();
        }
    }
    GlobalLogSheet *sheet = settings->globalLogSheet();
    if (!sheet || !QTest::qWaitForWindowExposed(sheet)) {
        return false;
    }
    QTest::qWait(800);
    return grabScreen(*sheet, output + QStringLiteral("/global-log.png"));
}

bool sidebarPicture(VMFleet &fleet, const QString &output)
{
    // The window places the sidebar itself; here it stands beside the window's content the same way.
    QWidget row;
    auto *layout = new QHBoxLayout(&row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Shell shell;
    shell.window.setWindowFlags(Qt::Widget);
    shell.window.addPage(QStringLiteral("android"), new FleetView(fleet));
    shell.window.selectTab(QStringLiteral("android"));
    auto *divider = new QFrame;
    divider->setFrameShape(QFrame::VLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setForegroundRole(QPalette::Mid);
    auto *sidebar = new DeveloperLogSidebar;
    sidebar->setFixedWidth(DeveloperLogSidebar::preferredWidth);
    layout->addWidget(&shell.window, 1);
    layout->addWidget(divider);
    layout->addWidget(sidebar);
    row.setWindowTitle(QStringLiteral("Corvane Beta"));
    row.resize(1380, 780);
    if (!settle(row)) {
        return false;
    }
    // Wider than the virtual screen, so drawn directly rather than read back from the display.
    return save(row.grab(), output + QStringLiteral("/developer-sidebar.png"));
}

bool vphonePicture(const QString &output)
{
    VPhoneModel model(QStringLiteral(CORVANE_FAKES_DIR "/csrutil"));
    Shell shell;
    AppPreferences::write(*shell.store, AppPreferences::experimentalVPhoneEnabled, true);
    shell.window.applyPreferences();
    auto *page = new VPhoneBetaView(model);
    shell.window.addPage(QStringLiteral("vphone-beta"), page);
    shell.window.selectTab(QStringLiteral("vphone-beta"));
    shell.window.resize(1100, 880);
    if (!settle(shell.window)) {
        return false;
    }
    page->checkSipButton()->click();
    if (!QTest::qWaitFor([&model] { return !model.checking(); }, 20000)) {
        return false;
    }
    QTest::qWait(300);
    return grabScreen(shell.window, output + QStringLiteral("/vphone.png"));
}

} // namespace

int Screenshots::takePictures(const QString &root, const QString &output, QTextStream &err)
{
    Screenshots::useTheme(QStringLiteral("light"));
    writeSampleLog();
    const QString data = root + QStringLiteral("/CorvaneBeta");
    VMFleet fleet(data);

    int failures = 0;
    const QList<std::pair<const char *, std::function<bool()>>> pictures{
        {"settings.png", [&] { return settingsPicture(fleet, output); }},
        {"global-log.png", [&] { return globalLogPicture(fleet, output); }},
        {"developer-sidebar.png", [&] { return sidebarPicture(fleet, output); }},
        {"vphone.png", [&] { return vphonePicture(output); }},
    };
    for (const auto &[name, take] : pictures) {
        if (!take()) {
            err << name << " failed\n";
            ++failures;
        }
    }

    return failures;
}

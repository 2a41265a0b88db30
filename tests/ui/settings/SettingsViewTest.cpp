#include "../ViewHelpers.h"
#include "FakeHost.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "Wait.h"
#include "WidgetFinder.h"
#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "platform/Host.h"
#include "preferences/AppPreferences.h"
#include "ui/logs/GlobalLogView.h"
#include "ui/logs/LogTextView.h"
#include "ui/settings/AppSettingsView.h"
#include "ui/settings/DeviceLogSheet.h"
#include "ui/settings/GlobalLogSheet.h"
#include "ui/style/SoftGroupBox.h"
#include "ui/style/Stepper.h"
#include "ui/style/ToggleSwitch.h"

#include <QComboBox>
#include <QDir>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

using P = AppPreferences;
using ViewHelpers::labelContaining;
using WidgetFinder::button;

class SettingsViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir(Host::vphoneRoot()).removeRecursively();
    }

    std::unique_ptr<AppSettingsView> open()
    {
        fleet = std::make_unique<VMFleet>(root);
        auto view = std::make_unique<AppSettingsView>(*fleet);
        view->resize(900, 700);
        view->show();
        return view;
    }

    FakeHost host{8, 8 * FakeHost::GiB};
    std::unique_ptr<QSettings> store = P::openStore();
    QTemporaryDir dir;
    QString root = dir.filePath(QStringLiteral("CorvaneBeta"));
    std::unique_ptr<VMFleet> fleet;
};

TEST_F(SettingsViewTest, EachControlWritesAndFollowsItsPreferenceWithinTheHostAndEachLinkReachesItsPlace)
{
    auto view = open();
    QStringList titles;
    for (const SoftGroupBox *section : view->sections()) {
        titles.append(section->title());
    }
    EXPECT_EQ(titles, (QStringList{QStringLiteral("整体外观"), QStringLiteral("新设备默认配置"),
                                   QStringLiteral("高级 · 多开资源"),
                                   QStringLiteral("实验性功能 · vphone-cli"), QStringLiteral("数据与诊断")}));

    EXPECT_EQ(view->themePicker()->currentText(), QStringLiteral("跟随系统"));
    view->themePicker()->setCurrentIndex(2);
    Q_EMIT view->themePicker()->activated(2);
    EXPECT_EQ(P::read(*store, P::appearanceTheme), QStringLiteral("dark"));
    view->accentPicker()->setCurrentIndex(3);
    Q_EMIT view->accentPicker()->activated(3);
    EXPECT_EQ(P::read(*store, P::appearanceAccent), QStringLiteral("orange"));

    view->animationsSwitch()->click();
    EXPECT_FALSE(P::read(*store, P::appearanceAnimations));
    view->glassSwitch()->click();
    EXPECT_FALSE(P::read(*store, P::appearanceGlass));
    view->softwareGPUSwitch()->click();
    EXPECT_TRUE(P::read(*store, P::newDeviceSoftwareGPU));
    view->vphoneSwitch()->click();
    EXPECT_TRUE(P::read(*store, P::experimentalVPhoneEnabled));

    P::write(*store, P::appearanceTheme, QStringLiteral("light"));
    EXPECT_EQ(view->themePicker()->currentText(), QStringLiteral("浅色"));
    P::write(*store, P::appearanceAccent, QStringLiteral("pink"));
    EXPECT_EQ(view->accentPicker()->currentIndex(), -1) << "an unknown accent is none of the choices";
    P::write(*store, P::experimentalVPhoneEnabled, false);
    EXPECT_FALSE(view->vphoneSwitch()->isChecked());

    // The steppers' ranges follow the host's memory.
    EXPECT_EQ(view->budgetStepper()->range(), (P::Range{1, 4}));
    EXPECT_EQ(view->memoryStepper()->range(), (P::Range{1, 4}));
    EXPECT_EQ(view->coresStepper()->range(), (P::Range{1, 8}));
    EXPECT_EQ(view->budgetStepper()->text(), QStringLiteral("安卓 + Linux 总内存上限：4 GB"));
    EXPECT_TRUE(view->budgetNote()->text().startsWith(QStringLiteral("最多 4 GB，为 macOS 至少保留 4 GB。")));

    // Stepping stores at once and stops at the end of the range.
    view->memoryStepper()->incrementButton()->click();
    view->memoryStepper()->incrementButton()->click();
    EXPECT_EQ(P::read(*store, P::newDeviceMemoryGB), 4);
    view->budgetStepper()->decrementButton()->click();
    EXPECT_EQ(P::multiMemoryGB(*store), 3);
    EXPECT_EQ(P::memoryBudgetMB(*store), 3 * 1024);

    // A value stored beyond what this host allows shows as the value in force, and is stored as shown.
    P::setMultiMemoryGB(*store, 10);
    EXPECT_EQ(view->budgetStepper()->value(), 4);
    EXPECT_EQ(P::multiMemoryGB(*store), 4);
    view.reset();
    P::write(*store, P::newDeviceCores, 12);
    P::write(*store, P::newDeviceMemoryGB, 0);
    view = open();
    EXPECT_EQ(view->coresStepper()->text(), QStringLiteral("CPU：8 核"));
    EXPECT_EQ(P::read(*store, P::newDeviceCores), 8);
    EXPECT_EQ(view->memoryStepper()->text(), QStringLiteral("内存：1 GB"));
    EXPECT_EQ(P::read(*store, P::newDeviceMemoryGB), 1);

    view.reset();
    host.memory = 4 * FakeHost::GiB;
    host.processors = 2;
    view = open();
    // The ranges for each host are AppPreferencesTest's; a page opened later follows the host it finds.
    EXPECT_EQ(view->coresStepper()->range(), (P::Range{1, 2}));
    EXPECT_TRUE(view->budgetNote()->text().startsWith(QStringLiteral("最多 1 GB，")));

    // Developer mode, the phone tool, the logs and the folders.
    view->developerSwitch()->click();
    EXPECT_TRUE(P::read(*store, P::developerModeEnabled));
    view->developerSwitch()->click();
    EXPECT_FALSE(P::read(*store, P::developerModeEnabled));
    // A change made elsewhere moves the switch but is not this page's to record.
    P::write(*store, P::developerModeEnabled, true);
    EXPECT_TRUE(view->developerSwitch()->isChecked());

    EXPECT_EQ(LogProbe::messages(QStringLiteral("开发者模式")),
              (QStringList{QStringLiteral("INFO 用户已开启开发者模式"),
                           QStringLiteral("INFO 用户已关闭开发者模式")}));

    // The phone tool is looked for in Corvane's folder.
    EXPECT_EQ(view->toolStatus()->text(), QStringLiteral("未检测到 vphone-cli，请先放置官方工具。"));

    const QString folder = Host::vphoneRoot() + QStringLiteral("/vphone-engine");
    button(*view, QStringLiteral("打开工具目录"))->click();
    EXPECT_TRUE(QFileInfo(folder).isDir()) << "made so the user has a place to put the tool";
    EXPECT_EQ(host.opened().last(), QUrl::fromLocalFile(folder));
    Q_EMIT labelContaining(*view, QStringLiteral("查看项目主页"))->linkActivated(QString());
    EXPECT_EQ(host.opened().last(), QUrl(QStringLiteral("https://github.com/Lakr233/vphone-cli")));

    const QString tool = folder + QStringLiteral("/vphone-cli.app");
    ASSERT_TRUE(QDir().mkpath(tool + QStringLiteral("/Contents/MacOS")));
    view->hide();
    view->show();
    EXPECT_EQ(view->toolStatus()->text(), QStringLiteral("已检测到 vphone-cli：") + tool);
    EXPECT_TRUE(view->toolStatus()->textInteractionFlags() & Qt::TextSelectableByMouse);

    // The global log opens in a sheet and the opening is recorded.
    button(*view, QStringLiteral("查看全局日志"))->click();
    GlobalLogSheet *sheet = view->globalLogSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_GE(sheet->width(), 920);
    EXPECT_GE(sheet->height(), 620);
    EXPECT_TRUE(LogProbe::entries().last().endsWith(QStringLiteral("] [INFO] [设置] 打开全局日志")));
    EXPECT_TRUE(waitUntil([&] {
        return sheet->view()->logText()->editor()->toPlainText().contains(QStringLiteral("打开全局日志"));
    }));

    button(*sheet, QStringLiteral("关闭"))->click();
    EXPECT_TRUE(waitUntil([&] { return view->globalLogSheet() == nullptr; }, 1000));

    // The current device: its name, its folders and its run log.
    VMModel &device = *fleet->current();
    EXPECT_EQ(view->currentDevice()->text(), QStringLiteral("当前设备：安卓 1"));
    device.setName(QStringLiteral("测试机"));
    EXPECT_EQ(view->currentDevice()->text(), QStringLiteral("当前设备：测试机"));

    button(*view, QStringLiteral("打开全部设备数据目录"))->click();
    EXPECT_EQ(host.opened().last(), QUrl::fromLocalFile(fleet->shared().root()));
    button(*view, QStringLiteral("打开当前设备目录"))->click();
    EXPECT_EQ(host.opened().last(), QUrl::fromLocalFile(device.paths().root()));

    ASSERT_TRUE(writeFile(device.paths().emulatorLog(), "emulator: INFO: boot completed\n"));
    button(*view, QStringLiteral("查看当前设备日志"))->click();
    DeviceLogSheet *runLog = view->deviceLogSheet();
    ASSERT_NE(runLog, nullptr);
    EXPECT_EQ(runLog->heading()->text(), QStringLiteral("测试机 · 运行日志"));
    EXPECT_EQ(runLog->logText()->editor()->toPlainText(), QStringLiteral("emulator: INFO: boot completed\n"));
    button(*runLog, QStringLiteral("关闭"))->click();
    EXPECT_TRUE(waitUntil([&] { return view->deviceLogSheet() == nullptr; }, 1000));
}

} // namespace

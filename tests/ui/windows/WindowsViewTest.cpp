#include "ui/windows/WindowsView.h"
#include "../../windows/WindowsFixture.h"
#include "../ViewHelpers.h"
#include "Wait.h"
#include "WidgetFinder.h"
#include "ui/style/PillActionButton.h"
#include "ui/style/Stepper.h"
#include "ui/style/SymbolLabel.h"
#include "ui/windows/WindowsSettingsGroup.h"
#include "ui/windows/WindowsSnapshotGroup.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

using namespace ViewHelpers;
using namespace WidgetFinder;

namespace {

const QString passed = QStringLiteral("已确认 ARM64 启动文件和 Windows 安装文件（非整盘哈希校验）");

class WindowsViewTest : public WindowsFixture
{
protected:
    /** The page over `shown`, or over the fixture's model. */
    WindowsView &open(WindowsModel *shown = nullptr)
    {
        windows = shown ? shown : &model();
        view = std::make_unique<WindowsView>(*windows);
        view->resize(980, 900);
        view->show();
        return *view;
    }

    bool settled()
    {
        return waitUntil([this] { return !windows->busy(); }, 15000);
    }

    void writeSettings(const QString &isoPath, const QString &projectPath = {})
    {
        writeFile(settingsFile(), WindowsConfiguration{4, 4, 64, isoPath, projectPath}.toJson());
    }
    QString settingsFile() const { return dataRoot() + QStringLiteral("/windows-configuration.json"); }

    PillActionButton *createButton() const { return view->settings()->createButton(); }
    WindowsSnapshotGroup &snapshots() const { return *view->snapshots(); }

    WindowsModel *windows = nullptr;
    std::unique_ptr<WindowsView> view;
};

} // namespace

TEST_F(WindowsViewTest, CreatingWaitsForAnIsoThatPassedItsCheckAndProjectAndSnapshotActionsFollowTheMachine)
{
    open();
    // The check's line, its symbol, and whether a machine may be created.
    const auto check = [&] {
        return QStringList{view->isoCheckLabel()->text(), view->isoCheckSymbol()->symbol(),
                           createButton()->isEnabled() ? QStringLiteral("create") : QString()};
    };
    EXPECT_FALSE(view->recheckButton()->isVisibleTo(view.get())) << "nothing to check again";
    EXPECT_EQ(view->isoPathLabel()->text(), QStringLiteral("尚未选择 ISO"));
    EXPECT_FALSE(view->preparationLabel()->isVisibleTo(view.get())) << "nothing is checked on its own";

    // A path kept from an earlier run is shown and can be checked again, but proves nothing yet.
    const QString iso = windowsISO();
    writeSettings(iso);
    open();
    EXPECT_EQ(view->isoPathLabel()->text(), iso);
    ASSERT_TRUE(view->recheckButton()->isVisibleTo(view.get()));
    EXPECT_FALSE(createButton()->isEnabled());
    view->recheckButton()->click();
    ASSERT_TRUE(settled());
    EXPECT_EQ(check(),
              (QStringList{passed, QStringLiteral("checkmark.circle.fill"), QStringLiteral("create")}));
    EXPECT_TRUE(view->preparationLabel()->isVisibleTo(view.get()));

    // Open, associate, snapshot, rollback, snapshot menu.
    const auto enabled = [&] {
        return QList<bool>{view->openButton()->isEnabled(), view->associateButton()->isEnabled(),
                           snapshots().createButton()->isEnabled(), snapshots().rollbackButton()->isEnabled(),
                           snapshots().menuButton()->isEnabled()};
    };
    EXPECT_EQ(enabled(), (QList<bool>{false, true, false, false, false}));
    EXPECT_FALSE(snapshots().openFolderAction()->isVisible());

    const QString project = path(QStringLiteral("vm/Windows ARM64.utm"));
    bundle(project, "v1");
    interaction.files.enqueue(project);
    view->associateButton()->click();
    ASSERT_TRUE(waitUntil([&] { return windows->projectPath() == project; }));
    EXPECT_EQ(enabled(), (QList<bool>{true, true, true, false, false})) << "no snapshot yet";
    EXPECT_EQ(view->messageLabel()->text(), QStringLiteral("已关联现有虚拟机。其硬件设置请在 UTM 中修改。"));
    utmApp();
    view->openButton()->click();
    ASSERT_EQ(host.openedWithApplication().size(), 1);
    EXPECT_EQ(host.openedWithApplication().first().second, project);

    // A clone that takes its time keeps the model busy long enough to look at the page.
    host.clone = [](const QString &from, const QString &to) {
        return ToolCommand{
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), QStringLiteral("sleep 0.6 && cp -R \"$0\" \"$1\""), from, to}};
    };
    snapshots().createButton()->click();
    ASSERT_TRUE(windows->busy());
    EXPECT_TRUE(view->projectProgress()->isVisibleTo(view.get()) &&
                snapshots().progress()->isVisibleTo(view.get()));
    EXPECT_EQ(enabled(), (QList<bool>{false, false, false, false, false}));
    EXPECT_FALSE(view->chooseISOButton()->isEnabled() || view->findISOButton()->isEnabled() ||
                 view->recheckButton()->isEnabled());
    EXPECT_TRUE(createButton()->isEnabled()) << "the model itself turns a busy create away";
    ASSERT_TRUE(settled());
    EXPECT_FALSE(view->projectProgress()->isVisibleTo(view.get()));
    EXPECT_TRUE(snapshots().messageLabel()->text().startsWith(QStringLiteral("最近快照：")));
    EXPECT_EQ(enabled(), (QList<bool>{true, true, true, true, true}));
    ASSERT_TRUE(snapshots().openFolderAction()->isVisible());
    snapshots().openFolderAction()->trigger();
    EXPECT_EQ(host.opened().last(),
              QUrl::fromLocalFile(path(QStringLiteral("vm/.Corvane Snapshots/Windows ARM64.utm"))));

    // Cancelling the rollback leaves the machine as UTM left it; confirming restores the snapshot.
    writeFile(project + QStringLiteral("/config.plist"), "<plist>v2</plist>");
    snapshots().rollbackButton()->click();
    answerAlert(
        *view, QStringLiteral("回滚 Windows 到最近快照？"),
        QStringLiteral("请确认 Windows 已在 UTM 中完全关机并关闭窗口。当前 .utm 数据会被最近快照替换。"),
        QStringLiteral("取消"));
    EXPECT_TRUE(settled());
    EXPECT_EQ(readFile(project + QStringLiteral("/config.plist")), "<plist>v2</plist>");
    snapshots().rollbackButton()->click();
    answer(alert(*view, QStringLiteral("回滚 Windows 到最近快照？")), QStringLiteral("一键回滚"));
    ASSERT_TRUE(waitUntil([&] {
        return !windows->busy() && windows->message().startsWith(QStringLiteral("Windows 已回滚到 "));
    })) << windows->error().toStdString();

    snapshots().deleteAction()->trigger();
    answerAlert(*view, QStringLiteral("删除最近 Windows 快照？"), QString(), QStringLiteral("删除快照"));
    EXPECT_TRUE(windows->snapshots().isEmpty());
    EXPECT_EQ(snapshots().messageLabel()->text(), QStringLiteral("尚未创建快照"));
    EXPECT_EQ(enabled(), (QList<bool>{true, true, true, false, false}));
    EXPECT_TRUE(snapshots().openFolderAction()->isVisible()) << "the folder of snapshots stays";

    // Choosing an x64 image takes the permission away again and says why.
    const QString x64 = path(QStringLiteral("x64.iso"));
    image(tree(QStringLiteral("x64"), x64Files), x64);
    interaction.files.enqueue(x64);
    view->chooseISOButton()->click();
    ASSERT_TRUE(waitUntil([&] { return windows->configuration().isoPath == x64; }));
    ASSERT_TRUE(settled());
    EXPECT_EQ(check(),
              (QStringList{QStringLiteral("镜像检查未通过"), QStringLiteral("info.circle"), QString()}));
    answerAlert(*view, QStringLiteral("Windows 虚拟机"), armMessage, QStringLiteral("知道了"));
}

TEST_F(WindowsViewTest, SteppersStayWithinTheHostAndSaveAtOnceAndLinksOnlyOpenTheirPages)
{
    host.processors = 6;
    host.memory = 12 * GiB;
    host.capacity = 200 * GiB;
    open();
    Stepper &cores = *view->settings()->coresStepper();
    Stepper &memory = *view->settings()->memoryStepper();
    Stepper &disk = *view->settings()->diskStepper();

    // Each step is stored and described before anything else happens (the description itself is
    // WindowsModelTest's, where each stepper stops is WindowsRulesTest's and StepperTest's).
    for (QAbstractButton *step : {cores.incrementButton(), cores.incrementButton(), disk.incrementButton()}) {
        step->click();
    }
    for (int i = 0; i < 5; ++i) {
        memory.incrementButton()->click();
    }
    EXPECT_EQ((QStringList{cores.text(), memory.text(), disk.text()}),
              (QStringList{QStringLiteral("CPU：6 核"), QStringLiteral("内存：6 GB"),
                           QStringLiteral("磁盘：80 GB")}));
    EXPECT_FALSE(cores.incrementButton()->isEnabled() || memory.incrementButton()->isEnabled());
    EXPECT_EQ(WindowsConfiguration::fromJson(readFile(settingsFile())),
              (WindowsConfiguration{6, 6, 80, {}, {}}));
    EXPECT_TRUE(
        view->preparationLabel()->text().endsWith(QStringLiteral("预设：6 核 CPU / 6GB 内存 / 80GB 磁盘")));

    // The links only open their pages.
    const QList<QAbstractButton *> links = view->links();
    ASSERT_EQ(links.size(), 4);
    QStringList linkTexts;
    for (QAbstractButton *link : links) {
        linkTexts.append(link->text());
        link->click();
    }
    EXPECT_EQ(linkTexts, (QStringList{QStringLiteral("1. UTM 官方下载页（仅打开网页）"),
                                      QStringLiteral("2. 微软 Windows 11 ARM64 ISO 下载页"),
                                      QStringLiteral("3. UTM Windows 安装与驱动说明"),
                                      QStringLiteral("微软官方下载 Windows 11 ARM64")}));
    const QUrl microsoft(QStringLiteral("https://www.microsoft.com/software-download/windows11arm64"));
    EXPECT_EQ(host.opened(),
              (QList<QUrl>{QUrl(QStringLiteral("https://mac.getutm.app/")), microsoft,
                           QUrl(QStringLiteral("https://docs.getutm.app/guides/windows/")), microsoft}));
    EXPECT_TRUE(commandsStarted().isEmpty());
    EXPECT_FALSE(windows->busy());
}

#ifndef Q_OS_MACOS
TEST_F(WindowsViewTest, WhereUTMCannotRunThePageSaysBuildingAndOpeningNeedAMac)
{
    const QString iso = windowsISO();
    const QString project = path(QStringLiteral("Windows ARM64.utm"));
    bundle(project);
    writeSettings(iso, project);
    // The model as this system makes it, not the fixture's Mac.
    WindowsModel &local = model(listing(), Host::utmSupported());
    open(&local);
    await(local.useISO(iso));
    ASSERT_TRUE(local.confirmedARM()) << local.error().toStdString();

    const QString note = QStringLiteral(
        "UTM 只有 macOS 版：在本机可以检查镜像，并关联已有的 .utm 虚拟机、为它做快照；创建和打开 Windows "
        "虚拟机需要在装有 UTM 的 Mac 上进行。");
    EXPECT_TRUE(showsLabel(*view, note)) << "the page says it plainly";
    EXPECT_FALSE(createButton()->isEnabled());
    EXPECT_FALSE(view->openButton()->isEnabled());
    EXPECT_TRUE(view->associateButton()->isEnabled());
    EXPECT_TRUE(snapshots().createButton()->isEnabled());
}
#endif

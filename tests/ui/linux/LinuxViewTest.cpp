// The Linux page over the fake engine: what it shows, what it saves, and what its buttons do.
#include "../ViewHelpers.h"
#include "LinuxPageFixture.h"

#include "LogProbe.h"
#include "platform/Host.h"
#include "ui/linux/LinuxRules.h"
#include "ui/linux/LinuxSettingsPanel.h"
#include "ui/linux/LinuxSnapshotPanel.h"
#include "ui/linux/Reveal.h"
#include "ui/linux/ScreenPlaceholder.h"
#include "ui/style/ElidedLabel.h"
#include "ui/style/PillActionButton.h"
#include "ui/style/Stepper.h"
#include "ui/style/ToggleSwitch.h"

#include <QAccessible>
#include <QComboBox>
#include <QJsonObject>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace WidgetFinder;
using ViewHelpers::answerAlert;

TEST_F(LinuxPageTest, TheHeaderFooterTheDownloadLinksUntilAnISOIsChosenAndTheSettingsSavedWhileStopped)
{
    LinuxView &page = show();

    // The texts themselves are LinuxRulesTest's; the page must show the one of this host's engine.
#ifdef Q_OS_MACOS
    EXPECT_TRUE(
        ViewHelpers::showsLabel(page, LinuxRules::footerText(Host::LinuxEngine::AppleVirtualization)));
#else
    EXPECT_TRUE(ViewHelpers::showsLabel(page, LinuxRules::footerText(Host::LinuxEngine::Qemu)));
    EXPECT_EQ(ViewHelpers::labelContaining(page, QStringLiteral("Apple Virtualization")), nullptr);
#endif

    QAccessibleInterface *name = QAccessible::queryAccessibleInterface(page.settings()->isoName());
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->role(), QAccessible::StaticText);
    EXPECT_EQ(name->text(QAccessible::Name), QStringLiteral("尚未选择系统镜像"));

    // The header asks for the window and opens the data folder.
    QSignalSpy requested(&page, &LinuxView::openSeparateWindowRequested);
    button(page, QStringLiteral("独立窗口"))->click();
    EXPECT_EQ(requested.size(), 1);
    EXPECT_FALSE(model->displayInSeparateWindow()) << "the window itself says when it is shown";

    button(page, QStringLiteral("数据目录"))->click();
    EXPECT_EQ(host.opened(), QList<QUrl>{QUrl::fromLocalFile(base)});
    EXPECT_TRUE(QFileInfo(base).isDir()) << "a folder that is not there yet cannot be opened";

    EXPECT_EQ(page.placeholder()->title(), QStringLiteral("Linux 画面将在这里显示"));
    EXPECT_EQ(page.placeholder()->detail(),
              QStringLiteral("使用 ARM64 / aarch64 ISO；不支持 x86 / AMD64 镜像。"));

    EXPECT_TRUE(page.downloads()->isRevealed());
    EXPECT_TRUE(page.downloads()->isVisible());
    QAbstractButton *ubuntu = button(page, QStringLiteral("Ubuntu ARM64"));
    ASSERT_NE(ubuntu, nullptr);
    ubuntu->click();
    EXPECT_EQ(host.opened(), (QList<QUrl>{QUrl::fromLocalFile(base),
                                          QUrl(QStringLiteral("https://ubuntu.com/download/server/arm"))}));

    // A desktop with nothing to open them with says so, and where to go by hand.
    host.urlsOpen = false;
    const QString byHand = QStringLiteral("系统没有可以打开它的程序，请手动打开：\n");
    button(page, QStringLiteral("数据目录"))->click();
    answerAlert(page, QStringLiteral("无法打开文件夹"), byHand + base, QStringLiteral("知道了"));
    ubuntu->click();
    answerAlert(page, QStringLiteral("无法打开网页"),
                byHand + QStringLiteral("https://ubuntu.com/download/server/arm"), QStringLiteral("知道了"));
    EXPECT_TRUE(LogProbe::text().contains(QStringLiteral("[WARN] [应用] 无法打开文件夹 ") + base));
    host.urlsOpen = true;

    // An x86 image is refused with the reason, and the links stay.
    chooseISO(makeSparseFile(dir.filePath(QStringLiteral("ubuntu-24.04-live-server-amd64.iso")), 2 * MiB));
    answerAlert(page, QStringLiteral("Linux 提示"),
                QStringLiteral("这台 Mac 需要 ARM64 / aarch64 Linux 镜像，不能使用 x86 / AMD64 ISO。"),
                QStringLiteral("知道了"));
    EXPECT_TRUE(page.downloads()->isRevealed());

    chooseISO(iso);
    EXPECT_EQ(name->text(QAccessible::Name), QStringLiteral("debian-12.5.0-arm64-netinst.iso"));
    EXPECT_FALSE(page.downloads()->isRevealed());
    ASSERT_TRUE(waitUntil([&] { return page.downloads()->isHidden(); }, 2000)) << "it leaves after its fade";

    // A name too long for its row loses its middle, not its end.
    const QString longName =
        QStringLiteral("debian-12.5.0-arm64-") + QString(200, u'x') + QStringLiteral("-netinst.iso");
    chooseISO(makeSparseFile(dir.filePath(longName), 2 * MiB));
    const QString shown = page.settings()->isoName()->shownText();
    EXPECT_LT(shown.size(), longName.size());
    EXPECT_TRUE(shown.startsWith(QStringLiteral("debian-12")) &&
                shown.endsWith(QStringLiteral("netinst.iso")))
        << shown.toStdString();

    // The file going away while the page is hidden brings the links back when it is shown again.
    QFile::remove(dir.filePath(longName));
    page.hide();
    page.show();
    EXPECT_TRUE(page.downloads()->isRevealed());

    // The settings: saved while the machine is stopped, the disk locked once created.
    LinuxSettingsPanel &settings = *page.settings();
    // A resolution sets both numbers.
    QComboBox &menu = *settings.resolutionMenu();
    EXPECT_EQ(menu.currentText(), QStringLiteral("1280 × 800"));
    QTest::keyClick(&menu, Qt::Key_End);
    EXPECT_EQ(menu.currentText(), QStringLiteral("1920 × 1080"));
    const QJsonObject resolution = settingsOnDisk();
    EXPECT_EQ(resolution.value(QStringLiteral("resolutionWidth")).toInt(), 1920);
    EXPECT_EQ(resolution.value(QStringLiteral("resolutionHeight")).toInt(), 1080);
    // A size written by hand that no entry offers leaves the menu without a choice.
    LinuxConfiguration odd = model->configuration();
    odd.resolutionWidth = 1024;
    odd.resolutionHeight = 768;
    model->setConfiguration(odd);
    EXPECT_EQ(menu.currentIndex(), -1);

    chooseISO(iso);
    EXPECT_EQ(settings.diskStepper()->text(), QStringLiteral("磁盘：32 GB"));
    // Ranges from this host: 8 processors, 16 GiB.
    EXPECT_EQ(settings.coresStepper()->range(), (AppPreferences::Range{1, 8}));
    EXPECT_EQ(settings.memoryStepper()->range(), (AppPreferences::Range{1, 8}));

    settings.diskStepper()->decrementButton()->click();
    settings.diskStepper()->decrementButton()->click();
    EXPECT_FALSE(settings.diskStepper()->decrementButton()->isEnabled()) << "16 GB is the least";
    EXPECT_EQ(settingsOnDisk().value(QStringLiteral("diskGB")).toInt(), 16);

    startRunning();
    EXPECT_FALSE(settings.isEnabled());

    // An edit arriving while the machine runs stays in memory.
    const QJsonObject saved = settingsOnDisk();
    Q_EMIT menu.activated(1);
    EXPECT_EQ(model->configuration().resolutionWidth, 1440);
    LinuxConfiguration edited = model->configuration();
    edited.cores = 2;
    model->setConfiguration(edited);
    EXPECT_EQ(settings.coresStepper()->text(), QStringLiteral("CPU：2 核"));

    engine.started().reportGuestStop();
    ASSERT_TRUE(waitUntil([&] { return !model->running(); }));
    EXPECT_TRUE(settings.coresStepper()->isEnabled());
    EXPECT_FALSE(settings.diskStepper()->isEnabled()) << "a created disk is never resized here";
    EXPECT_EQ(settingsOnDisk(), saved) << "neither the edits made while running nor the stop saved anything";

    settings.coresStepper()->incrementButton()->click();
    EXPECT_EQ(settingsOnDisk().value(QStringLiteral("cores")).toInt(), 3);

    // A new page over a prepared machine starts with the disk locked.
    view.reset();
    view = std::make_unique<LinuxView>(*model);
    EXPECT_FALSE(view->settings()->diskStepper()->isEnabled());
}

TEST_F(LinuxPageTest, TheActionRowStartsStopsAndForcesTheMachineAndTheSnapshotsFollow)
{
    LinuxView &page = show();
    LinuxSnapshotPanel &snapshots = *page.snapshots();
    // Start shown, stop shown, force stop enabled, snapshot enabled, rollback enabled.
    const auto actions = [&] {
        return QList<bool>{page.startButton()->isVisible(), page.stopButton()->isVisible(),
                           page.forceStopButton()->isEnabled(), snapshots.createButton()->isEnabled(),
                           snapshots.rollbackButton()->isEnabled()};
    };
    EXPECT_EQ(actions(), (QList<bool>{true, false, false, false, false})) << "nothing to snapshot yet";
    EXPECT_EQ(page.startButton()->text(), QStringLiteral("启动 / 安装 Linux"));
    page.settings()->attachISOSwitch()->click();
    EXPECT_FALSE(model->configuration().attachISO);
    EXPECT_EQ(page.startButton()->text(), QStringLiteral("启动 Linux"));
    EXPECT_FALSE(settingsOnDisk().value(QStringLiteral("attachISO")).toBool(true));

    chooseISO(iso);
    EXPECT_EQ(page.startButton()->text(), QStringLiteral("启动 / 安装 Linux"));
    // The least disk, so that the snapshots below have the least to copy.
    page.settings()->diskStepper()->decrementButton()->click();
    page.settings()->diskStepper()->decrementButton()->click();
    engine.behaviour.holdStart = true;
    page.startButton()->click();
    ASSERT_TRUE(waitUntil([&] { return engine.last() != nullptr; }));
    EXPECT_FALSE(page.actionRow()->isEnabled());
    EXPECT_TRUE(page.busyIndicator()->isVisible());
    engine.started().complete();
    ASSERT_TRUE(waitUntil([&] { return model->running(); }));
    EXPECT_FALSE(page.busyIndicator()->isVisible());
    EXPECT_TRUE(page.actionRow()->isEnabled());
    EXPECT_EQ(actions(), (QList<bool>{false, true, true, false, false}));
    EXPECT_EQ(page.stopButton()->text(), QStringLiteral("停止 Linux"));

    page.stopButton()->click();
    EXPECT_EQ(engine.started().stopRequests, 1);

    page.forceStopButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !model->running(); }));
    EXPECT_EQ(page.statusLabel()->text(), QStringLiteral("Linux 已强制退出 · 已写入数据保留"));

    // Snapshots of the stopped machine are made, rolled back and deleted after asking.
    ASSERT_EQ(actions(), (QList<bool>{true, false, false, true, false}));
    snapshots.createButton()->click();
    ASSERT_TRUE(
        waitUntil([&] { return !model->snapshotBusy() && model->latestSnapshot().has_value(); }, 20000))
        << model->error().toStdString();
    EXPECT_TRUE(snapshots.messageLabel()->text().startsWith(QStringLiteral("最近快照：")));
    EXPECT_FALSE(snapshots.busyIndicator()->isVisible());
    EXPECT_TRUE(snapshots.rollbackButton()->isEnabled());

    const QString statusBefore = model->status();
    snapshots.rollbackButton()->click();
    answerAlert(page, QStringLiteral("回滚 Linux 到最近快照？"),
                QStringLiteral("Linux 必须已完全关机。当前磁盘和 EFI 状态会被快照替换。"),
                QStringLiteral("取消"));
    waitUntil([] { return false; }, 50);
    EXPECT_EQ(model->status(), statusBefore);

    snapshots.rollbackButton()->click();
    answer(alert(page, QStringLiteral("回滚 Linux 到最近快照？")), QStringLiteral("一键回滚"));
    ASSERT_TRUE(
        waitUntil([&] { return model->status().startsWith(QStringLiteral("Linux 已回滚到 ")); }, 20000))
        << model->error().toStdString();

    snapshots.openFolderAction()->trigger();
    const QString folder = base + QStringLiteral("/snapshots/linux");
    EXPECT_EQ(host.opened().last(), QUrl::fromLocalFile(folder));

    snapshots.deleteAction()->trigger();
    answerAlert(page, QStringLiteral("删除最近 Linux 快照？"), QString(), QStringLiteral("删除快照"));
    EXPECT_FALSE(model->latestSnapshot().has_value());
    EXPECT_EQ(snapshots.messageLabel()->text(), QStringLiteral("尚未创建快照"));
    EXPECT_FALSE(snapshots.deleteAction()->isEnabled());
}

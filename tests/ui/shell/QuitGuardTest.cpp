// The quit guard of the whole application: what it refuses, what it stops and in which order, and what
// the window does while it stops the guests.
#include "FakeInteraction.h"
#include "ShellFixture.h"
#include "TestFiles.h"
#include "Wait.h"
#include "ios/IOSModel.h"
#include "ui/android/ContentView.h"
#include "ui/android/FleetView.h"
#include "ui/shell/AppDelegate.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/PageArea.h"
#include "ui/style/PillActionButton.h"
#include "windows/WindowsModel.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

const QString androidRefusal = QStringLiteral("操作尚未完成");
const QString androidDetail = QStringLiteral("请先取消安装并等待当前解压步骤结束，再退出 App。");

class QuitGuardTest : public ShellTest
{
protected:
    /** Asks to quit and expects the refusal `title` saying `detail` with `buttons`, with nothing stopped. */
    void expectRefusal(CorvaneApp &corvane, FakeInteraction &interaction, const QString &title,
                       const QString &detail, const QStringList &buttons = {})
    {
        const qsizetype before = interaction.asked.size();
        EXPECT_FALSE(await(corvane.delegate().requestTermination()).value.value_or(true))
            << title.toStdString();
        ASSERT_EQ(interaction.asked.size(), before + 1);
        const FakeInteraction::Question &asked = interaction.asked.last();
        EXPECT_EQ(QStringList({asked.title, asked.detail}) + asked.options,
                  QStringList({title, detail}) + buttons);
    }

    /** Quick polls, but stops that wait long enough to watch one device stop after the other. */
    static CorvaneApp::Options slowStops()
    {
        CorvaneApp::Options options = quick();
        options.android.stopPollInterval = 50ms;
        return options;
    }

    /** Two installed devices, both running and booted; their stops wait for SIGTERM, so they take a while. */
    std::pair<VMModel *, VMModel *> twoRunningDevices(CorvaneApp &corvane)
    {
        // Read by each emulator as it starts.
        const ScopedEnv ignoreKill("FAKE_EMULATOR_IGNORE_KILL", "1");
        VMModel &first = installedDevice(corvane, 1024);
        corvane.fleet().addDevice();
        VMModel &second = *corvane.fleet().models().last();
        first.start();
        second.start();
        EXPECT_TRUE(waitUntil([&] { return first.booted() && second.booted(); }, 15000))
            << first.error().toStdString() << second.error().toStdString();
        return {&first, &second};
    }

    /** Starts `task` in the window's care; the flag turns true once it has ended. */
    std::shared_ptr<bool> begin(QCoro::Task<> task)
    {
        auto ended = std::make_shared<bool>(false);
        QCoro::connect(std::move(task), app->window(), [ended] { *ended = true; });
        return ended;
    }

    /** The dialog the window shows while it stops the guests, if it is up. */
    static QDialog *quitProgress(MainWindow &window)
    {
        for (QDialog *dialog : window.findChildren<QDialog *>()) {
            if (dialog->isVisible() && dialog->windowTitle() == QStringLiteral("正在退出 Corvane Beta")) {
                return dialog;
            }
        }
        return nullptr;
    }

    static QString textOf(const QDialog *dialog)
    {
        QStringList texts;
        for (const QLabel *label : dialog->findChildren<QLabel *>()) {
            if (label->isVisibleTo(dialog)) {
                texts.append(label->text());
            }
        }
        return texts.join(u'\n');
    }
};

} // namespace

TEST_F(QuitGuardTest, EachGuestAtWorkRefusesWithItsOwnAlert)
{
    QTemporaryDir scratch;
    CorvaneApp::Options standIns = quick();
    standIns.ios.xcrun = QStringLiteral(CORVANE_FAKES_DIR "/xcrun");
    standIns.windows.inspection.method = WindowsPreparation::Inspection::Method::Attach;
    standIns.windows.inspection.hdiutil = QStringLiteral(CORVANE_FAKES_DIR "/hdiutil");
    standIns.windows.inspection.temporaryFolder = scratch.path();
    CorvaneApp &corvane = launch(std::move(standIns));
    FakeInteraction interaction;

    // iPhone: an inventory read still under way.
    const ScopedEnv simctlDelay("FAKE_SIMCTL_DELAY_MS", "300");
    const auto iosDone = begin(corvane.ios().refresh());
    ASSERT_TRUE(corvane.ios().busy());
    ASSERT_NO_FATAL_FAILURE(expectRefusal(corvane, interaction, QStringLiteral("iPhone 操作尚未完成"),
                                          QStringLiteral("请等待设备操作或快照完成后退出。")));
    ASSERT_TRUE(waitUntil([&] { return *iosDone; }));

    // Windows: an installer image still being looked into.
    const ScopedEnv hdiutilDelay("FAKE_HDIUTIL_DELAY_MS", "300");
    const QString image = makeSparseFile(scratch.filePath(QStringLiteral("Win11_ARM64.iso")), 2 << 20);
    const auto windowsDone = begin(corvane.windows().useISO(image));
    ASSERT_TRUE(corvane.windows().busy());
    ASSERT_NO_FATAL_FAILURE(expectRefusal(corvane, interaction, QStringLiteral("正在处理 Windows 虚拟机"),
                                          QStringLiteral("请等待当前镜像检查或本地复制完成后退出。")));
    ASSERT_TRUE(waitUntil([&] { return *windowsDone; }, 15000));

    // Linux: a start still under way, then a snapshot being taken of the stopped machine.
    engine->behaviour.holdStart = true;
    const auto startEnded = begin(startLinuxTask(&corvane, 1));
    ASSERT_TRUE(waitUntil([&] { return engine->last() && corvane.linux().busy(); }));
    ASSERT_NO_FATAL_FAILURE(expectRefusal(corvane, interaction, QStringLiteral("Linux 操作尚未完成"),
                                          QStringLiteral("请等待启动或停止结束后退出。")));
    engine->last()->complete();
    ASSERT_TRUE(waitUntil([&] { return *startEnded; }));
    ASSERT_TRUE(corvane.linux().running()) << corvane.linux().error().toStdString();
    ASSERT_TRUE(await(corvane.linux().forceStop()).done);
    const auto snapshotDone = begin(corvane.linux().createSnapshot());
    ASSERT_TRUE(corvane.linux().snapshotBusy());
    ASSERT_NO_FATAL_FAILURE(expectRefusal(corvane, interaction, QStringLiteral("Linux 快照尚未完成"),
                                          QStringLiteral("请等待快照创建或回滚完成后退出。")));
    ASSERT_TRUE(waitUntil([&] { return *snapshotDone; }, 15000));

    // Android: a snapshot, a copy of the device, and a forced quit.
    VMModel &device = installedDevice(corvane, 1024);
    device.paths().configure(device.configuration());
    const auto androidSnapshotDone = begin(device.createSnapshot());
    ASSERT_TRUE(device.snapshotBusy());
    ASSERT_NO_FATAL_FAILURE(
        expectRefusal(corvane, interaction, androidRefusal, androidDetail, {QStringLiteral("返回")}));
    ASSERT_TRUE(waitUntil([&] { return *androidSnapshotDone; }, 15000));

    corvane.fleet().duplicate();
    ASSERT_TRUE(corvane.fleet().creating()) << corvane.fleet().error().toStdString();
    ASSERT_NO_FATAL_FAILURE(
        expectRefusal(corvane, interaction, androidRefusal, androidDetail, {QStringLiteral("返回")}));
    ASSERT_TRUE(waitUntil([&] { return !corvane.fleet().creating(); }, 15000));

    device.start();
    ASSERT_TRUE(waitUntil([&] { return device.running() && !device.busy(); }, 15000))
        << device.error().toStdString();
    const auto forced = begin(device.forceQuit());
    ASSERT_TRUE(device.forceQuitting());
    ASSERT_NO_FATAL_FAILURE(
        expectRefusal(corvane, interaction, androidRefusal, androidDetail, {QStringLiteral("返回")}));
    ASSERT_TRUE(waitUntil([&] { return *forced; }, 15000));
    EXPECT_TRUE(corvane.window()->isVisible());
}

TEST_F(QuitGuardTest, TheQuitCommandRefusesAStartingDeviceAndARunningOneIsStoppedOnlyAfterLinux)
{
    CorvaneApp &corvane = launch();
    FakeInteraction interaction;
    VMModel &device = installedDevice(corvane, 2048);

    EXPECT_TRUE(await(corvane.delegate().requestTermination()).value.value_or(false));
    EXPECT_TRUE(interaction.asked.isEmpty()) << "nothing runs: the application quits at once";

    // The quit command, with its shortcut, asks the same guard.
    device.start();
    ASSERT_TRUE(device.busy() && !device.running());
    QAction *quit = nullptr;
    for (QAction *action : corvane.window()->findChildren<QAction *>()) {
        quit = action->text() == QStringLiteral("退出 Corvane Beta") ? action : quit;
    }
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(quit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->trigger();
    ASSERT_TRUE(waitUntil([&] { return !interaction.asked.isEmpty(); }, 3000));
    EXPECT_EQ(QStringList({interaction.asked[0].title, interaction.asked[0].detail}) +
                  interaction.asked[0].options,
              (QStringList{androidRefusal, androidDetail, QStringLiteral("返回")}));
    EXPECT_TRUE(corvane.window()->isVisible());

    ASSERT_TRUE(waitUntil([&] { return device.running() && !device.busy(); }));
    ASSERT_TRUE(await(startLinuxTask(&corvane, 1)).done);
    ASSERT_TRUE(corvane.linux().running()) << corvane.linux().error().toStdString();
    interaction.choices.enqueue(0);
    EXPECT_FALSE(await(corvane.delegate().requestTermination()).value.value_or(true));
    EXPECT_EQ(interaction.asked.last().title, QStringLiteral("Linux 仍在运行"));
    EXPECT_EQ(interaction.asked.last().options,
              (QStringList{QStringLiteral("返回"), QStringLiteral("停止并退出")}));
    EXPECT_TRUE(corvane.linux().running());
    EXPECT_TRUE(device.running());

    // A Linux that will not stop keeps the application and the devices running.
    engine->last()->behaviour.stopFailure = QStringLiteral("虚拟机没有响应");
    interaction.choices.enqueue(1);
    EXPECT_FALSE(await(corvane.delegate().requestTermination()).value.value_or(true));
    EXPECT_TRUE(corvane.linux().running());
    EXPECT_EQ(corvane.linux().error(), QStringLiteral("虚拟机没有响应"));
    EXPECT_TRUE(device.running()) << "no device is stopped for a quit that does not happen";
    EXPECT_FALSE(LogProbe::text().contains(QStringLiteral("请求正常关闭")));

    engine->last()->behaviour.stopFailure.reset();
    interaction.choices.enqueue(1);
    EXPECT_TRUE(await(corvane.delegate().requestTermination()).value.value_or(false));
    EXPECT_FALSE(corvane.linux().running());
    EXPECT_EQ(corvane.linux().status(), QStringLiteral("Linux 已强制退出 · 已写入数据保留"));
    EXPECT_FALSE(device.running());
    const QString log = LogProbe::text();
    EXPECT_LT(log.lastIndexOf(QStringLiteral("请求强制退出")),
              log.indexOf(QStringLiteral("请求正常关闭 安卓 1")));
}

TEST_F(QuitGuardTest, WhileGuestsStopForTheQuitTheWindowSaysSoAndTakesNoNewWork)
{
    CorvaneApp &corvane = launch(slowStops());
    FakeInteraction interaction;
    auto [first, second] = twoRunningDevices(corvane);
    MainWindow &window = *corvane.window();
    window.selectTab(QStringLiteral("android"));
    corvane.fleet().setSelected(first->id());
    auto *page = qobject_cast<FleetView *>(window.pageArea()->page(QStringLiteral("android")));
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->contentView()->model(), first);

    window.close();
    ASSERT_TRUE(waitUntil([&] { return quitProgress(window) != nullptr; }, 3000))
        << "the window says it quits";
    EXPECT_TRUE(textOf(quitProgress(window)).contains(QStringLiteral("安卓 1")));
    ASSERT_TRUE(waitUntil([&] { return !first->running() && second->stopping(); }, 15000));
    EXPECT_TRUE(textOf(quitProgress(window)).contains(QStringLiteral("安卓 2")));

    // The device already stopped cannot be started again from the window.
    PillActionButton *start = page->contentView()->startButton();
    QTest::mouseClick(start, Qt::LeftButton);
    start->click();
    EXPECT_FALSE(first->busy() || first->running());

    // Closing again changes nothing, but says that the quit is under way.
    window.close();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(textOf(quitProgress(window)).contains(QStringLiteral("正在退出")));
    EXPECT_TRUE(LogProbe::text().contains(QStringLiteral("[应用] 正在退出，已忽略重复的退出请求")));

    ASSERT_TRUE(waitUntil([&] { return !window.isVisible(); }, 15000))
        << "the window closes once all stopped";
    EXPECT_FALSE(first->running() || second->running());
    const QString log = LogProbe::text();
    EXPECT_EQ(log.count(QStringLiteral("请求正常关闭 安卓 1")), 1);
    EXPECT_EQ(log.count(QStringLiteral("请求正常关闭 安卓 2")), 1);
    EXPECT_LT(log.indexOf(QStringLiteral("请求正常关闭 安卓 1")),
              log.indexOf(QStringLiteral("请求正常关闭 安卓 2")));
    EXPECT_EQ(log.count(QStringLiteral("请求启动 安卓 1")), 1) << "no start once the quit began";
    EXPECT_TRUE(interaction.asked.isEmpty());
}

TEST_F(QuitGuardTest, ADeviceStartedWhileTheOthersStopKeepsTheApplicationOpen)
{
    CorvaneApp &corvane = launch(slowStops());
    FakeInteraction interaction;
    auto [first, second] = twoRunningDevices(corvane);
    MainWindow &window = *corvane.window();

    window.close();
    ASSERT_TRUE(waitUntil([&] { return !first->running() && second->stopping(); }, 15000));
    // Asked for directly, past the window: the guard looks again before it lets the process end.
    first->start();
    ASSERT_TRUE(first->busy());
    ASSERT_TRUE(waitUntil([&] { return !interaction.asked.isEmpty(); }, 15000));
    // Still starting, or already running by the time the last stop ended: either way the user is told.
    EXPECT_TRUE(interaction.asked.last().title == androidRefusal ||
                interaction.asked.last().title == QStringLiteral("退出已取消"))
        << interaction.asked.last().title.toStdString();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(quitProgress(window), nullptr);
    EXPECT_TRUE(window.pageArea()->isEnabled()) << "the window takes work again";
    ASSERT_TRUE(waitUntil([&] { return first->booted(); }, 15000))
        << "the new start was not killed: " << first->status().toStdString() << first->error().toStdString();
}

#include "../ViewHelpers.h"
#include "LogProbe.h"
#include "ShellFixture.h"
#include "Wait.h"
#include "ui/linux/LinuxDisplayWindow.h"
#include "ui/shell/AppDelegate.h"
#include "ui/shell/AppTopTabBar.h"
#include "ui/shell/CorvaneApp.h"
#include "ui/shell/InteractionLogMonitor.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/PageArea.h"
#include "ui/shell/SidebarDrawer.h"
#include "ui/shell/Tabs.h"

#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace {

QStringList identifiers(bool showsBeta)
{
    QStringList list;
    for (const Tabs::Tab &tab : Tabs::tabs(showsBeta)) {
        list.append(tab.identifier);
    }
    return list;
}

/** Counts the events of one kind a widget receives; it goes with the widget. */
class EventCounter : public QObject
{
public:
    EventCounter(QWidget *widget, QEvent::Type type)
        : QObject(widget)
        , m_type(type)
    {
        widget->installEventFilter(this);
    }

    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == m_type ? 1 : 0;
        return false;
    }

private:
    QEvent::Type m_type;
};

/** A wrapping label that remembers every width it was asked to wrap at. */
class WrapWidths : public QLabel
{
public:
    WrapWidths()
        : QLabel(QStringLiteral("一段会按页面宽度换行的说明文字").repeated(8))
    {
        setWordWrap(true);
    }

    int heightForWidth(int width) const override
    {
        widths.append(width);
        return QLabel::heightForWidth(width);
    }

    mutable QList<int> widths;
};

std::optional<PageArea::Picture> picture(const PageArea *pages, const QString &identifier)
{
    for (const PageArea::Picture &picture : pages->pictures()) {
        if (picture.identifier == identifier) {
            return picture;
        }
    }
    return std::nullopt;
}

} // namespace

TEST(Tabs, OrderTitlesAndOffsets)
{
    EXPECT_EQ(identifiers(false),
              (QStringList{QStringLiteral("android"), QStringLiteral("ios"), QStringLiteral("windows"),
                           QStringLiteral("linux"), QStringLiteral("settings")}));
    EXPECT_EQ(identifiers(true).indexOf(QStringLiteral("vphone-beta")), 4);
    EXPECT_EQ(Tabs::tabName(QStringLiteral("settings")), QStringLiteral("设置"));
    EXPECT_EQ(Tabs::tabName(QStringLiteral("vphone-beta")), QStringLiteral("iPhone Beta"));
    EXPECT_EQ(Tabs::tabName(QStringLiteral("logs")), QStringLiteral("logs"));
    EXPECT_EQ(Tabs::tabIndex(QStringLiteral("settings"), false), 4);
    EXPECT_EQ(Tabs::tabIndex(QStringLiteral("settings"), true), 5);
    EXPECT_EQ(Tabs::tabIndex(QStringLiteral("vphone-beta"), false), 0);
    EXPECT_DOUBLE_EQ(Tabs::pageOffset(3, 1, 1000), 170.0);
    EXPECT_DOUBLE_EQ(Tabs::pageOffset(0, 2, 1000), -170.0);
    EXPECT_DOUBLE_EQ(Tabs::pageOffset(2, 1, 2000), 92.0);
}

TEST_F(ShellTest, StartUpOpensTheRememberedTabLogsOnceAndOpensOneLinuxScreenWindow)
{
    AppPreferences::write(*preferences, AppPreferences::selectedVMTab, QStringLiteral("logs"));
    CorvaneApp &corvane = launch();
    EXPECT_EQ(corvane.window()->windowTitle(), QStringLiteral("Corvane Beta"));
    EXPECT_EQ(corvane.window()->tabBar()->selected(), QStringLiteral("settings"));
    corvane.startUp();
    EXPECT_EQ(LogProbe::text().count(QStringLiteral("[应用] Corvane Beta 已启动")), 1);

    AppPreferences::write(*preferences, AppPreferences::selectedVMTab, QStringLiteral("nonsense"));
    app.reset();
    MainWindow *window = launch().window();
    auto *page = new QWidget;
    window->addPage(QStringLiteral("android"), page);
    EXPECT_EQ(window->pageArea()->visiblePage(), nullptr);
    window->selectTab(QStringLiteral("android"));
    EXPECT_EQ(window->pageArea()->visiblePage(), page);

    // The Linux screen's own window takes the screen while it is open; its look and what closing it
    // does are LinuxScreenTest's.
    EXPECT_EQ(app->linuxDisplayWindow(), nullptr);
    app->openLinuxDisplay();
    QWidget *screen = app->linuxDisplayWindow();
    ASSERT_NE(screen, nullptr);
    EXPECT_TRUE(screen->isWindow());
    EXPECT_TRUE(app->linux().displayInSeparateWindow());
    screen->close();
    app->openLinuxDisplay();
    EXPECT_EQ(app->linuxDisplayWindow(), screen) << "one window, shown again";
    EXPECT_TRUE(app->linux().displayInSeparateWindow());
}

TEST_F(ShellTest, MemoryBudgetIsSharedBetweenLinuxAndAndroid)
{
    CorvaneApp &corvane = launch();
    VMModel &device = installedDevice(corvane, 4096);
    // 12 GiB of memory leave a budget of 8 GiB, which 5 GiB of Linux and 4 GiB of Android exceed.
    ASSERT_TRUE(await(startLinuxTask(&corvane, 5)).done);
    ASSERT_TRUE(corvane.linux().running()) << corvane.linux().error().toStdString();
    device.start();
    EXPECT_EQ(
        device.error(),
        QStringLiteral("多开总内存超过设置中的上限。请调低实例内存、停止其他实例，或在设置中调整上限。"));
    EXPECT_FALSE(device.busy());

    // Linux in turn counts the Android devices that run.
    ASSERT_TRUE(await(corvane.linux().forceStop()).done);
    device.start();
    ASSERT_TRUE(device.busy() || device.running()) << device.error().toStdString();
    ASSERT_TRUE(await(startLinuxTask(&corvane, 5)).done);
    EXPECT_EQ(corvane.linux().error(),
              QStringLiteral("Linux 与安卓合计内存超过安全上限，请减少分配或停止其他设备。"));
}

TEST_F(ShellTest, DeveloperModeLogsNavigationAndBringsAFreshSidebarEachTime)
{
    CorvaneApp &corvane = launch();
    MainWindow &window = *corvane.window();
    int made = 0;
    window.setSidebarFactory([&made] {
        ++made;
        auto *sidebar = new QWidget;
        sidebar->setObjectName(QStringLiteral("sidebar %1").arg(made));
        return sidebar;
    });
    SidebarDrawer *drawer = window.sidebarDrawer();
    EXPECT_FALSE(drawer->isOpen());
    EXPECT_EQ(made, 0);
    EXPECT_EQ(window.minimumWidth(), 980);
    window.selectTab(QStringLiteral("linux"));
    EXPECT_FALSE(LogProbe::text().contains(QStringLiteral("[导航]")));

    const EventCounter &pageResizes = *new EventCounter(window.pageArea(), QEvent::Resize);
    AppPreferences::write(*preferences, AppPreferences::developerModeEnabled, true);
    EXPECT_TRUE(corvane.interactionLogMonitor().isRunning());
    ASSERT_TRUE(drawer->isOpen());
    EXPECT_EQ(made, 0) << "made a frame after the window has widened";
    ASSERT_TRUE(waitUntil([&] { return drawer->content() != nullptr; }, 1000));
    QPointer<QWidget> first = drawer->content();
    const EventCounter &sidebarPaints = *new EventCounter(first, QEvent::Paint);
    EXPECT_EQ(window.minimumWidth(), 1370);
    // Animations are on by default: the sidebar moves in from the trailing edge to beside the divider.
    int furthest = 0;
    ASSERT_TRUE(waitUntil(
        [&] {
            furthest = std::max(furthest, drawer->contentX());
            return drawer->contentX() == 1 && first->isVisible();
        },
        3000));
    EXPECT_GT(furthest, 1) << "it moved in rather than appearing";
    EXPECT_EQ(first->x(), 1);
    EXPECT_LE(sidebarPaints.count, 2) << "painted once for the picture that moves, then once in place";
    EXPECT_EQ(drawer->width(), SidebarDrawer::contentWidth + 1);
    EXPECT_EQ(first->width(), SidebarDrawer::contentWidth);
    EXPECT_LE(pageResizes.count, 2)
        << "the pages make room at once (the window widens too), not on every frame";
    window.selectTab(QStringLiteral("ios"));
    EXPECT_EQ(LogProbe::text().count(QStringLiteral("[导航] 切换到 iPhone")), 1);

    AppPreferences::write(*preferences, AppPreferences::developerModeEnabled, false);
    EXPECT_FALSE(corvane.interactionLogMonitor().isRunning());
    EXPECT_EQ(drawer->content(), nullptr);
    ASSERT_TRUE(waitUntil([&] { return first.isNull(); }, 3000))
        << "the old sidebar is destroyed once it has left";
    EXPECT_TRUE(drawer->isHidden());

    AppPreferences::write(*preferences, AppPreferences::appearanceAnimations, false);
    AppPreferences::write(*preferences, AppPreferences::developerModeEnabled, true);
    EXPECT_EQ(made, 2);
    ASSERT_NE(drawer->content(), nullptr);
    EXPECT_EQ(drawer->content()->objectName(), QStringLiteral("sidebar 2"));
    EXPECT_EQ(drawer->width(), SidebarDrawer::contentWidth + 1) << "without animations it is there at once";
}

TEST_F(ShellTest, TheFirstPageIsLaidOutOnlyForTheSizeTheWindowOpensAt)
{
    AppPreferences::write(*preferences, AppPreferences::selectedVMTab, QStringLiteral("android"));
    AppDelegate delegate;
    MainWindow window(*preferences, delegate);
    auto *text = new WrapWidths;
    window.addPage(QStringLiteral("android"), [text] {
        auto *page = new QWidget;
        (new QVBoxLayout(page))->addWidget(text);
        return page;
    });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_FALSE(text->widths.isEmpty());
    // Wrapping a page's texts is most of what the first frame waits for; a pass at the size the area had
    // before the window was laid out is thrown away.
    EXPECT_GE(*std::min_element(text->widths.cbegin(), text->widths.cend()), text->width())
        << "asked at " << ::testing::PrintToString(text->widths);
}

TEST_F(ShellTest, APageArrivesFadedAndSlightlySmallerAsAPictureWhosePageIsNotPaintedOnEveryFrame)
{
    AppDelegate delegate;
    MainWindow window(*preferences, delegate);
    // Two pages, each with one child whose paints are counted.
    auto *android = new QWidget;
    auto *linux = new QWidget;
    auto *androidPaints = new EventCounter(new QLabel(QStringLiteral("内容"), android), QEvent::Paint);
    auto *linuxPaints = new EventCounter(new QLabel(QStringLiteral("内容"), linux), QEvent::Paint);
    window.addPage(QStringLiteral("android"), android);
    window.addPage(QStringLiteral("linux"), linux);
    window.selectTab(QStringLiteral("android"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    PageArea *pages = window.pageArea();
    ASSERT_TRUE(waitUntil([&] { return android->isVisible() && !pages->isMoving(); }, 3000));
    ASSERT_TRUE(waitUntil([&] { return linuxPaints->count > 0; }, 3000))
        << "a page not opened yet is painted ahead while the window idles, so its first click only copies";
    auto *frames = new EventCounter(pages->slide(), QEvent::Paint);
    const QImage shown = window.grab(QRect(pages->mapTo(&window, QPoint()), pages->size())).toImage();
    androidPaints->count = 0;
    linuxPaints->count = 0;

    window.selectTab(QStringLiteral("linux"));
    ASSERT_TRUE(pages->isMoving());
    EXPECT_TRUE(android->isHidden() && linux->isHidden()) << "only their pictures move";
    const std::optional<PageArea::Picture> left = picture(pages, QStringLiteral("android"));
    ASSERT_TRUE(left) << "the leaving page is pictured at once";
    EXPECT_LE(ViewHelpers::largestDifference(left->pixmap.toImage(), shown), 2) << "as the screen showed it";
    ASSERT_TRUE(waitUntil([&] { return picture(pages, QStringLiteral("linux")).has_value(); }, 1000));
    EXPECT_EQ(pages->pictures().last().identifier, QStringLiteral("linux")) << "the arriving page on top";
    EXPECT_EQ(pages->pictures().last().pixmap.deviceIndependentSize(), QSizeF(pages->size()));
    double smallest = 1.0;
    double faintest = 1.0;
    ASSERT_TRUE(waitUntil(
        [&] {
            const auto arriving = picture(pages, QStringLiteral("linux"));
            const auto leaving = picture(pages, QStringLiteral("android"));
            if (arriving && leaving) {
                smallest = std::min(smallest, arriving->scale);
                faintest = std::min(faintest, arriving->opacity);
                EXPECT_NEAR(arriving->scale, 0.996 + 0.004 * arriving->opacity, 1e-9);
                EXPECT_NEAR(leaving->scale, 0.996 + 0.004 * leaving->opacity, 1e-9);
                EXPECT_NEAR(arriving->opacity + leaving->opacity, 1.0, 1e-9)
                    << "one page fades out as the other fades in";
            }
            return !pages->isMoving();
        },
        3000));
    EXPECT_LT(smallest, 1.0) << "the arriving page was drawn smaller on its way in";
    EXPECT_GE(smallest, 0.996);
    EXPECT_LT(faintest, 0.5) << "and faded";
    EXPECT_GE(frames->count, 5) << "the slide was drawn frame by frame";
    EXPECT_LE(linuxPaints->count, 2) << "once for its picture, once when it takes its place";
    EXPECT_EQ(androidPaints->count, 0) << "its picture is what the screen already showed";
    EXPECT_TRUE(linux->isVisible());
    EXPECT_EQ(linux->geometry(), pages->rect());
    EXPECT_TRUE(android->isHidden());
    EXPECT_TRUE(pages->pictures().isEmpty());
    EXPECT_TRUE(pages->slide()->isHidden());

    androidPaints->count = 0;
    window.resize(window.size() + QSize(120, 40));
    ASSERT_TRUE(waitUntil([&] { return androidPaints->count > 0; }, 3000))
        << "a hidden page is laid out and painted ahead again for the window's new size";
    EXPECT_EQ(android->size(), pages->size());
}

TEST_F(ShellTest, ChoosingATabSlidesTheNewPageInFromItsSideAndTheMachinesPagesKeepOneMargin)
{
    CorvaneApp &corvane = launch();
    PageArea *pages = corvane.window()->pageArea();
    ASSERT_EQ(corvane.window()->selectedTab(), QStringLiteral("windows")) << "no tab stored yet";
    // Only the selected page is made before the first frame; the others follow unasked.
    EXPECT_TRUE(pages->isDeferred(QStringLiteral("settings")));
    EXPECT_FALSE(pages->isDeferred(QStringLiteral("windows")));
    ASSERT_TRUE(waitUntil([&] { return !pages->isDeferred(QStringLiteral("settings")); }, 3000));
    QWidget *linuxPage = pages->page(QStringLiteral("linux"));
    QWidget *windowsPage = pages->page(QStringLiteral("windows"));
    // The machines' pages, one after the other in the same place, keep one margin.
    const auto margins = [pages](const char *tab) {
        const auto *area = pages->page(QLatin1String(tab))->findChild<QScrollArea *>();
        return area && area->widget() && area->widget()->layout()
                   ? area->widget()->layout()->contentsMargins()
                   : QMargins(-1, -1, -1, -1);
    };
    EXPECT_EQ(margins("linux"), margins("ios"));
    EXPECT_EQ(margins("linux"), margins("windows"));

    corvane.window()->selectTab(QStringLiteral("linux"));
    EXPECT_TRUE(pages->isMoving()) << "storing the choice must not make the window jump to it";
    ASSERT_TRUE(waitUntil([&] { return picture(pages, QStringLiteral("linux")).has_value(); }, 1000));
    EXPECT_GT(picture(pages, QStringLiteral("linux"))->offset, 0)
        << "Linux sits right of Windows, so it comes in from the right";
    ASSERT_TRUE(waitUntil([&] { return !pages->isMoving(); }, 3000));
    EXPECT_TRUE(linuxPage->isVisible() && windowsPage->isHidden());
    EXPECT_EQ(AppPreferences::read(*preferences, AppPreferences::selectedVMTab), QStringLiteral("linux"));

    corvane.window()->selectTab(QStringLiteral("android"));
    ASSERT_TRUE(waitUntil([&] { return picture(pages, QStringLiteral("android")).has_value(); }, 1000));
    EXPECT_LT(picture(pages, QStringLiteral("android"))->offset, 0) << "and Android from the left";
    ASSERT_TRUE(waitUntil([&] { return !pages->isMoving(); }, 3000));

    // The beta tab comes and goes with its switch; leaving it for iPhone is animated too.
    AppPreferences::write(*preferences, AppPreferences::experimentalVPhoneEnabled, true);
    EXPECT_EQ(corvane.window()->tabBar()->identifiers(), identifiers(true));
    corvane.window()->selectTab(QStringLiteral("vphone-beta"));
    ASSERT_TRUE(waitUntil([&] { return !pages->isMoving(); }, 3000));
    AppPreferences::write(*preferences, AppPreferences::experimentalVPhoneEnabled, false);
    EXPECT_EQ(corvane.window()->tabBar()->selected(), QStringLiteral("ios"));
    EXPECT_EQ(corvane.window()->tabBar()->identifiers(), identifiers(false));
    EXPECT_TRUE(pages->isMoving());
    ASSERT_TRUE(waitUntil([&] { return !pages->isMoving(); }, 3000));
    EXPECT_TRUE(pages->page(QStringLiteral("ios"))->isVisible());

    // Without animations, or when the system asks for less motion, the page is simply there.
    for (const bool reduced : {false, true}) {
        AppPreferences::write(*preferences, AppPreferences::appearanceAnimations, reduced);
        host.motionReduced = reduced;
        const QString tab = reduced ? QStringLiteral("windows") : QStringLiteral("settings");
        corvane.window()->selectTab(tab);
        EXPECT_FALSE(pages->isMoving());
        EXPECT_TRUE(pages->pictures().isEmpty());
        EXPECT_TRUE(pages->page(tab)->isVisible());
        EXPECT_EQ(pages->page(tab)->x(), 0);
    }
}

TEST(InteractionLogMonitorTest, LogsLeftClicksInTheMainWindowOnly)
{
    const auto click = [](QWidget &widget, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(widget.windowHandle(), button, {}, QPoint(10, 10));
    };
    QWidget main;
    QWidget other;
    for (auto [window, title] : {std::pair{&main, "Corvane Beta"}, {&other, "Linux"}}) {
        window->setWindowTitle(QString::fromUtf8(title));
        window->resize(200, 200);
        window->show();
    }
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));

    QString section = QStringLiteral("Windows");
    InteractionLogMonitor monitor;
    monitor.start([&section] { return section; });
    monitor.start([] { return QStringLiteral("ignored"); });
    click(main);
    section = QStringLiteral("Android");
    click(main);
    click(main, Qt::RightButton);
    click(other);
    monitor.stop();
    click(main);

    // Only the monitor's own entries: a command an earlier test's window started may still report late.
    EXPECT_EQ(LogProbe::messages(QStringLiteral("开发者模式")),
              QStringList{QStringLiteral("INFO 交互日志监听已开启")});
    EXPECT_EQ(LogProbe::messages(QStringLiteral("交互")),
              (QStringList{QStringLiteral("INFO 点击 · Windows"), QStringLiteral("INFO 点击 · Android")}));
}

// The machine's screen on the page and in its own window, served by a VNC server that speaks like
// QEMU's: where it shows, what reaches the guest, and that nothing of it outlives the machine.
#include "../ViewHelpers.h"
#include "LinuxPageFixture.h"
#include "TestVncServer.h"

#include "linux/screen/VncConnection.h"
#include "ui/linux/LinuxDisplay.h"
#include "ui/linux/LinuxDisplayWindow.h"
#include "ui/linux/ScreenPlaceholder.h"

#include <QAction>
#include <QLabel>
#include <QTest>

#include <algorithm>

namespace {

class LinuxScreenTest : public LinuxPageTest
{
protected:
    void SetUp() override
    {
        LinuxPageTest::SetUp();
        engine.behaviour.displayEndpoint = socket;
        server.fill(QRect(0, 0, 1280, 800), QColor(30, 60, 90));
    }
    void TearDown() override
    {
        view.reset();
        EXPECT_TRUE(waitUntil([] { return VncConnection::liveSessions() == 0; }));
    }

    /** Whether `display` shows the server's colour in the middle of its picture. */
    static bool showsColour(const LinuxDisplay &display, QColor colour)
    {
        const QImage &frame = display.connection()->frame();
        return !frame.isNull() && frame.pixel(frame.width() / 2, frame.height() / 2) == colour.rgb() &&
               display.framesShown() > 0;
    }

    QString socket = dir.filePath(QStringLiteral("display.sock"));
    TestVncServer server{socket, QSize(1280, 800)};
};

} // namespace

TEST_F(LinuxScreenTest,
       ThePageOrTheSeparateWindowShowsTheScreenWhileAMachineRunsAndTheGuestHasTheKeysSaveTheOneWayOut)
{
    LinuxView &page = show();
    EXPECT_TRUE(page.placeholder()->isVisible());
    EXPECT_FALSE(page.display()->isVisible());
    EXPECT_FALSE(page.separateWindowNote()->isVisible());
    EXPECT_EQ(server.viewers(), 0);
    LinuxDisplayWindow window(*model);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Linux"));
    EXPECT_EQ(window.size(), QSize(1280, 820));
    // Opened with no machine: the window says so and the page keeps its placeholder.
    window.show();
    EXPECT_TRUE(model->displayInSeparateWindow());
    EXPECT_TRUE(window.placeholder()->isVisible());
    EXPECT_EQ(window.placeholder()->title(), QStringLiteral("Linux 尚未启动"));
    EXPECT_EQ(window.placeholder()->detail(), QStringLiteral("请先在主窗口启动 Linux，再打开独立窗口。"));
    EXPECT_EQ(page.displayCase(), LinuxRules::DisplayCase::Placeholder);
    window.close();

    chooseISO(iso);
    startRunning();
    EXPECT_FALSE(page.placeholder()->isVisible());
    LinuxDisplay &display = *page.display();
    ASSERT_TRUE(display.isVisible());
    ASSERT_TRUE(waitUntil([&] { return showsColour(display, QColor(30, 60, 90)); }));
    // The picture on the widget: the screen's colour inside, the page around the 16:10 area.
    display.resize(1000, 500);
    const QImage shot = display.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(display.screenRect().center().toPoint())), QColor(30, 60, 90));
    EXPECT_EQ(display.screenRect(), QRectF(100, 0, 800, 500));

    // Keys, shortcuts and the pointer go to the guest, save the one way out.
    QAction quit(QStringLiteral("退出 Corvane Beta"), view.get());
    quit.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    view->addAction(&quit);
    int quits = 0;
    QObject::connect(&quit, &QAction::triggered, [&quits] { ++quits; });
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    display.setFocus();
    ASSERT_TRUE(display.hasFocus());

    QTest::keyClick(&display, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quits, 0) << "Control+Q typed into the screen is the guest's";
    using Key = TestVncServer::Key;
    const QList<Key> typed{{0xffe3, true}, {0x71, true}, {0x71, false}, {0xffe3, false}};
    ASSERT_TRUE(waitUntil([&] { return server.keys().size() >= typed.size(); })) << server.keys().size();
    EXPECT_EQ(server.keys(), typed);

    // The way out is written on the screen, and gives the keyboard back to the application.
    const QString wayOut = QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_G).toString(QKeySequence::NativeText);
    EXPECT_TRUE(display.accessibleDescription().contains(wayOut))
        << display.accessibleDescription().toStdString();
    const QLabel *told = ViewHelpers::labelContaining(*view, wayOut);
    EXPECT_TRUE(told && told->isVisible()) << "the page says how to take the keyboard back";
    QTest::keyClick(&display, Qt::Key_G, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(display.hasFocus());
    QTest::keyClick(view.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quits, 1);
    QTest::qWait(100);
    QList<Key> keys = server.keys();
    EXPECT_FALSE(std::any_of(keys.cbegin(), keys.cend(), [](const Key &key) { return key.keysym == 0x67; }))
        << "the way out is not typed into the guest";
    for (const quint32 modifier : {0xffe3u, 0xffe9u}) {
        EXPECT_EQ(keys.count(Key{modifier, true}), keys.count(Key{modifier, false})) << "nothing stays held";
    }

    // Tab stays with the guest, and a key still down when the keyboard goes is let go.
    const qsizetype before = keys.size();
    display.setFocus();
    QTest::keyClick(&display, Qt::Key_A);
    QTest::keyClick(&display, Qt::Key_Tab);
    EXPECT_TRUE(display.hasFocus() || !QApplication::focusWidget())
        << "Tab went to the guest, not the next field";
    QTest::keyPress(&display, Qt::Key_Shift);
    display.clearFocus(); // the window loses the keyboard with Shift still down
    const QList<Key> expected{{0x61, true},    {0x61, false},  {0xff09, true},
                              {0xff09, false}, {0xffe1, true}, {0xffe1, false}};
    ASSERT_TRUE(waitUntil([&] { return server.keys().size() >= before + expected.size(); }))
        << server.keys().size();
    EXPECT_EQ(server.keys().mid(before), expected);

    // A click in the middle of the picture is a click in the middle of the guest's screen.
    const QPoint middle = display.imageRect().center().toPoint();
    QTest::mouseClick(&display, Qt::LeftButton, Qt::NoModifier, middle);
    ASSERT_TRUE(waitUntil([&] { return server.pointers().size() >= 2; }));
    const QList<TestVncServer::Pointer> clicks = server.pointers().mid(server.pointers().size() - 2);
    EXPECT_EQ(clicks.first().buttons, 1);
    EXPECT_EQ(clicks.last().buttons, 0);
    EXPECT_NEAR(clicks.first().position.x(), 640, 2);
    EXPECT_NEAR(clicks.first().position.y(), 400, 2);

    // A screen lost while the machine runs is taken up again.
    server.dropViewers();
    server.fill(QRect(0, 0, 1280, 800), QColor(0, 128, 0));
    ASSERT_TRUE(waitUntil([&] { return showsColour(display, QColor(0, 128, 0)); }, 5000));
    EXPECT_EQ(VncConnection::liveSessions(), 1);

    // The separate window takes the screen, and closing it gives it back.
    window.show();
    EXPECT_TRUE(page.separateWindowNote()->isVisible());
    EXPECT_EQ(page.separateWindowNote()->text(), QStringLiteral("Linux 画面已在独立窗口显示"));
    EXPECT_FALSE(page.display()->isVisible());
    ASSERT_TRUE(window.display()->isVisible());
    ASSERT_TRUE(waitUntil([&] { return showsColour(*window.display(), QColor(0, 128, 0)); }));
    EXPECT_TRUE(page.display()->endpoint().isEmpty()) << "one view of the machine at a time";
    EXPECT_EQ(window.display()->geometry(),
              window.rect().adjusted(LinuxDisplayWindow::margin, LinuxDisplayWindow::margin,
                                     -LinuxDisplayWindow::margin, -LinuxDisplayWindow::margin));
    window.close();
    EXPECT_FALSE(model->displayInSeparateWindow());
    ASSERT_TRUE(page.display()->isVisible());
    server.fill(QRect(0, 0, 1280, 800), QColor(200, 10, 10));
    ASSERT_TRUE(waitUntil([&] { return showsColour(*page.display(), QColor(200, 10, 10)); }));
    EXPECT_TRUE(waitUntil([] { return VncConnection::liveSessions() == 1; }));

    // Shown again, then the machine stops: the window falls back to its note, the page to its placeholder.
    window.show();
    ASSERT_TRUE(waitUntil([&] { return showsColour(*window.display(), QColor(200, 10, 10)); }));
    engine.started().reportGuestStop();
    ASSERT_TRUE(waitUntil([&] { return !model->running(); }));
    EXPECT_TRUE(window.placeholder()->isVisible());
    EXPECT_FALSE(window.display()->isVisible());
    window.close();
    EXPECT_TRUE(page.placeholder()->isVisible());
    EXPECT_TRUE(waitUntil([] { return VncConnection::liveSessions() == 0; }));
    EXPECT_TRUE(waitUntil([&] { return server.viewers() == 0; }));
}

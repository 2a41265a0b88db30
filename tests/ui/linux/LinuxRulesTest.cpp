// The Linux page's rules and the translation of the host's input for the guest, without widgets.
#include "ui/linux/LinuxRules.h"
#include "ui/linux/GuestInput.h"
#include "ui/style/Stepper.h"

#include <gtest/gtest.h>

using namespace LinuxRules;

// What the page tests cannot reach: a busy machine or snapshot, and a snapshot removed while running.
TEST(LinuxRules, BusyWorkHoldsBackWhatItWouldDisturb)
{
    const State forceStopping{.running = true, .busy = true};
    EXPECT_FALSE(actions(forceStopping).rowEnabled);
    EXPECT_FALSE(actions(forceStopping).forceStop.enabled);
    EXPECT_FALSE(configurationEditable(forceStopping));

    State s{.prepared = true, .snapshotBusy = true, .hasLatestSnapshot = true};
    EXPECT_FALSE(actions(s).rowEnabled);
    EXPECT_FALSE(configurationEditable(s)) << "a rollback would replace an edit made meanwhile";
    EXPECT_FALSE(snapshotActions(s).deleteLatest);

    s.snapshotBusy = false;
    s.running = true;
    EXPECT_FALSE(snapshotActions(s).rollback);
    EXPECT_TRUE(snapshotActions(s).deleteLatest) << "a snapshot can go while the machine runs";
}

TEST(LinuxRules, TheDiskStepsByEightWithinItsRange)
{
    EXPECT_EQ(diskGBRange(), (AppPreferences::Range{16, 256}));
    EXPECT_EQ(Stepper::stepped(32, +1, diskGBStep, diskGBRange()), 40);
    EXPECT_EQ(Stepper::stepped(252, +1, diskGBStep, diskGBRange()), 256);
}

TEST(LinuxRules, ResolutionTagsSplitIntoTwoNumbersOrChangeNothing)
{
    for (const Resolution &entry : resolutions()) {
        const auto size = parseResolutionTag(entry.tag);
        ASSERT_TRUE(size.has_value()) << entry.tag.toStdString();
        EXPECT_EQ(resolutionTag(size->first, size->second), entry.tag);
    }
    for (const char *bad :
         {"", "1280", "1280x", "x800", "axb", "1280x800x2", "1280×800", "0x800", "-1280x800"}) {
        EXPECT_FALSE(parseResolutionTag(QString::fromUtf8(bad)).has_value()) << bad;
    }
}

TEST(GuestInput, KeysBecomeTheKeysymsAnX11KeyboardWouldSend)
{
    using GuestInput::keysym;
    const auto none = Qt::NoModifier;
    EXPECT_EQ(keysym(Qt::Key_A, none, QStringLiteral("a")), 0x61u);
    EXPECT_EQ(keysym(Qt::Key_A, Qt::ShiftModifier, QStringLiteral("A")), 0x41u);
    // Control turns the text into a control character: the key says which letter it was.
    EXPECT_EQ(keysym(Qt::Key_C, Qt::ControlModifier, QStringLiteral("\x03")), 0x63u);
    EXPECT_EQ(keysym(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier, QString()), 0x43u);
    EXPECT_EQ(keysym(Qt::Key_Eacute, none, QStringLiteral("é")), 0xe9u);
    EXPECT_EQ(keysym(Qt::Key_unknown, none, QStringLiteral("€")), 0x010020acu);
    EXPECT_EQ(keysym(Qt::Key_unknown, none, QStringLiteral("中")), 0x01004e2du);

    EXPECT_EQ(keysym(Qt::Key_Return, none, QStringLiteral("\r")), 0xff0du);
    EXPECT_EQ(keysym(Qt::Key_Backtab, Qt::ShiftModifier, QString()), 0xfe20u);
    EXPECT_EQ(keysym(Qt::Key_F1, none, QString()), 0xffbeu);
    EXPECT_EQ(keysym(Qt::Key_F12, none, QString()), 0xffc9u);
    EXPECT_EQ(keysym(Qt::Key_Down, Qt::KeypadModifier, QString()), 0xff54u)
        << "arrows carry the keypad flag on macOS";
    EXPECT_EQ(keysym(Qt::Key_Control, Qt::ControlModifier, QString()), 0xffe3u);
    EXPECT_EQ(keysym(Qt::Key_Meta, Qt::MetaModifier, QString()), 0xffebu);

    EXPECT_EQ(keysym(Qt::Key_5, Qt::KeypadModifier, QStringLiteral("5")), 0xffb5u);
    EXPECT_EQ(keysym(Qt::Key_Plus, Qt::KeypadModifier, QStringLiteral("+")), 0xffabu);

    EXPECT_EQ(keysym(Qt::Key_unknown, none, QString()), 0u);
    EXPECT_EQ(keysym(Qt::Key_unknown, none, QStringLiteral("ab")), 0u) << "composed text is no single key";
}

TEST(GuestInput, PointerPositionsLandOnTheFramebuffer)
{
    using GuestInput::fitted;
    using GuestInput::framePosition;
    // A 16:10 area in a wide widget is pillarboxed, in a tall one letterboxed.
    EXPECT_EQ(fitted(QRectF(0, 0, 1000, 400), 1.6), QRectF(180, 0, 640, 400));
    EXPECT_EQ(fitted(QRectF(0, 0, 800, 900), 1.6), QRectF(0, 200, 800, 500));
    EXPECT_TRUE(fitted(QRectF(0, 0, 0, 100), 1.6).isEmpty());

    const QRectF image(100, 50, 640, 400); // a 1280 × 800 screen at half size
    const QSize frame(1280, 800);
    EXPECT_EQ(framePosition(QPointF(100, 50), image, frame), QPoint(0, 0));
    EXPECT_EQ(framePosition(QPointF(420, 250), image, frame), QPoint(640, 400));
    EXPECT_EQ(framePosition(QPointF(739.9, 449.9), image, frame), QPoint(1279, 799));
    EXPECT_EQ(framePosition(QPointF(0, 0), image, frame), QPoint(0, 0)) << "outside lands on the edge";
    EXPECT_EQ(framePosition(QPointF(5000, 300), image, frame), QPoint(1279, 500));
    EXPECT_EQ(framePosition(QPointF(10, 10), QRectF(), frame), QPoint(0, 0));

    EXPECT_EQ(GuestInput::buttonMask(Qt::NoButton), 0);
    EXPECT_EQ(GuestInput::buttonMask(Qt::LeftButton), 1);
    EXPECT_EQ(GuestInput::buttonMask(Qt::LeftButton | Qt::RightButton), 5);
    EXPECT_EQ(GuestInput::buttonMask(Qt::MiddleButton | Qt::BackButton), 2)
        << "buttons the guest has no use for";
}

TEST(GuestInput, WheelStepsGatherTouchpadPieces)
{
    GuestInput::WheelSteps wheel;
    EXPECT_EQ(wheel.add(120), 1);
    EXPECT_EQ(wheel.add(-240), -2);
    EXPECT_EQ(wheel.add(50), 0);
    EXPECT_EQ(wheel.add(50), 0);
    EXPECT_EQ(wheel.add(50), 1) << "the pieces add up to a notch";
    EXPECT_EQ(wheel.add(-100), 0) << "a reversal drops what was left of the other way";
    EXPECT_EQ(wheel.add(-20), -1);
    EXPECT_EQ(wheel.add(0), 0);
}
TEST(LinuxRules, TheFooterNamesHowTheHostRunsTheMachine)
{
    EXPECT_EQ(LinuxRules::footerText(Host::LinuxEngine::AppleVirtualization),
              QStringLiteral("原生 Apple Virtualization · NAT 网络 · 键盘与鼠标 · 不需要关闭 SIP。"
                             "此页面不下载系统镜像，也不自动完成发行版安装。"))
        << "the Mac keeps its text exactly";
    const QString qemu = LinuxRules::footerText(Host::LinuxEngine::Qemu);
    EXPECT_TRUE(qemu.startsWith(QStringLiteral("QEMU"))) << qemu.toStdString();
    EXPECT_FALSE(qemu.contains(QStringLiteral("Apple")));
    EXPECT_FALSE(qemu.contains(QStringLiteral("SIP")));
    EXPECT_TRUE(qemu.endsWith(QStringLiteral("此页面不下载系统镜像，也不自动完成发行版安装。")));
}

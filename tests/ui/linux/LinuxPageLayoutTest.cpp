// Where the Linux page puts the machine's screen in the real window.
#include "LinuxPageFixture.h"

#include "preferences/AppPreferences.h"
#include "ui/linux/LinuxDisplay.h"
#include "ui/linux/LinuxSettingsPanel.h"
#include "ui/linux/Reveal.h"
#include "ui/shell/AppDelegate.h"
#include "ui/shell/MainWindow.h"
#include "ui/style/PillActionButton.h"

#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

TEST_F(LinuxPageTest, AStartedMachinesScreenIsInViewInTheDefaultWindow)
{
    const auto preferences = AppPreferences::openStore();
    AppDelegate delegate;
    MainWindow window(*preferences, delegate);
    model = std::make_unique<LinuxModel>(engine, base);
    auto *page = new LinuxView(*model);
    window.addPage(QStringLiteral("linux"), page);
    AppPreferences::write(*preferences, AppPreferences::selectedVMTab, QStringLiteral("linux"));
    window.applyPreferences();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_EQ(window.size(), QSize(1040, 760));
    ASSERT_TRUE(waitUntil([&] { return page->isVisible(); }, 3000));

    interaction.files.enqueue(iso);
    page->settings()->chooseISOButton()->click();
    ASSERT_TRUE(waitUntil([&] { return model->configuration().isoPath == iso; }));
    page->startButton()->click();
    ASSERT_TRUE(waitUntil([&] { return model->running(); }));

    const auto *area = page->findChild<QScrollArea *>();
    ASSERT_NE(area, nullptr);
    LinuxDisplay *display = page->display();
    const auto inView = [&] {
        const QRect shown(display->mapTo(area->viewport(), QPoint(0, 0)), display->size());
        return display->isVisible() && area->viewport()->rect().contains(shown);
    };
    // Once the page has settled (the download links fold away as the machine starts).
    QTest::qWait(Reveal::durationMs * 2);
    EXPECT_TRUE(inView()) << "screen at " << display->mapTo(area->viewport(), QPoint(0, 0)).y() << ", "
                          << display->height() << " high, in a view " << area->viewport()->height()
                          << " high";
    EXPECT_GE(display->height(), LinuxView::displayMinimumHeight);

    // Once the user scrolls the page is theirs: a later change of its layout does not pull it back.
    area->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    window.resize(1100, 800);
    QTest::qWait(100);
    EXPECT_EQ(area->verticalScrollBar()->value(), 0);
    preferences->remove(QStringLiteral("selectedVMTab"));
}

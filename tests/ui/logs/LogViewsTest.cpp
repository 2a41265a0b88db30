#include "../ViewHelpers.h"
#include "FakeInteraction.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "Wait.h"
#include "WidgetFinder.h"
#include "services/GlobalLogModel.h"
#include "ui/logs/DeveloperLogSidebar.h"
#include "ui/logs/GlobalLogView.h"
#include "ui/logs/LogFilterField.h"
#include "ui/logs/LogTextView.h"
#include "ui/style/PillActionButton.h"
#include "ui/style/ToggleSwitch.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace WidgetFinder;

namespace {

QString shown(const LogTextView *view)
{
    return view->editor()->toPlainText();
}

/** Waits out the filter's pause and the document made on a worker, then tells whether `view` shows its
 * filter's lines. */
template<typename View> bool settled(const View &view)
{
    return waitUntil([&] { return shown(view.logText()) == view.model().filteredText(); });
}

QString bigTail(int &next, qsizetype size)
{
    QString tail;
    while (tail.size() < size) {
        tail += QStringLiteral("[2026-03-01T08:15:42.317Z] [INFO] [命令] 完成：/usr/bin/lsof 第 %1 行\n")
                    .arg(next++);
    }
    return tail;
}

class LogViewsTest : public ::testing::Test
{
protected:
    /** Writes the entries and waits until `model` has loaded the last of them. */
    static void writeAndWait(const GlobalLogModel &model, const QStringList &messages)
    {
        for (const QString &message : messages) {
            AppLog::info(QStringLiteral("Android"), message);
        }
        ASSERT_TRUE(waitUntil([&] { return model.text().contains(messages.last()); }));
    }

    QTemporaryDir dir;
};

TEST_F(LogViewsTest, EmptyAtFirstCopyAndExportTakeWhatTheFilterShowsAndClearingAsksFirst)
{
    GlobalLogView page;
    DeveloperLogSidebar sidebar;
    // Without a log file both views say there is none.
    EXPECT_EQ(shown(page.logText()), QStringLiteral("暂无全局日志。"));
    EXPECT_EQ(shown(sidebar.logText()), QStringLiteral("暂无全局日志。"));
    EXPECT_EQ(page.pathLabel()->text(), AppLog::file());
    EXPECT_EQ(page.filterField()->placeholderText(), QStringLiteral("筛选平台、错误或关键字"));
    EXPECT_EQ(sidebar.filterField()->placeholderText(), QStringLiteral("筛选日志"));
    EXPECT_TRUE(page.logText()->editor()->isReadOnly());
    EXPECT_TRUE(page.logText()->editor()->textInteractionFlags() & Qt::TextSelectableByMouse);

    sidebar.show();
    writeAndWait(page.model(),
                 {QStringLiteral("alpha one"), QStringLiteral("beta two"), QStringLiteral("ALPHA three")});
    ASSERT_TRUE(waitUntil([&] { return sidebar.model().text() == page.model().text(); }));

    QTest::keyClicks(page.filterField(), QStringLiteral(" Alpha "));
    ASSERT_TRUE(settled(page));
    QApplication::clipboard()->setText(QStringLiteral("something the user copied before"));
    page.copyButton()->click();
    // Which lines a query keeps is GlobalLogModelTest's; the copy is what the page shows of them.
    const QString copied = QApplication::clipboard()->text();
    EXPECT_EQ(copied, shown(page.logText()));
    EXPECT_EQ(copied.split(u'\n').size(), 2) << copied.toStdString();

    EXPECT_FALSE(sidebar.clearFilterButton()->isVisible()) << "only shown while filtering";
    QTest::keyClicks(sidebar.filterField(), QStringLiteral("beta"));
    EXPECT_TRUE(sidebar.clearFilterButton()->isVisible());
    sidebar.copyButton()->click();
    EXPECT_TRUE(QApplication::clipboard()->text().endsWith(QStringLiteral("[INFO] [Android] beta two")));
    EXPECT_EQ(QApplication::clipboard()->text().count(u'\n'), 0);
    EXPECT_EQ(page.model().query(), QStringLiteral(" Alpha "));

    sidebar.clearFilterButton()->click();
    EXPECT_TRUE(sidebar.filterField()->text().isEmpty());
    EXPECT_FALSE(sidebar.clearFilterButton()->isVisible());
    ASSERT_TRUE(settled(sidebar));
    EXPECT_EQ(shown(sidebar.logText()), sidebar.model().text());

    // Export writes what is shown, a failure is reported, and clearing asks first.
    page.show();
    writeAndWait(page.model(), {QStringLiteral("端口被占用 WARN"), QStringLiteral("安卓正在运行")});
    page.filterField()->setText(QStringLiteral("warn"));
    ASSERT_TRUE(settled(page));
    const QString expected = shown(page.logText());
    ASSERT_FALSE(expected.contains(QStringLiteral("安卓正在运行")));

    FakeInteraction interaction;
    const QString path = dir.filePath(QStringLiteral("导出.log"));
    interaction.files.enqueue(path);
    page.exportButton()->click();
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(path); }));
    EXPECT_EQ(QString::fromUtf8(readFile(path)), expected);
    EXPECT_EQ(alert(page, QStringLiteral("日志操作失败")), nullptr);

    // A file where a folder should be: the save cannot happen, and the user is told why.
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("not-a-folder")), {}));
    interaction.files.enqueue(dir.filePath(QStringLiteral("not-a-folder/out.log")));
    page.exportButton()->click();
    // What answering does is ErrorAlertTest's; the page tells the model's error in its alert.
    ASSERT_TRUE(waitUntil([&] { return !page.model().error().isEmpty(); }));
    ViewHelpers::answerAlert(page, QStringLiteral("日志操作失败"), page.model().error(),
                             QStringLiteral("知道了"));

    // Clearing asks first and leaves only its own entry.
    page.filterField()->clear();
    ASSERT_TRUE(settled(page));
    const QString before = LogProbe::text();
    const QString shownBefore = shown(page.logText());

    page.clearButton()->click();
    QMessageBox *confirmation = page.clearConfirmation();
    ASSERT_NE(confirmation, nullptr);
    EXPECT_EQ(confirmation->text(), QStringLiteral("清空全部全局日志？"));
    EXPECT_EQ(confirmation->informativeText(),
              QStringLiteral("会删除当前日志和上一份轮转日志，不影响虚拟机数据。"));
    answer(confirmation, QStringLiteral("取消"));
    EXPECT_TRUE(waitUntil([&] { return page.clearConfirmation() == nullptr; }, 1000));
    EXPECT_EQ(LogProbe::text(), before);
    EXPECT_EQ(shown(page.logText()), shownBefore);

    // What clearing leaves in the files is AppLogTest's; the page shows it at once.
    page.clearButton()->click();
    answer(page.clearConfirmation(), QStringLiteral("清空日志"));
    EXPECT_TRUE(shown(page.logText()).endsWith(QStringLiteral("[INFO] [日志] 全局日志已由用户清空\n")))
        << shown(page.logText()).toStdString();
    EXPECT_EQ(shown(page.logText()).count(u'\n'), 1);
}

TEST_F(LogViewsTest, FollowingOffKeepsThePlaceAndOnCatchesUpAtTheNextChange)
{
    DeveloperLogSidebar sidebar;
    sidebar.resize(DeveloperLogSidebar::preferredWidth, 420);
    sidebar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sidebar));
    QStringList many;
    for (int i = 0; i < 300; ++i) {
        many.append(QStringLiteral("启动步骤 %1").arg(i));
    }
    writeAndWait(sidebar.model(), many);
    QScrollBar *bar = sidebar.logText()->editor()->verticalScrollBar();
    ASSERT_TRUE(waitUntil([&] { return bar->maximum() > 100 && bar->value() == bar->maximum(); }))
        << bar->value() << " of " << bar->maximum();

    sidebar.followSwitch()->click();
    EXPECT_FALSE(sidebar.followLatest());
    bar->setValue(bar->maximum() / 2);
    const int place = bar->value();
    writeAndWait(sidebar.model(), {QStringLiteral("后来的一条"), QStringLiteral("又一条")});
    ASSERT_TRUE(waitUntil([&] { return shown(sidebar.logText()).contains(QStringLiteral("又一条")); }));
    QTest::qWait(LogTextView::scrollDurationMs * 2);
    EXPECT_EQ(bar->value(), place);
    // Shown again (the window restored, the drawer back): the place is kept too.
    sidebar.hide();
    sidebar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sidebar));
    QTest::qWait(LogTextView::scrollDurationMs * 2);
    EXPECT_EQ(bar->value(), place);

    sidebar.followSwitch()->click();
    EXPECT_TRUE(sidebar.followLatest());
    EXPECT_EQ(bar->value(), place) << "nothing moves until the text changes";
    writeAndWait(sidebar.model(), {QStringLiteral("最新的一条")});
    EXPECT_TRUE(waitUntil([&] { return bar->value() == bar->maximum(); }, 2000))
        << bar->value() << " of " << bar->maximum();
}

TEST(LogTextViewTest, EditsFollowAGrowingOrMovingTail)
{
    using Edit = LogTextView::Edit;
    const auto line = [](int n) {
        return QStringLiteral("[2026-03-01T08:15:4%1.317Z] [INFO] [命令] 完成：第 %1 行\n").arg(n);
    };
    const QString shownText = line(0) + line(1) + line(2) + line(3);
    EXPECT_EQ(LogTextView::incrementalEdit(shownText, QString(shownText + line(4))),
              (Edit{0, QString(), line(4)}));
    // The tail moved on past the first line and part of the second.
    const qsizetype cut = line(0).size() + 7;
    EXPECT_EQ(LogTextView::incrementalEdit(shownText, QString(shownText.mid(cut) + line(4))),
              (Edit{cut, QString(), line(4)}));
    // Cut inside a character: the new tail opens with a replacement character the old one never had.
    const qsizetype character = shownText.indexOf(QStringLiteral("命令"), line(0).size());
    EXPECT_EQ(LogTextView::incrementalEdit(
                  shownText, QString(QStringLiteral("\uFFFD") + shownText.mid(character + 1) + line(4))),
              (Edit{character + 1, QStringLiteral("\uFFFD"), line(4)}));
    // Nothing in common, or a filter that changed what is shown: only a replacement will do.
    EXPECT_EQ(LogTextView::incrementalEdit(shownText, line(7)), std::nullopt);
    EXPECT_EQ(LogTextView::incrementalEdit(shownText, QString(line(1) + line(3))), std::nullopt);
    EXPECT_EQ(LogTextView::incrementalEdit(QString(), line(0)), std::nullopt);
}

TEST(LogTextViewTest, LargeMovingTailStaysExact)
{
    LogTextView view(11);
    int next = 0;
    QString tail = bigTail(next, 400'000);
    view.setText(tail);
    ASSERT_TRUE(waitUntil([&] { return !view.settling(); }));
    view.editor()->verticalScrollBar()->setValue(200);
    for (int round = 0; round < 20; ++round) {
        tail += QStringLiteral("[2026-03-01T08:15:43.000Z] [WARN] [Android] 新行 %1\n").arg(next++);
        tail.remove(0, 37 + round); // the window moves on by a few characters, cutting a line
        view.setText(tail);
        ASSERT_FALSE(view.settling()) << "a small edit is made at once";
        ASSERT_EQ(view.editor()->toPlainText(), tail) << "round " << round;
    }
    EXPECT_EQ(view.editor()->verticalScrollBar()->value(), 200);
}

TEST(LogTextViewTest, ALargeTextArrivesWholeAndTheLatestOfSeveralWins)
{
    LogTextView view(11);
    view.resize(600, 400);
    view.show();
    int next = 0;
    view.setText(QStringLiteral("短的一行"));
    EXPECT_EQ(view.editor()->toPlainText(), QStringLiteral("短的一行"));

    QSignalSpy settledSpy(&view, &LogTextView::settled);
    const QString first = bigTail(next, 300'000);
    const QString second = bigTail(next, 200'000);
    view.setText(first);
    EXPECT_TRUE(view.settling());
    EXPECT_EQ(view.text(), first);
    EXPECT_EQ(view.editor()->toPlainText(), QStringLiteral("短的一行"))
        << "the old text stays until the new is ready";
    view.setText(second);
    view.scrollToLatest(false);
    ASSERT_TRUE(waitUntil([&] { return !view.settling(); }));
    EXPECT_EQ(view.editor()->toPlainText(), second);
    EXPECT_EQ(settledSpy.count(), 1) << "the first text was never shown on its own";
    QScrollBar *bar = view.editor()->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_TRUE(waitUntil([&] { return bar->value() == bar->maximum(); }, 1000))
        << "scrolled to the newest line";

    // The text a user selects and copies is the text shown.
    view.editor()->selectAll();
    view.editor()->copy();
    EXPECT_EQ(QApplication::clipboard()->text(), second);

    // A view closed while its document is being made does not take the program down with it.
    auto *closing = new LogTextView(11);
    closing->setText(first);
    delete closing;
    QTest::qWait(200);
}

TEST_F(LogViewsTest, TypingAWordFiltersOnceAfterAPause)
{
    for (int i = 0; i < 2000; ++i) {
        AppLog::info(QStringLiteral("Android"),
                     QStringLiteral("第 %1 行 %2").arg(i).arg(i % 7 ? u"beta" : u"alpha"));
    }
    GlobalLogView page;
    page.show();
    ASSERT_TRUE(waitUntil([&] { return page.model().text().contains(QStringLiteral("第 1999 行")); }));
    ASSERT_TRUE(settled(page));
    const QString unfiltered = shown(page.logText());
    QSignalSpy settledSpy(page.logText(), &LogTextView::settled);

    QTest::keyClicks(page.filterField(), QStringLiteral("alpha"));
    EXPECT_EQ(page.model().query(), QStringLiteral("alpha")) << "the query itself is never late";
    EXPECT_EQ(shown(page.logText()), unfiltered) << "nothing is filtered while the user types";
    ASSERT_TRUE(settled(page));
    EXPECT_EQ(settledSpy.count(), 1);
    EXPECT_EQ(shown(page.logText()).count(QStringLiteral("] [Android] 第 ")), 2000 / 7 + 1);
}

} // namespace

// The global log, and the model that shows it.
#include "services/AppLog.h"
#include "Await.h"
#include "FakeInteraction.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "Wait.h"
#include "services/GlobalLogModel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include <sys/stat.h>

namespace {

class AppLogTest : public ::testing::Test
{
protected:
    static QString logFolder() { return QFileInfo(AppLog::file()).path(); }
};

TEST_F(AppLogTest, EntryHasTimestampLevelCategoryAndTrimmedMessage)
{
    AppLog::warn(QStringLiteral("命令"), QStringLiteral("\n   开始：/bin/true \n"));
    AppLog::error(QStringLiteral("Android"),
                  QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b\nsecond line"));

    const QString text = LogProbe::text();
    const QStringList lines = text.split(u'\n');
    ASSERT_EQ(lines.size(), 4) << text.toStdString();
    const QRegularExpression entry(QStringLiteral(
        R"(^\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z\] \[(INFO|WARN|ERROR)\] \[[^\]]+\] .*$)"));
    EXPECT_TRUE(entry.match(lines[0]).hasMatch()) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("] [WARN] [命令] 开始：/bin/true")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("] [ERROR] [Android] ab")));
    // Inner line breaks survive; only the first line of an entry carries the prefix.
    EXPECT_EQ(lines[2], QStringLiteral("second line"));
    EXPECT_EQ(lines[3], QString());

    const QDateTime stamp = QDateTime::fromString(lines[0].mid(1, 24), Qt::ISODateWithMs);
    ASSERT_TRUE(stamp.isValid());
    EXPECT_LT(qAbs(stamp.secsTo(QDateTime::currentDateTimeUtc())), 60);
}

TEST_F(AppLogTest, EachWriteIsAnnouncedOnTheMainThreadAndABlankOneIsNotWritten)
{
    QThread *announcedOn = nullptr;
    int announcements = 0;
    QObject receiver;
    QObject::connect(AppLog::Notifier::instance(), &AppLog::Notifier::changed, &receiver, [&] {
        announcedOn = QThread::currentThread();
        ++announcements;
    });
    AppLog::info(QStringLiteral("应用"), QStringLiteral(" \n\t \r\n "));
    AppLog::info(QStringLiteral("应用"), QString(QChar(u'\0')));
    EXPECT_EQ(AppLog::readTail(AppLog::displayTailBytes), QStringLiteral("暂无全局日志。"));
    QTest::qWait(50);
    EXPECT_EQ(announcements, 0) << "blank messages are announced";
    std::thread writer([] {
        AppLog::info(QStringLiteral("应用"), QStringLiteral("one"));
        AppLog::info(QStringLiteral("应用"), QStringLiteral("two"));
    });
    writer.join();
    ASSERT_TRUE(waitUntil([&] { return announcements == 2; }, 2000));
    EXPECT_EQ(announcedOn, QCoreApplication::instance()->thread());
}

TEST_F(AppLogTest, RotatesOnlyPastTheThresholdAndClearLeavesOnlyTheClearingEntry)
{
    const QString previous = AppLog::previousFile();
    makeSparseFile(AppLog::file(), AppLog::rotationThreshold);
    AppLog::info(QStringLiteral("应用"), QStringLiteral("at threshold"));
    LogProbe::text();
    EXPECT_FALSE(QFile::exists(previous));
    EXPECT_GT(QFileInfo(AppLog::file()).size(), AppLog::rotationThreshold);

    makeSparseFile(previous, 10);
    makeSparseFile(AppLog::file(), AppLog::rotationThreshold + 1);
    AppLog::info(QStringLiteral("应用"), QStringLiteral("over threshold"));
    EXPECT_EQ(LogProbe::messages(QStringLiteral("应用")), QStringList{QStringLiteral("INFO over threshold")});
    EXPECT_EQ(QFileInfo(previous).size(), AppLog::rotationThreshold + 1);

    // Clearing leaves the entry that says so, and no previous file.
    AppLog::clear();
    EXPECT_EQ(LogProbe::messages(QStringLiteral("日志")),
              QStringList{QStringLiteral("INFO 全局日志已由用户清空")});
    EXPECT_EQ(AppLog::readTail(AppLog::displayTailBytes).count(u'\n'), 1) << "nothing else is left";
    EXPECT_FALSE(QFile::exists(previous));
}

TEST_F(AppLogTest, TailIsTheLastBytesOrAllOfASmallFile)
{
    EXPECT_EQ(AppLog::readTail(AppLog::displayTailBytes), QStringLiteral("暂无全局日志。"));

    QByteArray content;
    for (int i = 0; content.size() < 1'000'000; ++i) {
        content += QByteArray::number(i).rightJustified(9, '0') + '\n';
    }
    content.truncate(1'000'000);
    ASSERT_TRUE(writeFile(AppLog::file(), content));
    EXPECT_EQ(AppLog::readTail(AppLog::displayTailBytes).toUtf8(), content.right(786'432));

    ASSERT_TRUE(writeFile(AppLog::file(), content.left(100)));
    EXPECT_EQ(AppLog::readTail(AppLog::displayTailBytes).toUtf8(), content.left(100));

    // A cut inside a character: the last 5 bytes are the end of 中 and "文\n".
    ASSERT_TRUE(writeFile(AppLog::file(), QStringLiteral("中文\n").toUtf8()));
    EXPECT_EQ(AppLog::readTail(5), QString(QChar(QChar::ReplacementCharacter)) + QStringLiteral("文\n"));
}

TEST_F(AppLogTest, ConcurrentWritersLoseNothingAndKeepTheirOrder)
{
    constexpr int threads = 4;
    constexpr int perThread = 2500;
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < perThread; ++i) {
                AppLog::info(QStringLiteral("应用"),
                             QStringLiteral("writer %1 entry %2 ").arg(t).arg(i) + QString(40, u'z'));
            }
        });
    }
    for (auto &writer : writers) {
        writer.join();
    }
    const QStringList entries = LogProbe::entries();
    ASSERT_EQ(entries.size(), threads * perThread);
    const QRegularExpression shape(QStringLiteral(R"(\] writer (\d) entry (\d+) z{40}$)"));
    std::vector<int> next(threads, 0);
    for (const QString &entry : entries) {
        const auto match = shape.match(entry);
        ASSERT_TRUE(match.hasMatch()) << entry.toStdString();
        const int writer = match.captured(1).toInt();
        EXPECT_EQ(match.captured(2).toInt(), next[writer]++);
    }
}

TEST_F(AppLogTest, AnEntryIsAppendedWholeOrNotAtAll)
{
    AppLog::info(QStringLiteral("日志"), QStringLiteral("before the disk filled"));
    AppLog::readTail(0);
    const qint64 filled = QFileInfo(AppLog::file()).size();

    // A limit a few bytes past the end stops the next entry part-way.
    withFileSizeLimit(filled + 20, [] {
        AppLog::info(QStringLiteral("日志"), QStringLiteral("does not fit"));
        AppLog::readTail(0);
    });

    AppLog::info(QStringLiteral("日志"), QStringLiteral("after space was freed"));
    const QStringList whole{QStringLiteral("INFO before the disk filled"),
                            QStringLiteral("INFO after space was freed")};
    EXPECT_EQ(LogProbe::messages(QStringLiteral("日志")), whole);
    EXPECT_EQ(LogProbe::text().count(u'\n'), 2) << "nothing of the entry that did not fit is left";

    // A torn end left by a program killed mid-write is not continued.
    QFile file(AppLog::file());
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("[2026-03-01T08:15:42.317Z] [INFO] [日志] tor");
    file.close();
    AppLog::info(QStringLiteral("日志"), QStringLiteral("on a line of its own"));
    EXPECT_EQ(LogProbe::messages(QStringLiteral("日志")),
              (whole + QStringList{QStringLiteral("INFO tor"), QStringLiteral("INFO on a line of its own")}));
}

TEST_F(AppLogTest, ALogThatCannotBeOpenedDropsEntriesWithoutStalling)
{
    // A file where the folder should be fails even for root; opening a pipe nobody reads waits forever.
    const std::pair<QString, std::function<bool()>> blockers[] = {
        {logFolder(), [] { return writeFile(logFolder(), {}); }},
        {AppLog::file(),
         [] {
             return QDir().mkpath(logFolder()) &&
                    ::mkfifo(QFile::encodeName(AppLog::file()).constData(), 0600) == 0;
         }},
    };
    for (const auto &[blocker, block] : blockers) {
        ASSERT_TRUE(block());
        QSignalSpy changed(AppLog::Notifier::instance(), &AppLog::Notifier::changed);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < 100; ++i) {
            AppLog::info(QStringLiteral("应用"), QStringLiteral("dropped"));
        }
        EXPECT_LT(timer.elapsed(), 50);
        EXPECT_EQ(AppLog::readTail(AppLog::displayTailBytes), QStringLiteral("暂无全局日志。"));
        QTest::qWait(50);
        EXPECT_EQ(changed.count(), 0);
        QFile::remove(blocker);

        AppLog::info(QStringLiteral("应用"), QStringLiteral("recovered"));
        EXPECT_EQ(LogProbe::entries().size(), 1);
        LogProbe::reset();
    }
}

TEST(AppLogCommand, QuotesOnlyPartsWithASpace)
{
    EXPECT_EQ(AppLog::command(QStringLiteral("/bin/cp"),
                              {QStringLiteral("-cR"), QStringLiteral("/a b/c"), QStringLiteral("tab\there"),
                               QStringLiteral("say \"hi\"")}),
              QStringLiteral("/bin/cp -cR \"/a b/c\" tab\there \"say \"hi\"\""));
    EXPECT_EQ(AppLog::command(QStringLiteral("/Apps/My Tool"), {}), QStringLiteral("\"/Apps/My Tool\""));
}

using GlobalLogModelTest = AppLogTest;

TEST_F(GlobalLogModelTest, FilterKeepsMatchingLinesIgnoringCase)
{
    const QString text =
        QStringLiteral("[t] [ERROR] [命令] 失败：/bin/cp\ncp: Error copying\n\n[t] [INFO] [应用] errorless\n"
                       "[t] [INFO] [应用] fine");
    EXPECT_EQ(
        GlobalLogModel::filter(text, QStringLiteral("  error \n")),
        QStringLiteral("[t] [ERROR] [命令] 失败：/bin/cp\ncp: Error copying\n[t] [INFO] [应用] errorless"));
    EXPECT_EQ(GlobalLogModel::filter(text, QStringLiteral(" \t\n")), text);
    EXPECT_EQ(GlobalLogModel::filter(text, QString()), text);
    // A continuation line stays only when it matches by itself.
    EXPECT_EQ(GlobalLogModel::filter(text, QStringLiteral("cp:")), QStringLiteral("cp: Error copying"));
    EXPECT_EQ(GlobalLogModel::filter(text, QStringLiteral("命令")),
              QStringLiteral("[t] [ERROR] [命令] 失败：/bin/cp"));
    EXPECT_EQ(GlobalLogModel::filter(text, QStringLiteral("absent")), QString());
}

TEST_F(GlobalLogModelTest, ReloadsAfterEveryWriteAndClearAndFollowsTheTailThroughTrimmingAndRotation)
{
    GlobalLogModel model;
    EXPECT_EQ(model.text(), QStringLiteral("暂无全局日志。"));
    QSignalSpy changed(&model, &GlobalLogModel::textChanged);

    AppLog::info(QStringLiteral("应用"), QStringLiteral("Corvane Beta 已启动"));
    ASSERT_TRUE(changed.wait(2000));
    EXPECT_TRUE(model.text().endsWith(QStringLiteral("[INFO] [应用] Corvane Beta 已启动\n")));

    AppLog::clear();
    ASSERT_TRUE(
        waitUntil([&] { return model.text().contains(QStringLiteral("全局日志已由用户清空")); }, 2000));
    EXPECT_EQ(model.text().count(u'\n'), 1);

    const QString filler(4000, QChar(u'日'));
    // Bursts of large entries: past the shown tail's size first, then past the rotation threshold.
    for (int burst = 0; burst < 12; ++burst) {
        for (int entry = 0; entry < 40; ++entry) {
            AppLog::info(QStringLiteral("测试"), QStringLiteral("%1-%2 ").arg(burst).arg(entry) + filler);
        }
        const QString marker = QStringLiteral("%1-39 ").arg(burst);
        ASSERT_TRUE(waitUntil([&] { return model.text().contains(marker); }, 5000)) << burst;
        EXPECT_EQ(model.text(), AppLog::readTail(AppLog::displayTailBytes)) << burst;
    }
    EXPECT_TRUE(QFile::exists(AppLog::previousFile())) << "the log rotated while followed";
}

TEST_F(GlobalLogModelTest, ExportWritesTheFilteredTailAndRecordsItOrShowsWhyNot)
{
    AppLog::warn(QStringLiteral("Android"), QStringLiteral("端口被占用"));
    AppLog::info(QStringLiteral("Android"), QStringLiteral("安卓正在运行"));
    GlobalLogModel model;
    ASSERT_TRUE(waitUntil([&] { return model.text().contains(QStringLiteral("安卓正在运行")); }, 2000));
    model.setQuery(QStringLiteral("warn"));

    FakeInteraction interaction;
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.log"));
    interaction.files.enqueue(path);
    ASSERT_TRUE(await(model.exportLog()).done);

    ASSERT_EQ(interaction.asked.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^Corvane-全局日志-\d{8}-\d{6}\.log$)"))
                    .match(interaction.asked[0].detail)
                    .hasMatch())
        << interaction.asked[0].detail.toStdString();
    // That the file holds the filtered lines shown is LogViewsTest.ExportWritesWhatIsShown…'s.
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_TRUE(
        LogProbe::entries().last().endsWith(QStringLiteral("[INFO] [日志] 已导出全局日志到 ") + path));
    EXPECT_TRUE(model.error().isEmpty());

    // Cancelling the dialog does nothing at all; a failure is shown, not logged.
    const int entriesBefore = int(LogProbe::entries().size());
    ASSERT_TRUE(await(model.exportLog()).done);
    EXPECT_EQ(LogProbe::entries().size(), entriesBefore);
    EXPECT_FALSE(model.exportTo(path + QStringLiteral("/inside.log")));
    EXPECT_FALSE(model.error().isEmpty());
    EXPECT_EQ(LogProbe::entries().size(), entriesBefore);
}

} // namespace

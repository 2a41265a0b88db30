#include "services/GlobalLogModel.h"
#include "Await.h"
#include "FakeInteraction.h"
#include "LogProbe.h"
#include "Wait.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class GlobalLogModelTest : public ::testing::Test
{
protected:
    void SetUp() override { LogProbe::reset(); }
    QTemporaryDir dir;
};

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

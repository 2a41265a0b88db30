// The alert every page tells its model's error in.
#include "ui/style/ErrorAlert.h"
#include "Wait.h"
#include "WidgetFinder.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class ErrorModel : public QObject
{
    Q_OBJECT

public:
    const QString &error() const { return m_error; }
    void setError(const QString &error)
    {
        if (m_error != error) {
            m_error = error;
            Q_EMIT errorChanged();
        }
    }
    void clearError() { setError(QString()); }

Q_SIGNALS:
    void errorChanged();

private:
    QString m_error;
};

} // namespace

TEST(ErrorAlertTest, ToldOnlyOnAShownPageFollowingTheError)
{
    ErrorModel model;
    QWidget page;
    ErrorAlert *alert = ErrorAlert::watch(&page, model, QStringLiteral("Linux 提示"));
    model.setError(QStringLiteral("磁盘已满"));
    EXPECT_EQ(alert->box(), nullptr) << "a hidden page tells nothing yet";

    page.show();
    QPointer<QMessageBox> box = alert->box();
    ASSERT_NE(box, nullptr) << "told once the page shows";
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text(), QStringLiteral("Linux 提示"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("磁盘已满"));
    EXPECT_EQ(box->buttons().size(), 1);

    model.setError(QStringLiteral("端口被占用"));
    EXPECT_EQ(alert->box(), box.data()) << "a newer error replaces the text, not the alert";
    EXPECT_EQ(box->informativeText(), QStringLiteral("端口被占用"));

    model.clearError();
    EXPECT_FALSE(box && box->isVisible()) << "cleared elsewhere, the alert goes";
}

// Qt sizes a message box by its title, so a short one folded messages into a column a few words wide.
TEST(ErrorAlertTest, AMessageUnderAShortTitleReadsInLinesOfAReadableWidth)
{
    ErrorModel model;
    QWidget page;
    ErrorAlert *alert = ErrorAlert::watch(&page, model, QStringLiteral("iOS 提示"));
    page.show();
    const auto messageWidth = [&] {
        const auto *message = alert->box()->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
        return message && message->isVisible() ? message->width() : 0;
    };

    model.setError(QStringLiteral("无法启动 /usr/bin/xcrun：No such file or directory。"));
    ASSERT_NE(alert->box(), nullptr);
    EXPECT_GE(messageWidth(), 300);
    model.setError(QStringLiteral("端口被占用"));
    EXPECT_GE(messageWidth(), 300) << "a new message lays the box out again";
}

TEST(ErrorAlertTest, EveryWayOfDismissingClearsTheErrorBeforeAnExtraAction)
{
    ErrorModel model;
    QWidget page;
    page.show();
    QString errorSeenByAction = QStringLiteral("not run");
    ErrorAlert *alert = ErrorAlert::watch(
        &page, model, QStringLiteral("需要注意"),
        {{QStringLiteral("查看日志"), QMessageBox::ActionRole, [&] { errorSeenByAction = model.error(); }}});

    model.setError(QStringLiteral("启动失败"));
    ASSERT_NE(alert->box(), nullptr);
    QTest::keyClick(alert->box(), Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return model.error().isEmpty(); })) << "Escape answers 知道了";

    model.setError(QStringLiteral("启动失败"));
    ASSERT_NE(alert->box(), nullptr);
    alert->box()->close();
    EXPECT_EQ(model.error(), QString()) << "closing the window dismisses it too";

    model.setError(QStringLiteral("启动失败"));
    WidgetFinder::answer(alert->box(), QStringLiteral("查看日志"));
    EXPECT_EQ(errorSeenByAction, QString());
    EXPECT_EQ(model.error(), QString());

    model.setError(QStringLiteral("启动失败"));
    WidgetFinder::answer(alert->box(), QStringLiteral("知道了"));
    EXPECT_EQ(model.error(), QString());
}

#include "ErrorAlertTest.moc"

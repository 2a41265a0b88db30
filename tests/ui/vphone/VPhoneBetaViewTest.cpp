#include "ui/vphone/VPhoneBetaView.h"
#include "Await.h"
#include "FakeHost.h"
#include "LogProbe.h"
#include "Wait.h"
#include "platform/Host.h"
#include "preferences/AppPreferences.h"
#include "services/Command.h"
#include "ui/style/PillActionButton.h"
#include "ui/vphone/VPhoneDisclaimerSheet.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

using P = AppPreferences;

const QString command =
    QStringLiteral("cd ~/Library/Application\\ Support/Corvane/vphone-engine/vphone-cli.app/Contents/MacOS");
const QString stand_in = QStringLiteral(CORVANE_FAKES_DIR "/csrutil");

QLabel *labelContaining(const QWidget &root, const QString &text)
{
    for (QLabel *label : root.findChildren<QLabel *>()) {
        if (label->text().contains(text)) {
            return label;
        }
    }
    return nullptr;
}

class VPhoneBetaViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        LogProbe::reset();
        AppPreferences::clear(*store);
        QDir(Host::vphoneRoot()).removeRecursively();
        QApplication::clipboard()->setText(QStringLiteral("what the user copied before"));
    }

    void TearDown() override
    {
        qunsetenv("FAKE_CSRUTIL_STATUS");
        qunsetenv("FAKE_CSRUTIL_EXIT");
        qunsetenv("FAKE_CSRUTIL_DELAY_MS");
    }

    std::unique_ptr<VPhoneBetaView> open()
    {
        auto view = std::make_unique<VPhoneBetaView>();
        view->setCsrutilPath(stand_in);
        view->resize(900, 800);
        view->show();
        return view;
    }

    /** Runs the SIP check and waits for its line to change. */
    static QString checkSip(VPhoneBetaView &view)
    {
        const QString before = view.sipLine()->text();
        view.checkSipButton()->click();
        EXPECT_TRUE(view.checking());
        EXPECT_TRUE(waitUntil([&] { return !view.checking(); }, 20000));
        EXPECT_NE(view.sipLine()->text(), before);
        return view.sipLine()->text();
    }

    /** The stored file itself, so a lock that only lives in memory does not count. */
    QByteArray storedOnDisk() const
    {
        QFile file(store->fileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    FakeHost host;
    std::unique_ptr<QSettings> store = P::openStore();
};

TEST_F(VPhoneBetaViewTest, FirstCopyOnlyOpensTheDisclaimer)
{
    const auto view = open();
    EXPECT_FALSE(view->permanentlyBlocked());
    EXPECT_FALSE(view->lockedNotice()->isVisibleTo(view.get()));
    EXPECT_EQ(view->messageLine()->text(), QStringLiteral("尚未运行检测"));
    EXPECT_EQ(view->sipLine()->text(), QStringLiteral("尚未检测"));
    ASSERT_NE(labelContaining(*view, command), nullptr) << "the command is shown as it will be pasted";

    view->copyButton()->click();
    VPhoneDisclaimerSheet *sheet = view->disclaimerSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("what the user copied before"));
    EXPECT_EQ(sheet->agreement()->text(), QStringLiteral("我已阅读并同意以上免责协议"));
    EXPECT_FALSE(sheet->agreeButton()->isEnabled());
    sheet->agreement()->click();
    EXPECT_TRUE(sheet->agreeButton()->isEnabled());
    sheet->agreement()->click();
    EXPECT_FALSE(sheet->agreeButton()->isEnabled());
    sheet->agreeButton()->click();
    EXPECT_FALSE(view->permanentlyBlocked()) << "a disabled button agrees to nothing";

    sheet->cancelButton()->click();
    EXPECT_TRUE(waitUntil([&] { return view->disclaimerSheet() == nullptr; }, 1000));
    EXPECT_FALSE(view->permanentlyBlocked());
    EXPECT_FALSE(P::read(*store, P::vphonePermanentlyBlocked));
    EXPECT_TRUE(host.opened().isEmpty());
    EXPECT_TRUE(view->checkSipButton()->isEnabled());
    EXPECT_TRUE(view->openFolderButton()->isEnabled());
}

TEST_F(VPhoneBetaViewTest, AgreeingLocksThePageForGood)
{
    auto view = open();
    view->copyButton()->click();
    VPhoneDisclaimerSheet *sheet = view->disclaimerSheet();
    ASSERT_NE(sheet, nullptr);
    sheet->agreement()->click();
    sheet->agreeButton()->click();

    EXPECT_TRUE(view->permanentlyBlocked());
    EXPECT_TRUE(
        waitUntil([&] { return storedOnDisk().contains("\"vphonePermanentlyBlocked\": true"); }, 3000))
        << storedOnDisk().toStdString();
    EXPECT_TRUE(waitUntil([&] { return view->disclaimerSheet() == nullptr; }, 1000));
    EXPECT_EQ(host.opened(), QList<QUrl>{QUrl(QStringLiteral("https://github.com/Lakr233/vphone-cli"))});
    QMessageBox *notice = view->finalNotice();
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->text(), QStringLiteral("后续操作说明"));
    EXPECT_EQ(notice->informativeText(),
              QStringLiteral("以后的操作与本软件无关，请至软件外操作。官方文档已在浏览器中打开。"));
    ASSERT_EQ(notice->buttons().size(), 1);
    EXPECT_EQ(notice->buttons().first()->text(), QStringLiteral("完成"));
    notice->buttons().first()->click();

    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("what the user copied before"));
    view->copyButton()->click();
    EXPECT_EQ(view->disclaimerSheet(), nullptr);
    EXPECT_EQ(QApplication::clipboard()->text(), command);

    // As after a restart: a new page reads the lock and offers no checks.
    view.reset();
    view = open();
    EXPECT_TRUE(view->permanentlyBlocked());
    EXPECT_TRUE(view->lockedNotice()->isVisibleTo(view.get()));
    EXPECT_NE(labelContaining(*view, QStringLiteral("经系统安全性考虑，不予继续")), nullptr);
    EXPECT_FALSE(view->checkSipButton()->isEnabled());
    EXPECT_FALSE(view->openFolderButton()->isEnabled());
    QApplication::clipboard()->setText(QString());
    view->copyButton()->click();
    EXPECT_EQ(view->disclaimerSheet(), nullptr);
    EXPECT_EQ(QApplication::clipboard()->text(), command);
    Q_EMIT labelContaining(*view, QStringLiteral("打开官方操作文档"))->linkActivated(QString());
    EXPECT_EQ(host.opened().last(), QUrl(QStringLiteral("https://github.com/Lakr233/vphone-cli")));
}

TEST_F(VPhoneBetaViewTest, SipLineShowsTheToolsOutputAsPrinted)
{
    const auto view = open();
    EXPECT_EQ(checkSip(*view), QStringLiteral("System Integrity Protection status: enabled.\n"));
    EXPECT_EQ(view->messageLine()->text(), QStringLiteral("尚未运行检测"));
    EXPECT_TRUE(LogProbe::text().contains(QStringLiteral("[INFO] [命令] 开始：") + stand_in +
                                          QStringLiteral(" status")));

    qputenv("FAKE_CSRUTIL_STATUS", "custom");
    const QString custom = checkSip(*view);
    EXPECT_TRUE(custom.startsWith(
        QStringLiteral("System Integrity Protection status: unknown (Custom Configuration).\n\n")));
    EXPECT_TRUE(custom.contains(QStringLiteral("\n\tKext Signing: disabled\n")));
    EXPECT_TRUE(custom.endsWith(QStringLiteral("unknown state.\n")));
}

TEST_F(VPhoneBetaViewTest, SipCheckFailuresSayWhy)
{
    const auto view = open();
    qputenv("FAKE_CSRUTIL_EXIT", "1");
    EXPECT_EQ(checkSip(*view), QStringLiteral("检测失败：System Integrity Protection status: enabled.\n"));

    // No csrutil at all, as on Linux: the runner's own description of the failed launch.
    const QString missing = QStringLiteral("/nonexistent/csrutil");
    const QStringList arguments{QStringLiteral("status")};
    const Outcome<QString> direct =
        await(Command::run(missing, arguments, std::nullopt, 15, Command::successOnly()));
    ASSERT_TRUE(direct.error.has_value());
    view->setCsrutilPath(missing);
    EXPECT_EQ(checkSip(*view), QStringLiteral("检测失败：") + *direct.error);
    EXPECT_GT(direct.error->size(), 0);
}

TEST_F(VPhoneBetaViewTest, OneSipCheckAtATime)
{
    const auto view = open();
    qputenv("FAKE_CSRUTIL_DELAY_MS", "400");
    view->checkSipButton()->click();
    EXPECT_FALSE(view->checkSipButton()->isEnabled()) << "a check under way cannot be asked for again";
    view->checkSipButton()->click();
    QTest::mouseClick(view->checkSipButton(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !view->checking(); }, 20000));
    EXPECT_TRUE(view->checkSipButton()->isEnabled());
    EXPECT_EQ(view->sipLine()->text(), QStringLiteral("System Integrity Protection status: enabled.\n"));
    EXPECT_FALSE(waitUntil([] { return LogProbe::text().count(QStringLiteral("[命令] 开始：")) > 1; }, 600))
        << "only one csrutil ran";
}

TEST_F(VPhoneBetaViewTest, ToolFolderTerminalAndLinks)
{
    const auto view = open();
    EXPECT_EQ(view->toolStatus()->text(), QStringLiteral("未找到 vphone-cli"));
    const QString folder = Host::vphoneRoot() + QStringLiteral("/vphone-engine");
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/vphone-cli.app")));
    view->hide();
    view->show();
    EXPECT_EQ(view->toolStatus()->text(), QStringLiteral("已找到 vphone-cli"));

    view->openFolderButton()->click();
    EXPECT_EQ(host.opened().last(), QUrl::fromLocalFile(folder));
    view->terminalButton()->click();
    EXPECT_EQ(host.openedApplications(), QStringList{Tools::terminal()});
    Q_EMIT labelContaining(*view, QStringLiteral("下载 vphone-cli（官方 GitHub Releases）"))
        ->linkActivated(QString());
    EXPECT_EQ(host.opened().last(), QUrl(QStringLiteral("https://github.com/Lakr233/vphone-cli/releases")));
    Q_EMIT labelContaining(*view, QStringLiteral("项目主页"))->linkActivated(QString());
    EXPECT_EQ(host.opened().last(), QUrl(QStringLiteral("https://github.com/Lakr233/vphone-cli")));
}

} // namespace

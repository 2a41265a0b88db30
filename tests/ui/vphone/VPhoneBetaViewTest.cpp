// The phone-tool page over its model: the disclaimer, the lock as the page shows it, and each control
// reaching the model (the model's own checks are in tests/ios/VPhoneModelTest.cpp).
#include "ui/vphone/VPhoneBetaView.h"
#include "../ViewHelpers.h"
#include "FakeHost.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "Wait.h"
#include "ios/vphone/VPhoneModel.h"
#include "platform/Host.h"
#include "platform/Tools.h"
#include "preferences/AppPreferences.h"
#include "ui/style/PillActionButton.h"
#include "ui/vphone/VPhoneDisclaimerSheet.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QMessageBox>
#include <QSettings>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

using P = AppPreferences;
using ViewHelpers::labelContaining;

const QString command =
    QStringLiteral("cd ~/Library/Application\\ Support/Corvane/vphone-engine/vphone-cli.app/Contents/MacOS");
const QString stand_in = QStringLiteral(CORVANE_FAKES_DIR "/csrutil");

class VPhoneBetaViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir(Host::vphoneRoot()).removeRecursively();
        QApplication::clipboard()->setText(QStringLiteral("what the user copied before"));
    }

    /** A page over a model of its own, as the program builds them at start. */
    std::unique_ptr<VPhoneBetaView> open()
    {
        model = std::make_unique<VPhoneModel>(stand_in);
        auto view = std::make_unique<VPhoneBetaView>(*model);
        view->resize(900, 800);
        view->show();
        return view;
    }

    FakeHost host;
    std::unique_ptr<QSettings> store = P::openStore();
    std::unique_ptr<VPhoneModel> model;
};

TEST_F(VPhoneBetaViewTest, FirstCopyOnlyOpensTheDisclaimerTheLinksAndOneSipCheckAtATimeWorkUntilAgreeingLocks)
{
    auto view = open();
    EXPECT_FALSE(view->lockedNotice()->isVisibleTo(view.get()));
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
    EXPECT_FALSE(model->permanentlyBlocked()) << "a disabled button agrees to nothing";

    sheet->cancelButton()->click();
    EXPECT_TRUE(waitUntil([&] { return view->disclaimerSheet() == nullptr; }, 1000));
    EXPECT_FALSE(model->permanentlyBlocked());
    EXPECT_TRUE(host.opened().isEmpty());
    EXPECT_TRUE(view->checkSipButton()->isEnabled());
    EXPECT_TRUE(view->openFolderButton()->isEnabled());

    // Until then the tool's folder, the terminal and the links all work.
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

    // One SIP check at a time.
    const ScopedEnv delay("FAKE_CSRUTIL_DELAY_MS", "400");
    view->checkSipButton()->click();
    EXPECT_FALSE(view->checkSipButton()->isEnabled()) << "a check under way cannot be asked for again";
    view->checkSipButton()->click();
    QTest::mouseClick(view->checkSipButton(), Qt::LeftButton);
    EXPECT_TRUE(model->checking());
    ASSERT_TRUE(waitUntil([&] { return !model->checking(); }, 20000));
    EXPECT_TRUE(view->checkSipButton()->isEnabled());
    EXPECT_EQ(view->sipLine()->text(), QStringLiteral("System Integrity Protection status: enabled.\n"));
    EXPECT_EQ(view->messageLine()->text(), QStringLiteral("尚未运行检测"))
        << "the check is not the tool's run";
    EXPECT_FALSE(waitUntil([] { return LogProbe::text().count(QStringLiteral("[命令] 开始：")) > 1; }, 600))
        << "only one csrutil ran";

    // Agreeing locks the page for good.
    view->copyButton()->click();
    sheet = view->disclaimerSheet();
    ASSERT_NE(sheet, nullptr);
    sheet->agreement()->click();
    sheet->agreeButton()->click();

    EXPECT_TRUE(model->permanentlyBlocked());
    EXPECT_TRUE(waitUntil([&] { return view->disclaimerSheet() == nullptr; }, 1000));
    QMessageBox *notice = view->finalNotice();
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->text(), QStringLiteral("后续操作说明"));
    EXPECT_EQ(notice->informativeText(),
              QStringLiteral("以后的操作与本软件无关，请至软件外操作。官方文档已在浏览器中打开。"));
    EXPECT_EQ(notice->buttons().size(), 1);
    WidgetFinder::answer(notice, QStringLiteral("完成"));

    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("what the user copied before"));
    view->copyButton()->click();
    EXPECT_EQ(view->disclaimerSheet(), nullptr);
    EXPECT_EQ(QApplication::clipboard()->text(), command);

    // As after a restart: a new page reads the lock and offers no checks.
    view.reset();
    view = open();
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

} // namespace

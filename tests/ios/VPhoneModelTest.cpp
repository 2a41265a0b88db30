// The phone-tool page's model: where the tool is looked for, the SIP check through csrutil, and the
// permanent lock the disclaimer sets.
#include "ios/vphone/VPhoneModel.h"
#include "Await.h"
#include "FakeHost.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "Wait.h"
#include "ios/vphone/VPhoneTool.h"
#include "platform/Host.h"
#include "preferences/AppPreferences.h"
#include "services/Command.h"

#include <QDir>
#include <QSettings>

#include <gtest/gtest.h>

namespace {

using P = AppPreferences;

const QString stand_in = QStringLiteral(CORVANE_FAKES_DIR "/csrutil");

class VPhoneModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir(Host::vphoneRoot()).removeRecursively();
    }

    /** Runs the SIP check and waits for it to end. */
    static QString checkSip(VPhoneModel &model)
    {
        model.checkSip();
        EXPECT_TRUE(model.checking());
        EXPECT_TRUE(waitUntil([&] { return !model.checking(); }, 20000));
        return model.sipStatus();
    }

    FakeHost host;
    std::unique_ptr<QSettings> store = P::openStore();
};

TEST_F(VPhoneModelTest, LooksForTheToolShowsTheSipStatusOrWhyItFailedUntilTheLockStopsChecksForEveryModel)
{
    VPhoneModel model(stand_in);
    EXPECT_FALSE(model.toolFound());
    const QString folder = Host::vphoneRoot() + QStringLiteral("/vphone-engine");
    EXPECT_EQ(VPhoneTool::folder(), folder);
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/vphone-cli.app")));
    EXPECT_FALSE(model.toolFound()) << "looked for when asked, not on every read";
    model.lookForTool();
    EXPECT_TRUE(model.toolFound());

    EXPECT_EQ(model.sipStatus(), QStringLiteral("尚未检测"));
    EXPECT_EQ(checkSip(model), QStringLiteral("System Integrity Protection status: enabled.\n"));
    EXPECT_TRUE(LogProbe::text().contains(QStringLiteral("[INFO] [命令] 开始：") + stand_in +
                                          QStringLiteral(" status")));

    {
        const ScopedEnv status("FAKE_CSRUTIL_STATUS", "custom");
        const QString custom = checkSip(model);
        EXPECT_TRUE(custom.startsWith(
            QStringLiteral("System Integrity Protection status: unknown (Custom Configuration).\n\n")));
        EXPECT_TRUE(custom.contains(QStringLiteral("\n\tKext Signing: disabled\n")));
        EXPECT_TRUE(custom.endsWith(QStringLiteral("unknown state.\n")));
    }

    // Failures say why.
    const ScopedEnv failing("FAKE_CSRUTIL_EXIT", "1");
    EXPECT_EQ(checkSip(model), QStringLiteral("检测失败：System Integrity Protection status: enabled.\n"));

    // No csrutil at all, as on Linux: the runner's own description of the failed launch.
    const QString missing = QStringLiteral("/nonexistent/csrutil");
    const QStringList arguments{QStringLiteral("status")};
    const Outcome<QString> direct =
        await(Command::run(missing, arguments, std::nullopt, 15, Command::successOnly()));
    ASSERT_TRUE(direct.error.has_value());
    VPhoneModel without(missing);
    EXPECT_EQ(checkSip(without), QStringLiteral("检测失败：") + *direct.error);
    EXPECT_GT(direct.error->size(), 0);

    // The lock stops the checks, and every model, this one or another, follows it.
    LogProbe::reset();
    VPhoneModel other(stand_in);
    model.agreeToDisclaimer();
    EXPECT_TRUE(model.permanentlyBlocked());
    EXPECT_EQ(host.opened(), QList<QUrl>{QUrl(QStringLiteral("https://github.com/Lakr233/vphone-cli"))});
    // The lock is per user account: another page's model follows the stored preference.
    EXPECT_TRUE(waitUntil([&] { return other.permanentlyBlocked(); }, 3000));
    P::flush();
    EXPECT_TRUE(VPhoneModel(stand_in).permanentlyBlocked()) << "as after a restart";

    EXPECT_FALSE(model.canCheckSip());
    model.checkSip();
    EXPECT_FALSE(model.checking());
    model.openFolder();
    EXPECT_EQ(host.opened().size(), 1) << "a locked model opens no folder";
    EXPECT_FALSE(LogProbe::text().contains(QStringLiteral("[命令] 开始：")));
}

} // namespace

// `corvanectl install-android` against a local server holding the component archives.
#include "../android/ComponentInstallFixture.h"
#include "CorvanectlFixture.h"

#include "android/SDKPackage.h"

namespace {

class InstallAndroidTest : public CorvanectlTest
{
protected:
    void SetUp() override
    {
        CorvanectlTest::SetUp();
        // Nothing installed: the stand-ins arrive only through the server.
        QDir(Host::dataRoot()).removeRecursively();
        ASSERT_TRUE(server.listen());
        ASSERT_TRUE(mirror.isValid());
        // The components of this host's own image, every package served from here.
        const Components components(Tools::androidVariant(Host::current().androidHost()).abi);
        for (int i = 0; i < 3; ++i) {
            server.serve(QStringLiteral("/repository/") + components.names[i], components.archives[i]);
        }
        const QJsonArray rows = components.manifest(server.url(QStringLiteral("/repository/")).toString());
        ASSERT_TRUE(writeFile(manifest, QJsonDocument(rows).toJson()));
    }

    TestHttpServer server;
    QTemporaryDir mirror;
    QString manifest = mirror.filePath(QStringLiteral("packages.json"));
    const ScopedEnv named{"CORVANE_ANDROID_MANIFEST", QFile::encodeName(manifest)};
};

TEST_F(InstallAndroidTest, TheLicenceMustBeAcceptedThenTheComponentsInstallOnce)
{
    const QString licenceStart = SDKPackage::license().trimmed().section(u'\n', 0, 0);
    ASSERT_FALSE(licenceStart.isEmpty());

    // Not on a terminal and not accepted: the licence is shown, nothing is fetched.
    const CtlResult refused = run(QStringLiteral("install-android"), 1);
    EXPECT_TRUE(refused.out.contains(licenceStart));
    EXPECT_TRUE(refused.err.contains(QStringLiteral("--accept-license"))) << refused.err.toStdString();
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_FALSE(androidEntry(QStringLiteral("primary")).value(QStringLiteral("installed")).toBool());

    const CtlResult installed = run(QStringLiteral("install-android --accept-license"));
    EXPECT_TRUE(installed.out.contains(licenceStart));
    // Plain progress lines, not a redrawn bar, when stdout is a pipe; the last one is complete.
    EXPECT_FALSE(installed.out.contains(u'\r'));
    EXPECT_TRUE(installed.out.contains(QStringLiteral("0% "))) << installed.out.toStdString();
    EXPECT_TRUE(androidEntry(QStringLiteral("primary")).value(QStringLiteral("installed")).toBool());
    const qsizetype fetched = server.requests().size();
    EXPECT_GE(fetched, 3);

    // Accepted once is accepted: the licence is not shown again and nothing is downloaded twice.
    const CtlResult again = run(QStringLiteral("install-android"));
    EXPECT_FALSE(again.out.contains(licenceStart));
    EXPECT_EQ(server.requests().size(), fetched);
    // That what was installed boots is ComponentInstallTest's.
}

} // namespace

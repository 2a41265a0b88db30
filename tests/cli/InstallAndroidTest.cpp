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
        // This host's own manifest (emulator, platform tools, system image), every package served from
        // here with the stand-ins inside.
        QJsonArray rows = QJsonDocument::fromJson(SDKPackage::activeManifest()).array();
        ASSERT_EQ(rows.size(), 3);
        const Components components(rows[2].toObject().value(QStringLiteral("source")).toString());
        for (qsizetype i = 0; i < rows.size(); ++i) {
            QJsonObject row = rows[i].toObject();
            const QString path = QStringLiteral("/repository/%1.zip").arg(i);
            server.serve(path, components.archives[i]);
            row[QStringLiteral("url")] = server.url(path).toString();
            row[QStringLiteral("sha1")] = sha1(components.archives[i]);
            row[QStringLiteral("size")] = qint64(components.archives[i].size());
            rows[i] = row;
        }
        const QString manifest = mirror.filePath(QStringLiteral("packages.json"));
        ASSERT_TRUE(writeFile(manifest, QJsonDocument(rows).toJson()));
        qputenv("CORVANE_ANDROID_MANIFEST", QFile::encodeName(manifest));
    }

    void TearDown() override
    {
        qunsetenv("CORVANE_ANDROID_MANIFEST");
        CorvanectlTest::TearDown();
    }

    TestHttpServer server;
    QTemporaryDir mirror;
};

TEST_F(InstallAndroidTest, TheLicenceMustBeAcceptedThenTheComponentsInstallOnce)
{
    const QString licenceStart = SDKPackage::license().trimmed().section(u'\n', 0, 0);
    ASSERT_FALSE(licenceStart.isEmpty());

    // Not on a terminal and not accepted: the licence is shown, nothing is fetched.
    const CtlResult refused = run(QStringLiteral("install-android"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.out.contains(licenceStart));
    EXPECT_TRUE(refused.err.contains(QStringLiteral("--accept-license"))) << refused.err.toStdString();
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_FALSE(androidEntry(QStringLiteral("primary")).value(QStringLiteral("installed")).toBool());

    const CtlResult installed = run(QStringLiteral("install-android --accept-license"));
    ASSERT_EQ(installed.status, 0) << installed.err.toStdString();
    EXPECT_TRUE(installed.out.contains(licenceStart));
    // Plain progress lines, not a redrawn bar, when stdout is a pipe; the last one is complete.
    EXPECT_FALSE(installed.out.contains(u'\r'));
    EXPECT_TRUE(installed.out.contains(QStringLiteral("0% "))) << installed.out.toStdString();
    EXPECT_TRUE(androidEntry(QStringLiteral("primary")).value(QStringLiteral("installed")).toBool());
    const qsizetype fetched = server.requests().size();
    EXPECT_GE(fetched, 3);

    // Accepted once is accepted: the licence is not shown again and nothing is downloaded twice.
    const CtlResult again = run(QStringLiteral("install-android"));
    EXPECT_EQ(again.status, 0) << again.err.toStdString();
    EXPECT_FALSE(again.out.contains(licenceStart));
    EXPECT_EQ(server.requests().size(), fetched);

    // The device now boots from what was installed.
    const CtlResult booted = run(QStringLiteral("android run primary -- /bin/true"));
    EXPECT_EQ(booted.status, 0) << booted.err.toStdString();
}

} // namespace

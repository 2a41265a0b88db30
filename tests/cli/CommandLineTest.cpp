#include "../android/ComponentInstallFixture.h"
#include "CorvanectlFixture.h"

#include "android/SDKPackage.h"

namespace {

// Terminal columns: CJK characters take two.
int columns(const QString &text)
{
    int width = 0;
    for (const char32_t c : text.toUcs4()) {
        width += c >= 0x1100 ? 2 : 1;
    }
    return width;
}

TEST_F(CorvanectlTest, ListsEveryGuestAsTableAndJsonAndRefusesBadInputWithStatusAndMessage)
{
    const CtlResult added = run(QStringLiteral("android add --cpu 2 --memory 2"));
    const QString id = added.out.section(u'\t', 0, 0);
    const QString name = added.out.section(u'\t', 1).trimmed();
    EXPECT_EQ(name, QStringLiteral("安卓 2"));

    const QJsonObject all = listed();
    const QJsonArray android = all.value(QStringLiteral("android")).toArray();
    ASSERT_EQ(android.size(), 2);
    const QJsonObject configuration{
        {"cores", 2}, {"memoryMB", 2048}, {"screen", "720 × 1280"}, {"softwareGPU", false}};
    EXPECT_EQ(androidEntry(id), (QJsonObject{{"id", id},
                                             {"name", name},
                                             {"state", "stopped"},
                                             {"port", QJsonValue::Null},
                                             {"installed", true},
                                             {"configuration", configuration},
                                             {"snapshots", 0}}));
    EXPECT_EQ(all.value(QStringLiteral("linux")).toObject().value(QStringLiteral("state")).toString(),
              QStringLiteral("stopped"));
    EXPECT_TRUE(all.value(QStringLiteral("windows")).toObject().value(QStringLiteral("bundle")).isNull());
    // No Xcode on this machine: the iOS model's own failure is reported, not hidden.
    EXPECT_FALSE(
        all.value(QStringLiteral("ios")).toObject().value(QStringLiteral("error")).toString().isEmpty());

    const CtlResult table = run(QStringLiteral("list"));
    const QStringList lines = table.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 5);
    // Aligned: the ID column starts at the same place on every row, Chinese names counted double width.
    const int idColumn = columns(lines[0].left(lines[0].indexOf(QStringLiteral("ID"))));
    EXPECT_EQ(columns(lines[2].left(lines[2].indexOf(id))), idColumn) << table.out.toStdString();
    EXPECT_TRUE(table.out.contains(QStringLiteral("安卓 2")));

    const QString notApk = Host::dataRoot() + QStringLiteral("/notes.apk");
    ASSERT_TRUE(writeFile(notApk, "plain text"));
    expectRefusals({
        {{}, 2, QStringLiteral("缺少命令")},
        {words(QStringLiteral("fly")), 2, QStringLiteral("未知命令：fly")},
        {words(QStringLiteral("android start")), 2, QStringLiteral("缺少参数")},
        {words(QStringLiteral("android start a b")), 2, QStringLiteral("多余的参数：b")},
        {words(QStringLiteral("list --yaml")), 2, QStringLiteral("未知选项：--yaml")},
        {words(QStringLiteral("android run primary")), 2, QStringLiteral("缺少要运行的命令")},
        {words(QStringLiteral("android add --cpu zero")), 2, QStringLiteral("正整数")},
        {words(QStringLiteral("android add --memory -4")), 2, QStringLiteral("正整数")},
        {words(QStringLiteral("android start")) << QStringLiteral("安卓 9"), 1,
         QStringLiteral("找不到安卓设备「安卓 9」")},
        {words(QStringLiteral("snapshot create nobody")), 1, QStringLiteral("找不到安卓设备")},
        {words(QStringLiteral("snapshot rollback primary")), 1, QStringLiteral("没有快照")},
        {words(QStringLiteral("android install-apk primary")) << notApk, 1, QStringLiteral("不是 APK 文件")},
        {words(QStringLiteral("android install-apk primary /nowhere.apk")), 1,
         QStringLiteral("无法读取 /nowhere.apk")},
    });
    // Refused, the commands changed nothing: a mistyped option made no device.
    EXPECT_EQ(listed().value(QStringLiteral("android")).toArray().size(), 2);

    // Two devices under one name: the name no longer says which, the id still does.
    ASSERT_TRUE(writeFile(Host::dataRoot() + QStringLiteral("/instances/") + id +
                              QStringLiteral("/instance-name.txt"),
                          "安卓 1"));
    expectRefusals({{words(QStringLiteral("snapshot list")) << QStringLiteral("安卓 1"), 1,
                     QStringLiteral("有多台安卓设备名为「安卓 1」")}});
    run(QStringLiteral("snapshot list ") + id);

    for (const char *command : {"", "list ", "android ", "snapshot ", "log "}) {
        EXPECT_TRUE(run(QString::fromUtf8(command) + QStringLiteral("--help"))
                        .out.startsWith(QStringLiteral("用法：")))
            << command;
    }
}

TEST_F(CorvanectlTest, SnapshotsAreCreatedListedRolledBackAndDeleted)
{
    const QString marker = primary.avdFolder() + QStringLiteral("/marker");
    QDir().mkpath(primary.avdFolder());
    const QString id =
        ctl(words(QStringLiteral("snapshot create")) << QStringLiteral("安卓 1")).out.trimmed();

    const CtlResult listed = run(QStringLiteral("snapshot list primary --json"));
    const QJsonArray entries = QJsonDocument::fromJson(listed.out.toUtf8()).array();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].toObject().value(QStringLiteral("id")).toString(), id);
    EXPECT_EQ(androidEntry().value(QStringLiteral("snapshots")).toInt(), 1);

    ASSERT_TRUE(writeFile(marker, {}));
    expectRefusals(
        {{words(QStringLiteral("snapshot rollback primary NOPE")), 1, QStringLiteral("没有快照 NOPE")}});
    EXPECT_TRUE(QFile::exists(marker));

    run(QStringLiteral("snapshot rollback primary ") + id);
    EXPECT_FALSE(QFile::exists(marker));

    run(QStringLiteral("snapshot delete primary"));
    EXPECT_EQ(run(QStringLiteral("snapshot list primary --json")).out.trimmed(), QStringLiteral("[\n]"));
}

// `corvanectl install-android` against a local server holding the component archives.
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
    EXPECT_FALSE(androidEntry().value(QStringLiteral("installed")).toBool());

    const CtlResult installed = run(QStringLiteral("install-android --accept-license"));
    EXPECT_TRUE(installed.out.contains(licenceStart));
    // Plain progress lines, not a redrawn bar, when stdout is a pipe; the last one is complete.
    EXPECT_FALSE(installed.out.contains(u'\r'));
    EXPECT_TRUE(installed.out.contains(QStringLiteral("0% "))) << installed.out.toStdString();
    EXPECT_TRUE(androidEntry().value(QStringLiteral("installed")).toBool());
    const qsizetype fetched = server.requests().size();
    EXPECT_GE(fetched, 3);

    // Accepted once is accepted: the licence is not shown again and nothing is downloaded twice.
    const CtlResult again = run(QStringLiteral("install-android"));
    EXPECT_FALSE(again.out.contains(licenceStart));
    EXPECT_EQ(server.requests().size(), fetched);
    // That what was installed boots is ComponentInstallTest's.
}

} // namespace

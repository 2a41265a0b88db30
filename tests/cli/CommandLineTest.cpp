#include "CorvanectlFixture.h"

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

TEST_F(CorvanectlTest, ListsEveryGuestAsTableAndJson)
{
    const CtlResult added = ctl({QStringLiteral("android"), QStringLiteral("add"), QStringLiteral("--cpu"),
                                 QStringLiteral("2"), QStringLiteral("--memory"), QStringLiteral("2")});
    ASSERT_EQ(added.status, 0) << added.err.toStdString();
    const QString id = added.out.section(u'\t', 0, 0);
    const QString name = added.out.section(u'\t', 1).trimmed();
    EXPECT_EQ(name, QStringLiteral("安卓 2"));

    const QJsonObject all = listed();
    const QJsonArray android = all.value(QStringLiteral("android")).toArray();
    ASSERT_EQ(android.size(), 2);
    const QJsonObject second = androidEntry(id);
    EXPECT_EQ(second.value(QStringLiteral("name")).toString(), name);
    EXPECT_EQ(second.value(QStringLiteral("state")).toString(), QStringLiteral("stopped"));
    EXPECT_TRUE(second.value(QStringLiteral("port")).isNull());
    const QJsonObject configuration = second.value(QStringLiteral("configuration")).toObject();
    EXPECT_EQ(configuration.value(QStringLiteral("cores")).toInt(), 2);
    EXPECT_EQ(configuration.value(QStringLiteral("memoryMB")).toInt(), 2048);
    EXPECT_EQ(all.value(QStringLiteral("linux")).toObject().value(QStringLiteral("state")).toString(),
              QStringLiteral("stopped"));
    EXPECT_TRUE(all.value(QStringLiteral("windows")).toObject().value(QStringLiteral("bundle")).isNull());
    // No Xcode on this machine: the iOS model's own failure is reported, not hidden.
    EXPECT_FALSE(
        all.value(QStringLiteral("ios")).toObject().value(QStringLiteral("error")).toString().isEmpty());

    const CtlResult table = ctl({QStringLiteral("list")});
    EXPECT_EQ(table.status, 0);
    const QStringList lines = table.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 5);
    // Aligned: the ID column starts at the same place on every row, Chinese names counted double width.
    const int idColumn = columns(lines[0].left(lines[0].indexOf(QStringLiteral("ID"))));
    EXPECT_EQ(columns(lines[2].left(lines[2].indexOf(id))), idColumn) << table.out.toStdString();
    EXPECT_TRUE(table.out.contains(QStringLiteral("安卓 2")));
}

TEST_F(CorvanectlTest, RefusesBadInputWithStatusAndMessage)
{
    struct Case
    {
        QStringList arguments;
        int status;
        QString message;
    };
    QFile notApk(Host::dataRoot() + QStringLiteral("/notes.apk"));
    ASSERT_TRUE(notApk.open(QIODevice::WriteOnly));
    notApk.write("plain text");
    notApk.close();
    const QList<Case> cases{
        {{}, 2, QStringLiteral("缺少命令")},
        {{QStringLiteral("fly")}, 2, QStringLiteral("未知命令：fly")},
        {{QStringLiteral("android"), QStringLiteral("start")}, 2, QStringLiteral("缺少参数")},
        {{QStringLiteral("android"), QStringLiteral("start"), QStringLiteral("a"), QStringLiteral("b")},
         2,
         QStringLiteral("多余的参数：b")},
        {{QStringLiteral("list"), QStringLiteral("--yaml")}, 2, QStringLiteral("未知选项：--yaml")},
        {{QStringLiteral("android"), QStringLiteral("run"), QStringLiteral("primary")},
         2,
         QStringLiteral("缺少要运行的命令")},
        {{QStringLiteral("android"), QStringLiteral("add"), QStringLiteral("--cpu"), QStringLiteral("zero")},
         2,
         QStringLiteral("正整数")},
        {{QStringLiteral("android"), QStringLiteral("start"), QStringLiteral("安卓 9")},
         1,
         QStringLiteral("找不到安卓设备「安卓 9」")},
        {{QStringLiteral("snapshot"), QStringLiteral("create"), QStringLiteral("nobody")},
         1,
         QStringLiteral("找不到安卓设备")},
        {{QStringLiteral("snapshot"), QStringLiteral("rollback"), QStringLiteral("primary")},
         1,
         QStringLiteral("没有快照")},
        {{QStringLiteral("android"), QStringLiteral("install-apk"), QStringLiteral("primary"),
          notApk.fileName()},
         1,
         QStringLiteral("不是 APK 文件")},
        {{QStringLiteral("android"), QStringLiteral("install-apk"), QStringLiteral("primary"),
          QStringLiteral("/nowhere.apk")},
         1,
         QStringLiteral("无法读取 /nowhere.apk")},
    };
    for (const Case &c : cases) {
        const CtlResult result = ctl(c.arguments);
        EXPECT_EQ(result.status, c.status) << c.arguments.join(u' ').toStdString();
        EXPECT_TRUE(result.err.contains(c.message))
            << c.arguments.join(u' ').toStdString() << ": " << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty());
    }

    // Two devices under one name: the name no longer says which, the id still does.
    const CtlResult added = ctl({QStringLiteral("android"), QStringLiteral("add")});
    const QString id = added.out.section(u'\t', 0, 0);
    QFile name(Host::dataRoot() + QStringLiteral("/instances/") + id + QStringLiteral("/instance-name.txt"));
    ASSERT_TRUE(name.open(QIODevice::WriteOnly | QIODevice::Truncate));
    name.write("安卓 1");
    name.close();
    const CtlResult ambiguous =
        ctl({QStringLiteral("snapshot"), QStringLiteral("list"), QStringLiteral("安卓 1")});
    EXPECT_EQ(ambiguous.status, 1);
    EXPECT_TRUE(ambiguous.err.contains(QStringLiteral("有多台安卓设备名为「安卓 1」")))
        << ambiguous.err.toStdString();
    EXPECT_EQ(ctl({QStringLiteral("snapshot"), QStringLiteral("list"), id}).status, 0);

    for (const QString &command : {QString(), QStringLiteral("list"), QStringLiteral("android"),
                                   QStringLiteral("snapshot"), QStringLiteral("log")}) {
        const CtlResult help = ctl(command.isEmpty() ? QStringList{QStringLiteral("--help")}
                                                     : QStringList{command, QStringLiteral("--help")});
        EXPECT_EQ(help.status, 0);
        EXPECT_TRUE(help.out.startsWith(QStringLiteral("用法："))) << command.toStdString();
    }
}

TEST_F(CorvanectlTest, SnapshotsAreCreatedListedRolledBackAndDeleted)
{
    const QString marker = primary.avdFolder() + QStringLiteral("/marker");
    QDir().mkpath(primary.avdFolder());
    const CtlResult first =
        ctl({QStringLiteral("snapshot"), QStringLiteral("create"), QStringLiteral("安卓 1")});
    ASSERT_EQ(first.status, 0) << first.err.toStdString();
    const QString id = first.out.trimmed();

    const CtlResult listed = ctl({QStringLiteral("snapshot"), QStringLiteral("list"),
                                  QStringLiteral("primary"), QStringLiteral("--json")});
    const QJsonArray entries = QJsonDocument::fromJson(listed.out.toUtf8()).array();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].toObject().value(QStringLiteral("id")).toString(), id);
    EXPECT_EQ(androidEntry(QStringLiteral("primary")).value(QStringLiteral("snapshots")).toInt(), 1);

    ASSERT_TRUE(FakeAndroidSdk::touch(marker));
    const CtlResult wrong = ctl({QStringLiteral("snapshot"), QStringLiteral("rollback"),
                                 QStringLiteral("primary"), QStringLiteral("NOPE")});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_TRUE(wrong.err.contains(QStringLiteral("没有快照 NOPE")));
    EXPECT_TRUE(QFile::exists(marker));

    const CtlResult rollback =
        ctl({QStringLiteral("snapshot"), QStringLiteral("rollback"), QStringLiteral("primary"), id});
    EXPECT_EQ(rollback.status, 0) << rollback.err.toStdString();
    EXPECT_FALSE(QFile::exists(marker));

    const CtlResult deleted =
        ctl({QStringLiteral("snapshot"), QStringLiteral("delete"), QStringLiteral("primary")});
    EXPECT_EQ(deleted.status, 0) << deleted.err.toStdString();
    EXPECT_EQ(ctl({QStringLiteral("snapshot"), QStringLiteral("list"), QStringLiteral("primary"),
                   QStringLiteral("--json")})
                  .out.trimmed(),
              QStringLiteral("[\n]"));
    EXPECT_EQ(ctl({QStringLiteral("snapshot"), QStringLiteral("delete"), QStringLiteral("primary")}).status,
              1);
}

} // namespace

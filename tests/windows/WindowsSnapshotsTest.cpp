#include "WindowsFixture.h"
#include "services/SnapshotText.h"

namespace {

class WindowsSnapshotsTest : public WindowsFixture
{
protected:
    WindowsModel &associated(const QString &project)
    {
        WindowsModel &windows = model();
        interaction.files.enqueue(project);
        await(windows.chooseProject());
        EXPECT_EQ(windows.projectPath(), project) << windows.error().toStdString();
        return windows;
    }
};

TEST_F(WindowsSnapshotsTest, SnapshotsLiveAndMoveWithTheBundleAndRollbackRestoresItsSettings)
{
    WindowsModel &none = model();
    await(none.createSnapshot());
    await(none.rollbackLatestSnapshot());
    EXPECT_EQ(none.error(), QString()) << "no project: nothing to do";

    const QString parent = path(QStringLiteral("虚拟机 \"甲\" 's"));
    const QString project = parent + QStringLiteral("/Windows ARM64.utm");
    bundle(project, "v1");
    WindowsModel &windows = associated(project);
    setHardware(windows, 6, 6, 100);

    QFile::rename(project + QStringLiteral("/config.plist"), project + QStringLiteral("/config.plist.bak"));
    await(windows.createSnapshot());
    EXPECT_EQ(windows.error(), QStringLiteral("Windows 虚拟机文件不存在。"));
    QFile::rename(project + QStringLiteral("/config.plist.bak"), project + QStringLiteral("/config.plist"));
    {
        // UTM holds the disk open while the machine is open.
        QFile disk(project + QStringLiteral("/Data/windows.img"));
        ASSERT_TRUE(disk.open(QIODevice::ReadWrite));
        await(windows.createSnapshot());
        EXPECT_EQ(windows.error(),
                  QStringLiteral("Windows 虚拟机仍被其他程序使用。请完全关机并关闭对应窗口后重试。"));
        EXPECT_FALSE(windows.busy());
    }

    await(windows.createSnapshot());
    EXPECT_EQ(windows.error(), QString());
    ASSERT_EQ(windows.snapshots().size(), 1);
    const SnapshotRecord record = windows.snapshots().first();
    EXPECT_EQ(QStringList({record.platform, record.deviceID, record.displayName}),
              QStringList({QStringLiteral("Windows"), project, QStringLiteral("Windows ARM64")}));
    const QString stored = parent + QStringLiteral("/.Corvane Snapshots/Windows ARM64.utm/") + record.id;
    EXPECT_EQ(readFile(stored + QStringLiteral("/payload/config.plist")), "<plist>v1</plist>");
    EXPECT_EQ(WindowsConfiguration::fromJson(readFile(stored + QStringLiteral("/configuration.json"))),
              windows.configuration());

    // UTM changed the machine and the user the settings; the rollback brings both back.
    writeFile(project + QStringLiteral("/config.plist"), "<plist>v2</plist>");
    setHardware(windows, 2, 4, 200);
    await(windows.rollbackLatestSnapshot());
    EXPECT_EQ(windows.error(), QString());
    EXPECT_EQ(readFile(project + QStringLiteral("/config.plist")), "<plist>v1</plist>");
    WindowsConfiguration restored{6, 6, 100, QString(), project};
    EXPECT_EQ(windows.configuration(), restored);
    EXPECT_EQ(WindowsConfiguration::load(windows.settingsFile()), restored);
    EXPECT_EQ(windows.message(), QStringLiteral("Windows 已回滚到 ") +
                                     SnapshotText::shortDateTime(record.createdAt) +
                                     QStringLiteral("。请在 UTM 中重新打开。"));

    // The bundle moves together with its snapshots: it keeps its new path through a rollback.
    destroyModel();
    ASSERT_TRUE(QDir().rename(parent, path(QStringLiteral("moved"))));
    const QString moved = path(QStringLiteral("moved/Windows ARM64.utm"));
    WindowsModel &again = associated(moved);
    setHardware(again, 1, 4, 64);
    ASSERT_EQ(again.snapshots().size(), 1);
    await(again.rollbackLatestSnapshot());
    EXPECT_EQ(again.error(), QString());
    restored.projectPath = moved;
    EXPECT_EQ(again.configuration(), restored) << "the bundle stays where it is now";
    EXPECT_EQ(WindowsConfiguration::load(again.settingsFile()), restored);

    // Stored settings Windows cannot read: the bundle goes back, the current settings stay.
    writeFile(*again.snapshotCollection() + u'/' + record.id + QStringLiteral("/configuration.json"),
              R"({"cores":4,"memoryGB":4})");
    writeFile(moved + QStringLiteral("/config.plist"), "<plist>changed</plist>");
    const WindowsConfiguration settingsBefore = again.configuration();
    await(again.rollbackLatestSnapshot());
    EXPECT_EQ(again.error(), QStringLiteral("快照中的 Windows 设置无法读取，已保留当前设置。"));
    EXPECT_EQ(readFile(moved + QStringLiteral("/config.plist")), "<plist>v1</plist>");
    EXPECT_EQ(again.configuration(), settingsBefore);
    EXPECT_EQ(WindowsConfiguration::load(again.settingsFile()), settingsBefore);
    EXPECT_TRUE(again.message().startsWith(QStringLiteral("Windows 已回滚到 "))) << "and says so";

    // Moved without them: nothing to show at the new place.
    ASSERT_TRUE(QDir().rename(moved, path(QStringLiteral("Win.utm"))));
    WindowsModel &alone = associated(path(QStringLiteral("Win.utm")));
    EXPECT_TRUE(alone.snapshots().isEmpty());
    EXPECT_EQ(alone.snapshotMessage(), QStringLiteral("尚未创建快照"));
    EXPECT_EQ(alone.snapshotCollection(), path(QStringLiteral(".Corvane Snapshots/Win.utm")));
}

} // namespace

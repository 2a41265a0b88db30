#include "WindowsFixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

namespace {

const QString passed = QStringLiteral("已确认 ARM64 启动文件和 Windows 安装文件（非整盘哈希校验）");
const QString passedMessage = QStringLiteral("镜像结构检查通过。准备好 UTM 和磁盘空间后，即可创建虚拟机。");

class WindowsModelTest : public WindowsFixture
{
protected:
    void SetUp() override
    {
        WindowsFixture::SetUp();
        downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
        ASSERT_TRUE(downloads.startsWith(QDir::homePath() + u'/')) << "inside the test's home";
        QDir(downloads).removeRecursively();
    }

    QJsonObject settings() const
    {
        return QJsonDocument::fromJson(readFile(dataRoot() + QStringLiteral("/windows-configuration.json")))
            .object();
    }

    QString downloads;
};

TEST_F(WindowsModelTest, StartsFromTheSettingsFileValidatedAndWithNothingChecked)
{
    host.processors = 8;
    host.memory = 16 * GiB;
    writeFile(dataRoot() + QStringLiteral("/windows-configuration.json"),
              R"({"cores":12,"memoryGB":16,"diskGB":40,"isoPath":"/d/Win11.iso","projectPath":"/vm/W.utm"})");
    WindowsModel &windows = model();
    EXPECT_EQ(windows.configuration(),
              (WindowsConfiguration{8, 8, 64, QStringLiteral("/d/Win11.iso"), QStringLiteral("/vm/W.utm")}));
    EXPECT_EQ(windows.projectPath(), QStringLiteral("/vm/W.utm"));
    EXPECT_EQ(windows.snapshotCollection(), QStringLiteral("/vm/.Corvane Snapshots/W.utm"));
    EXPECT_FALSE(windows.confirmedARM()) << "a restart forgets the check";
    EXPECT_FALSE(windows.busy());
    EXPECT_EQ(windows.isoCheck(), QStringLiteral("尚未检查镜像"));
    EXPECT_EQ(windows.message(), QStringLiteral("未安装 Windows · 本工具不会自动下载任何 Windows 组件"));
    EXPECT_EQ(windows.snapshotMessage(), QStringLiteral("尚未创建快照"));
    EXPECT_EQ(windows.preparation(), QString()) << "until someone asks";

    // Which files are unusable: WindowsConfigurationTest.SettingsFileNeedsAllFiveFieldsOrTheDefaultsApply.
    writeFile(dataRoot() + QStringLiteral("/windows-configuration.json"),
              R"({"cores":6,"memoryGB":6,"diskGB":80})");
    WindowsModel &fresh = model();
    EXPECT_EQ(fresh.configuration(), WindowsConfiguration());
    EXPECT_EQ(fresh.error(), QString()) << "silently";
    EXPECT_EQ(fresh.snapshotCollection(), std::nullopt);

    // save() stores what validation allows and publishes it too.
    WindowsModel &edited = model();
    setHardware(edited, 99, 4, 2048);
    EXPECT_EQ(
        settings(),
        (QJsonObject{{"cores", 8}, {"diskGB", 512}, {"isoPath", ""}, {"memoryGB", 4}, {"projectPath", ""}}));
}

TEST_F(WindowsModelTest, UsingAnIsoChecksItAndPublishesTheOutcomeAndThePreparation)
{
    const QString iso = windowsISO(path(QStringLiteral("下载 \"新\" 的/Win11 ARM64 中文.iso")));
    const QString x64 = path(QStringLiteral("x64.iso"));
    image(tree(QStringLiteral("x64"), x64Files), x64);
    host.processors = 10;
    host.memory = 32 * GiB;
    host.capacity = 123 * GiB + GiB / 2;
    WindowsModel &windows = model();

    QCoro::Task<> checking = windows.useISO(iso);
    EXPECT_TRUE(windows.busy());
    EXPECT_EQ(windows.isoCheck(), QStringLiteral("正在只读检查 ARM64 启动文件…"));
    EXPECT_EQ(settings().value("isoPath").toString(), iso) << "stored before the check";
    await(windows.useISO(x64));
    EXPECT_EQ(windows.configuration().isoPath, iso) << "ignored while a check runs";
    await(std::move(checking));

    EXPECT_FALSE(windows.busy());
    EXPECT_EQ(windows.isoCheck(), passed);
    EXPECT_EQ(windows.message(), passedMessage);
    EXPECT_EQ(windows.error(), QString());
    EXPECT_EQ(windows.preparation(),
              QStringLiteral("引擎：尚未安装 UTM\n本机可用空间：123 GiB；建议预留约 80GB，或使用外置 SSD。\n"
                             "预设：4 核 CPU / 4GB 内存 / 64GB 磁盘"));
    // Unknown space reads as none, the preset as set, the engine as found.
    host.capacity = -1;
    setHardware(windows, 6, 8, 128);
    windows.refreshPreparation();
    EXPECT_TRUE(windows.preparation().endsWith(QStringLiteral(
        "本机可用空间：0 GiB；建议预留约 80GB，或使用外置 SSD。\n预设：6 核 CPU / 8GB 内存 / 128GB 磁盘")));
    host.capacity = 80 * GiB - 1;
    host.applications.insert(WindowsModel::utmBundleIdentifier, path(QStringLiteral("UTM.app")));
    windows.refreshPreparation();
    EXPECT_TRUE(windows.preparation().startsWith(QStringLiteral("引擎：已找到 UTM\n本机可用空间：79 GiB；")));

    await(windows.useISO(x64));
    EXPECT_FALSE(windows.confirmedARM());
    EXPECT_EQ(windows.isoCheck(), QStringLiteral("镜像检查未通过"));
    EXPECT_EQ(windows.error(), armMessage);
    EXPECT_EQ(windows.configuration().isoPath, x64) << "the refused file stays shown";
    EXPECT_EQ(settings().value("isoPath").toString(), x64);
    EXPECT_EQ(windows.message(), passedMessage) << "a failed check leaves the status line";
}

TEST_F(WindowsModelTest, TheDownloadsFolderDecidesBetweenUsingAskingAndExplaining)
{
    WindowsModel &windows = model();
    await(windows.findDownloadedISO());
    const QString none =
        QStringLiteral("下载目录没有已完成的 .iso 文件。请下载完成后再点击，或手动选择文件。");
    EXPECT_EQ(windows.message(), none) << "no Downloads folder at all";
    // Which files count as downloaded ISOs:
    // WindowsPreparationTest.CandidatesAreVisibleRegularIsoFilesSortedByName.
    EXPECT_TRUE(interaction.asked.isEmpty());

    const QString only = windowsISO(downloads + QStringLiteral("/Win11 ARM64.iso"));
    await(windows.findDownloadedISO());
    EXPECT_EQ(windows.configuration().isoPath, only);
    EXPECT_TRUE(windows.confirmedARM() && interaction.asked.isEmpty());

    const QString second = downloads + QStringLiteral("/Win11 ARM64 (1).iso");
    QFile::copy(only, second);
    interaction.files.enqueue(second);
    await(windows.findDownloadedISO());
    ASSERT_EQ(interaction.asked.size(), 1) << "two candidates: the user picks";
    EXPECT_EQ(interaction.asked.first().kind, QStringLiteral("file"));
    EXPECT_EQ(windows.configuration().isoPath, second);

    // Cancelling the panel changes nothing.
    await(windows.chooseISO());
    EXPECT_EQ(interaction.asked.size(), 2);
    EXPECT_EQ(windows.configuration().isoPath, second);
    EXPECT_TRUE(windows.confirmedARM());
}

#ifndef Q_OS_MACOS
TEST_F(WindowsModelTest, WhereUTMCannotRunTheMachineIsCheckedAndKeptButNeitherBuiltNorOpened)
{
    // The model as this system makes it, not the fixture's Mac.
    WindowsModel &windows = model(listing(), Host::utmSupported());
    await(windows.useISO(windowsISO()));
    ASSERT_TRUE(windows.confirmedARM()) << windows.error().toStdString();
    EXPECT_TRUE(windows.preparation().startsWith(
        QStringLiteral("引擎：UTM 只有 macOS 版，本机不能创建或打开 Windows 虚拟机\n本机可用空间：")))
        << windows.preparation().toStdString();

    await(windows.create());
    EXPECT_EQ(windows.error(),
              QStringLiteral("创建 Windows 虚拟机需要 UTM，而 UTM 只有 macOS 版。请在 Mac "
                             "上创建；本机可以检查镜像，并关联已有的 .utm 虚拟机、为它做快照。"));
    EXPECT_TRUE(interaction.asked.isEmpty()) << "no save panel for a machine that cannot be built here";
    EXPECT_FALSE(windows.busy());

    // A bundle made on a Mac is associated and snapshotted here, but opening it needs UTM.
    const QString project = path(QStringLiteral("共享/Windows ARM64.utm"));
    bundle(project);
    windows.clearError();
    interaction.files.enqueue(project);
    await(windows.chooseProject());
    EXPECT_EQ(windows.projectPath(), project) << windows.error().toStdString();
    await(windows.createSnapshot());
    EXPECT_EQ(windows.error(), QString());
    EXPECT_EQ(windows.snapshots().size(), 1);
    windows.openProject();
    EXPECT_EQ(
        windows.error(),
        QStringLiteral("打开 Windows 虚拟机需要 UTM，而 UTM 只有 macOS 版。请在装有 UTM 的 Mac 上打开它。"));
    EXPECT_TRUE(host.openedWithApplication().isEmpty());
}
#endif

TEST_F(WindowsModelTest, ChoosingABundleAssociatesItUnchangedAndOpeningAsksUTMOnlyWhileItIsThere)
{
    WindowsModel &windows = model();
    windows.openProject();
    EXPECT_EQ(windows.error(), QStringLiteral("请先自行安装 UTM 到「应用程序」，再回来打开虚拟机。"));
    const QString utm = utmApp();
    const QString gone = QStringLiteral("虚拟机文件已移动或不存在，请重新选择 .utm 文件。");
    windows.openProject();
    EXPECT_EQ(windows.error(), gone) << "no project";

    await(windows.chooseProject());
    EXPECT_EQ(windows.projectPath(), std::nullopt) << "cancelled";
    const QString empty = path(QStringLiteral("Empty.utm"));
    QDir().mkpath(empty);
    interaction.files.enqueue(empty);
    await(windows.chooseProject());
    EXPECT_EQ(windows.error(), QStringLiteral("请选择有效的 .utm 虚拟机。"));
    EXPECT_EQ(windows.projectPath(), std::nullopt);

    const QString project = path(QStringLiteral("移动后 \"B\"/Windows ARM64.utm"));
    bundle(project);
    const QByteArray before = readFile(project + QStringLiteral("/config.plist"));
    interaction.files.enqueue(project);
    await(windows.chooseProject());
    ASSERT_EQ(interaction.asked.size(), 3);
    EXPECT_EQ(interaction.asked.last().kind, QStringLiteral("package")) << "a bundle is a folder";
    EXPECT_EQ(windows.projectPath(), project);
    EXPECT_EQ(settings().value("projectPath").toString(), project);
    EXPECT_EQ(windows.message(), QStringLiteral("已关联现有虚拟机。其硬件设置请在 UTM 中修改。"));
    EXPECT_EQ(LogProbe::messages("Windows").value(0), QStringLiteral("INFO 已关联 UTM 项目：") + project);
    EXPECT_EQ(readFile(project + QStringLiteral("/config.plist")), before);

    // A bundle that lost its configuration since is not handed to UTM.
    QFile::rename(project + QStringLiteral("/config.plist"), project + QStringLiteral("/config.plist.bak"));
    windows.clearError();
    windows.openProject();
    EXPECT_EQ(windows.error(), gone) << "no config.plist";
    EXPECT_TRUE(host.openedWithApplication().isEmpty());
    QFile::rename(project + QStringLiteral("/config.plist.bak"), project + QStringLiteral("/config.plist"));
    windows.clearError();
    windows.openProject();
    EXPECT_EQ(windows.error(), QString());
    // Its message and log line: WindowsCreateTest.BuildsACompleteBundleAndOpensItInUTM.
    EXPECT_EQ(host.openedWithApplication(), (QList<QPair<QString, QString>>{{utm, project}}));

    host.applicationOpens = false;
    windows.openProject();
    EXPECT_FALSE(windows.error().isEmpty()) << "a refused request is not reported as done";
}

} // namespace

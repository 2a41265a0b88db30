#include "PlistReader.h"
#include "Wait.h"
#include "WindowsFixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cstring>

namespace {

const QString uuidPattern = QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");
const QString targetExists = QStringLiteral("目标已存在，请换一个名称。不会覆盖任何现有虚拟机。");

class WindowsCreateTest : public WindowsFixture
{
protected:
    void SetUp() override
    {
        WindowsFixture::SetUp();
        host.capacity = 500 * GiB;
    }

    /** A model whose ISO passed the check. */
    WindowsModel &checked(const QString &iso, const WindowsPreparation::Inspection &inspection = listing())
    {
        WindowsModel &windows = model(inspection);
        await(windows.useISO(iso));
        EXPECT_TRUE(windows.confirmedARM()) << windows.error().toStdString();
        return windows;
    }

    /** The first 2 MiB of a file, which hold the whole of a test image's content. */
    static QByteArray head(const QString &file)
    {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.read(2 * 1'048'576) : QByteArray("<missing>");
    }
};

TEST_F(WindowsCreateTest, BuildsACompleteBundleAndOpensItInUTM)
{
    host.processors = 8;
    host.memory = 16 * GiB;
    const QString utm = utmApp();
    const QString iso = windowsISO(path(QStringLiteral("下载/Win11 \"ARM64\" 中文版.iso")));
    WindowsModel &windows = checked(iso);
    setHardware(windows, 6, 8, 65);
    LogProbe::reset();

    const QString folder = path(QStringLiteral("我的 \"虚拟机\" 's"));
    interaction.files.enqueue(folder + QStringLiteral("/Win 11"));
    await(windows.create());
    const QString target = folder + QStringLiteral("/Win 11.utm");

    ASSERT_EQ(interaction.asked.size(), 1);
    EXPECT_EQ(interaction.asked.first().kind, QStringLiteral("save"));
    EXPECT_EQ(interaction.asked.first().title, QStringLiteral("选择虚拟机位置（建议空闲容量至少 80GB）"));
    EXPECT_EQ(interaction.asked.first().detail,
              QDir::homePath() + QStringLiteral("/Desktop/Windows 虚拟机/Windows ARM64.utm"));

    EXPECT_EQ(windows.error(), QString());
    EXPECT_FALSE(windows.busy());
    EXPECT_EQ(windows.projectPath(), target);
    EXPECT_EQ(
        QJsonDocument::fromJson(readFile(windows.settingsFile())).object().value("projectPath").toString(),
        target);
    EXPECT_EQ(host.openedWithApplication(), (QList<QPair<QString, QString>>{{utm, target}}));
    EXPECT_EQ(windows.message(),
              QStringLiteral("已请求 UTM 打开设备。请在 UTM 中点击运行、安装系统或关机。"));
    EXPECT_EQ(LogProbe::messages("Windows"),
              (QStringList{QStringLiteral("INFO 已创建 UTM 项目：") + target,
                           QStringLiteral("INFO 已请求 UTM 打开：") + target}));
    EXPECT_EQ(commandsStarted().size(), 1) << "the ISO is checked again before the build";
    EXPECT_EQ(hiddenEntries(folder), QStringList());

    const QString disk = target + QStringLiteral("/Data/windows.img");
    EXPECT_EQ(QFileInfo(disk).size(), 65 * GiB);
    EXPECT_LT(allocatedBytes(disk), 1024 * 1024) << "sparse";
    EXPECT_EQ(readFile(target + QStringLiteral("/Data/installer.iso")), readFile(iso));
    EXPECT_EQ(readFile(target + QStringLiteral("/Data/efi_vars.fd")), firmwareBytes());
    EXPECT_TRUE(QFileInfo(target + QStringLiteral("/Data/efi_vars.fd")).permissions() & QFile::WriteOwner)
        << "UTM keeps the machine's EFI variables in it";
    EXPECT_TRUE(
        readFile(target + QStringLiteral("/config.plist"))
            .startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD "
                        "PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist "
                        "version=\"1.0\">"));

    // The whole file as libplist reads it: three fresh identifiers, the MAC address from the first.
    const QVariantMap plist = PlistReader::read(target + QStringLiteral("/config.plist"));
    const QString id = plist["Information"].toMap()["UUID"].toString();
    const QVariantList drives = plist["Drive"].toList();
    const QString cdID = drives.value(0).toMap()["Identifier"].toString();
    const QString diskID = drives.value(1).toMap()["Identifier"].toString();
    for (const QString &each : {id, cdID, diskID}) {
        EXPECT_TRUE(QRegularExpression(uuidPattern).match(each).hasMatch()) << each.toStdString();
    }
    EXPECT_EQ(QSet<QString>({id, cdID, diskID}).size(), 3) << "three separate identifiers";
    const QString digits = QString(id).remove(u'-').toLower();
    QStringList octets{QStringLiteral("02")};
    for (int i = 0; i < 10; i += 2) {
        octets << digits.mid(i, 2);
    }
    const QString notes =
        QStringLiteral("Created locally by Corvane. Windows installation and shutdown are managed in UTM.");
    // clang-format off
    EXPECT_EQ(plist, (QVariantMap{
        {"Backend", "QEMU"}, {"ConfigurationVersion", qlonglong(4)},
        {"Information", QVariantMap{{"Name", "Windows ARM64"}, {"UUID", id}, {"IconCustom", false},
                                    {"Icon", "windows-11"}, {"Notes", notes}}},
        {"System", QVariantMap{{"Architecture", "aarch64"}, {"Target", "virt"}, {"CPU", "default"},
                               {"CPUFlagsAdd", QVariantList()}, {"CPUFlagsRemove", QVariantList()},
                               {"CPUCount", qlonglong(6)}, {"ForceMulticore", false},
                               {"MemorySize", qlonglong(8192)}, {"JITCacheSize", qlonglong(0)}}},
        {"QEMU", QVariantMap{{"DebugLog", false}, {"UEFIBoot", true}, {"RNGDevice", true},
                             {"BalloonDevice", false}, {"TPMDevice", true}, {"Hypervisor", true},
                             {"TSO", false}, {"RTCLocalTime", true}, {"PS2Controller", false},
                             {"AdditionalArguments", QVariantList()}}},
        {"Input", QVariantMap{{"UsbBusSupport", "3.0"}, {"UsbSharing", false},
                              {"MaximumUsbShare", qlonglong(3)}}},
        {"Sharing", QVariantMap{{"DirectoryShareMode", "None"}, {"DirectoryShareReadOnly", true},
                                {"ClipboardSharing", false}}},
        {"Display", QVariantList{QVariantMap{{"Hardware", "virtio-ramfb"}, {"DynamicResolution", true},
                                             {"UpscalingFilter", "Linear"}, {"DownscalingFilter", "Linear"},
                                             {"NativeResolution", false}}}},
        {"Drive", QVariantList{QVariantMap{{"ImageName", "installer.iso"}, {"ImageType", "CD"},
                                           {"Interface", "USB"}, {"InterfaceVersion", qlonglong(1)},
                                           {"Identifier", cdID}, {"ReadOnly", true}},
                               QVariantMap{{"ImageName", "windows.img"}, {"ImageType", "Disk"},
                                           {"Interface", "NVMe"}, {"InterfaceVersion", qlonglong(1)},
                                           {"Identifier", diskID}, {"ReadOnly", false}}}},
        {"Network", QVariantList{QVariantMap{{"Mode", "Emulated"}, {"Hardware", "virtio-net-pci"},
                                             {"MacAddress", octets.join(u':')}, {"IsolateFromHost", false},
                                             {"PortForward", QVariantList()}}}},
        {"Serial", QVariantList()}, {"Sound", QVariantList()}}));
    // clang-format on
}

TEST_F(WindowsCreateTest, RefusesWhatItCannotBuildLeavesNothingOfAFailedBuildAndFollowsTheSpaceRule)
{
    const QString iso = windowsISO();
    WindowsModel &unchecked = model();
    unchecked.setConfiguration({4, 4, 64, iso, {}});
    utmApp();
    await(unchecked.create());
    EXPECT_EQ(unchecked.error(), QString()) << "an unchecked ISO: nothing happens";

    host.applications.clear();
    WindowsModel &windows = checked(iso);
    await(windows.create());
    EXPECT_EQ(windows.error(),
              QStringLiteral("还没有安装 UTM。请自行下载安装后再创建；本工具不会代你下载。"));

    QDir(path(QStringLiteral("Applications"))).removeRecursively();
    utmApp(false);
    await(windows.create());
    EXPECT_EQ(windows.error(),
              QStringLiteral("该 UTM 未包含 ARM64 Secure Boot 固件，请安装带 QEMU 引擎的新版 UTM。"));

    const QString utm = utmApp();
    QFile::rename(iso, iso + QStringLiteral(".moved"));
    await(windows.create());
    EXPECT_EQ(windows.error(), QStringLiteral("请先选择本地 Windows ARM64 ISO 文件。"));
    EXPECT_TRUE(interaction.asked.isEmpty());
    QFile::rename(iso + QStringLiteral(".moved"), iso);

    // Cancelling the save panel ends it silently.
    windows.clearError();
    await(windows.create());
    EXPECT_EQ(interaction.asked.size(), 1);
    EXPECT_EQ(windows.error(), QString());
    EXPECT_FALSE(windows.busy());
    EXPECT_EQ(commandsStarted().size(), 1) << "only the first check";

    // A folder where the firmware file should be: the build gets as far as copying it, then leaves
    // neither target nor build folder.
    ASSERT_TRUE(QFile::remove(firmware(utm)));
    writeFile(firmware(utm) + QStringLiteral("/inner"), "x");
    LogProbe::reset();
    interaction.files.enqueue(path(QStringLiteral("Broken")));
    await(windows.create());
    const QString reason = QString::fromLocal8Bit(std::strerror(EISDIR));
    EXPECT_EQ(windows.error(), reason);
    EXPECT_EQ(windows.message(), QStringLiteral("创建未完成"));
    EXPECT_EQ(LogProbe::messages("Windows"), QStringList{QStringLiteral("ERROR 创建失败：") + reason});
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("Broken.utm"))));
    EXPECT_EQ(hiddenEntries(dir.path()), QStringList());
    EXPECT_FALSE(windows.busy());
    EXPECT_TRUE(host.openedWithApplication().isEmpty());
    QDir(firmware(utm)).removeRecursively();
    writeFile(firmware(utm), firmwareBytes());

    // An existing machine is never touched.
    const QString existing = path(QStringLiteral("Existing.utm"));
    bundle(existing, "installed");
    interaction.files.enqueue(path(QStringLiteral("Existing")));
    await(windows.create());
    EXPECT_EQ(windows.error(), targetExists);
    EXPECT_EQ(readFile(existing + QStringLiteral("/config.plist")), "<plist>installed</plist>");
    EXPECT_EQ(QFileInfo(existing + QStringLiteral("/Data/windows.img")).size(), GiB);
    EXPECT_TRUE(host.openedWithApplication().isEmpty());

    // Not enough space; then exactly enough, under an upper-case extension that is kept.
    // 64 GiB disk + 8 GiB head-room + a 6 GiB ISO = 78 GiB.
    ASSERT_TRUE(QFile(iso).resize(6 * GiB));
    windows.clearError();
    host.capacity = 70 * GiB;
    interaction.files.enqueue(path(QStringLiteral("Short.UTM")));
    await(windows.create());
    EXPECT_EQ(windows.message(), QStringLiteral("创建未完成"));
    const QString tooLittle =
        QStringLiteral("该磁盘空间不足。当前配置需要至少 79GB 空闲空间；可选择外置 SSD。");
    EXPECT_EQ(windows.error(), tooLittle);
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("Short.UTM"))));
    EXPECT_EQ(windows.projectPath(), std::nullopt);

    host.capacity = 78 * GiB;
    windows.clearError();
    interaction.files.enqueue(path(QStringLiteral("Exact.UTM")));
    await(windows.create());
    EXPECT_EQ(windows.error(), QString()) << "exactly enough";
    EXPECT_EQ(windows.projectPath(), path(QStringLiteral("Exact.UTM")));
    EXPECT_EQ(QFileInfo(path(QStringLiteral("Exact.UTM/Data/installer.iso"))).size(), 6 * GiB);
    EXPECT_LT(allocatedBytes(path(QStringLiteral("Exact.UTM/Data/installer.iso"))), 64 * 1024 * 1024)
        << "the ISO's holes stay holes";
    EXPECT_EQ(head(path(QStringLiteral("Exact.UTM/Data/installer.iso"))), head(iso));

    // The ISO is checked again before the build: one spoilt since its first check stops it.
    QFile::resize(iso, 0);
    QFile::resize(iso, 2 * 1'048'576);
    interaction.files.enqueue(path(QStringLiteral("Zeroed")));
    await(windows.create());
    EXPECT_EQ(windows.message(), QStringLiteral("创建未完成"));
    EXPECT_TRUE(windows.error().contains(QStringLiteral("Cannot open the file as archive")))
        << windows.error().toStdString();
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("Zeroed.utm"))));
    EXPECT_EQ(hiddenEntries(dir.path()), QStringList());
}

TEST_F(WindowsCreateTest, ATargetThatAppearsDuringTheBuildIsNotReplaced)
{
    utmApp();
    const QString iso = windowsISO();
    const ScopedEnv files("FAKE_HDIUTIL_TREE", tree(QStringLiteral("arm64"), arm64Files).toUtf8());
    WindowsModel &windows = checked(iso, attaching());
    const qsizetype checkCalls = hdiutilCalls().size();
    const ScopedEnv delay("FAKE_HDIUTIL_DELAY_MS", "1500");

    const QString target = path(QStringLiteral("Raced.utm"));
    interaction.files.enqueue(target);
    QCoro::Task<> creating = windows.create();
    EXPECT_TRUE(windows.busy());
    EXPECT_EQ(windows.message(), QStringLiteral("正在检查镜像并创建本地虚拟机，不进行网络下载…"));
    ASSERT_TRUE(waitUntil([&] { return hdiutilCalls().size() > checkCalls; }));
    // Someone else's empty folder: a plain rename would silently put the bundle in its place.
    QDir().mkpath(target);
    await(std::move(creating));

    EXPECT_EQ(windows.error(), targetExists);
    EXPECT_EQ(entries(target), QStringList());
    EXPECT_EQ(hiddenEntries(dir.path()), QStringList());
    EXPECT_EQ(entries(temporary()), QStringList()) << "and the check's mount point is gone";
    EXPECT_FALSE(windows.busy());
}

} // namespace

#include "IOSModelFixture.h"
#include "Wait.h"
#include "platform/Error.h"

#include <QSignalSpy>

namespace {

using IOSModelTest = IOSModelFixture;

TEST_F(IOSModelTest, WithoutXcodeOrWithAnUnreadableListTheRefreshSaysWhy)
{
    // No Xcode yet: its xcrun is not there.
    IOSModel::Options programs = standIns();
    programs.xcrun = path("xcode/xcrun");
    IOSModel &ios = model(programs);
    EXPECT_EQ(ios.status(), QStringLiteral("正在检查本机 Xcode…"));
    await(ios.refresh());
    EXPECT_TRUE(ios.loaded());
    EXPECT_FALSE(ios.busy());
    EXPECT_EQ(ios.status(), QStringLiteral("无法读取 Xcode 模拟器环境"));
    const QString cannotStart = ios.error();
    EXPECT_FALSE(cannotStart.isEmpty());

    ASSERT_TRUE(QDir().mkpath(path("xcode")));
    ASSERT_TRUE(QFile::link(QStringLiteral(CORVANE_FAKES_DIR "/xcrun"), programs.xcrun));
    qputenv("FAKE_SIMCTL_FAIL", "list");
    await(ios.refresh());
    EXPECT_FALSE(ios.error().trimmed().isEmpty());
    EXPECT_NE(ios.error(), cannotStart) << "simctl's own words";
    qunsetenv("FAKE_SIMCTL_FAIL");

    await(ios.refresh());
    ASSERT_EQ(ios.status(), QStringLiteral("已检测到 2 个 iOS 运行时"));
    qputenv("FAKE_SIMCTL_MALFORMED_JSON", "1");
    await(ios.refresh());
    EXPECT_EQ(ios.status(), QStringLiteral("无法读取 Xcode 模拟器环境"));
    EXPECT_TRUE(ios.error().startsWith(QStringLiteral("无法识别 simctl 返回的模拟器列表：")))
        << ios.error().toStdString();
    EXPECT_EQ(ios.runtimes().size(), 2) << "what was shown stays";
}

TEST(IOSInventoryTest, AMissingOrMistypedRequiredKeyFailsTheWholeRead)
{
    const IOSInventory inventory =
        IOSInventory::decode(R"({"runtimes":[{"identifier":"r","name":"iOS","isAvailable":true,
        "x":1}],"devicetypes":[],"devices":{"r":[{"udid":"U","name":"A","state":"Booted"}]},"pairs":{}})");
    EXPECT_EQ(inventory.runtimes.value(0), (IOSRuntime{"r", "iOS", true}));
    EXPECT_EQ(inventory.devices.value("r").value(0), (IOSDevice{"U", "A", "Booted", std::nullopt}));

    for (
        const char *json :
        {R"({"devicetypes":[],"devices":{}})",
         R"({"runtimes":[{"identifier":"r","name":"iOS"}],"devicetypes":[],"devices":{}})",
         R"({"runtimes":[{"identifier":"r","name":"iOS","isAvailable":"1"}],"devicetypes":[],"devices":{}})",
         R"({"runtimes":[],"devicetypes":[{"identifier":"t"}],"devices":{}})",
         R"({"runtimes":[],"devicetypes":[],"devices":{"r":[{"udid":"U","name":"A"}]}})",
         R"({"runtimes":[],"devicetypes":[],"devices":{"r":[{"udid":"U","name":"A","state":"B","isAvailable":1}]}})",
         R"({"runtimes":[],"devicetypes":[],"devices":[]})", "xcrun: error: unable to find utility"}) {
        EXPECT_THROW(IOSInventory::decode(json), VMFailure) << json;
    }
}

TEST_F(IOSModelTest, OffersUsableIOSRuntimesAndPhoneAndTabletTypesAndKeepsValidChoices)
{
    IOSModel &ios = model();
    await(ios.refresh());
    EXPECT_EQ(ios.runtimes(), (QList<IOSRuntime>{{ios17, "iOS 17.5", true}, {ios18, "iOS 18.2", true}}));
    EXPECT_EQ(ios.types(),
              (QList<IOSDeviceType>{
                  {iPhone15, "iPhone 15"}, {iPhone16Pro, "iPhone 16 Pro"}, {iPadAir, "iPad Air (M2)"}}));
    EXPECT_EQ(ios.runtime(), ios17);
    EXPECT_EQ(ios.type(), iPhone16Pro) << "the last iPhone";
    ios.setRuntime(ios18);
    ios.setType(iPhone15);
    await(ios.refresh());
    EXPECT_EQ(ios.runtime(), ios18);
    EXPECT_EQ(ios.type(), iPhone15);

    // Both choices vanish: the first runtime, and the last iPhone even with a tablet after it.
    QJsonObject changed = machine();
    changed["runtimes"] = QJsonArray{entry(ios17, QStringLiteral("iOS 17.5"), true)};
    changed["devicetypes"] = QJsonArray{entry(iPhone16Pro, QStringLiteral("iPhone 16 Pro")),
                                        entry(QStringLiteral("t.iPhone-SE"), QStringLiteral("iPhone SE")),
                                        entry(iPadAir, QStringLiteral("iPad Air (M2)"))};
    writeState(changed);
    await(ios.refresh());
    EXPECT_EQ(ios.runtime(), ios17);
    EXPECT_EQ(ios.type(), QStringLiteral("t.iPhone-SE"));
    EXPECT_EQ(ios.status(), QStringLiteral("已检测到 1 个 iOS 运行时"));

    // Tablets only: the first. No usable runtime: none.
    changed["devicetypes"] = QJsonArray{entry(iPadAir, QStringLiteral("iPad Air (M2)")),
                                        entry(QStringLiteral("t.iPad-mini"), QStringLiteral("iPad mini"))};
    changed["runtimes"] = QJsonArray{entry(ios17, QStringLiteral("iOS 17.5"), false),
                                     entry(QStringLiteral("r.tvOS-18-0"), QStringLiteral("tvOS 18.0"), true)};
    writeState(changed);
    await(ios.refresh());
    EXPECT_EQ(ios.type(), iPadAir);
    EXPECT_EQ(ios.runtime(), QString());
    EXPECT_EQ(ios.status(), QStringLiteral("尚未安装可用的 iOS Simulator 运行时"));
    forgetCalls();
    await(ios.create());
    EXPECT_TRUE(calls().isEmpty()) << "nothing to create on";
    EXPECT_TRUE(ios.error().isEmpty());
}

TEST_F(IOSModelTest, ListsOnlyOwnedDevicesInCodePointOrderOfName)
{
    const QString a = QStringLiteral("AAAAAAAA-0000-4000-8000-000000000001");
    const QString b = QStringLiteral("BBBBBBBB-0000-4000-8000-000000000002");
    const QString c = QStringLiteral("CCCCCCCC-0000-4000-8000-000000000003");
    QJsonObject changed = machine();
    changed["devices"] = QJsonObject{
        {ios17, QJsonArray{device(a, QStringLiteral("😀 Phone"))}},
        {ios18, QJsonArray{device(outsider, QStringLiteral("Work Phone")),
                           device(b, QStringLiteral("Work Phone")), device(c, QStringLiteral("ｚ Phone"))}}};
    writeState(changed);
    const QByteArray registryBytes =
        R"(["AAAAAAAA-0000-4000-8000-000000000001","BBBBBBBB-0000-4000-8000-000000000002",)"
        R"("CCCCCCCC-0000-4000-8000-000000000003","DDDDDDDD-0000-4000-8000-000000000004"])";
    writeFile(registry(), registryBytes);

    IOSModel &ios = model();
    await(ios.refresh());
    EXPECT_EQ(ios.devices(), (QList<IOSDevice>{{b, "Work Phone", "Shutdown", true},
                                               {c, "ｚ Phone", "Shutdown", true},
                                               {a, "😀 Phone", "Shutdown", true}}))
        << "U+FF5A before U+1F600; the outsider is not ours";
    EXPECT_EQ(ios.owned().size(), 4);
    EXPECT_EQ(readFile(registry()), registryBytes);
}

TEST_F(IOSModelTest, CreatePassesTheTrimmedNameUnchangedAndKeepsTheRegistrySorted)
{
    const QString last = QStringLiteral("FFFFFFFF-0000-4000-8000-000000000000");
    writeFile(registry(), QJsonDocument(QJsonArray{last}).toJson());
    IOSModel &ios = withPhone(standIns(), QStringLiteral("  Test Phone \n"));
    EXPECT_EQ(changes(), (QList<QStringList>{{"simctl", "create", "Test Phone", iPhone15, ios18}}));
    EXPECT_EQ(ios.name(), QStringLiteral("  Test Phone \n"));
    EXPECT_EQ(listed(ios, phone).name, QStringLiteral("Test Phone"));
    EXPECT_EQ(readFile(registry()), "[\"" + phone.toUtf8() + "\",\"" + last.toUtf8() + "\"]");
    EXPECT_TRUE(
        LogProbe::messages("iPhone").contains(QStringLiteral("INFO 已创建 iOS 设备：Test Phone · ") + phone));

    ios.setName(QStringLiteral(" \t "));
    forgetCalls();
    await(ios.create());
    EXPECT_EQ(ios.error(), QStringLiteral("请输入设备名称。"));
    EXPECT_TRUE(calls().isEmpty());

    const QString awkward = QStringLiteral("Ann's \"Phone\"\n2 😀");
    const QString second = create(ios, u' ' + awkward);
    EXPECT_EQ(changes(), (QList<QStringList>{{"simctl", "create", awkward, iPhone15, ios18}}));
    EXPECT_EQ(simulators().value(second)["name"].toString(), awkward);
    QStringList sorted{phone, second, last};
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(readFile(registry()),
              QJsonDocument(QJsonArray::fromStringList(sorted)).toJson(QJsonDocument::Compact));

    forgetCalls();
    await(ios.rename(listed(ios, second), QStringLiteral("  \n")));
    await(ios.rename(listed(ios, second), QStringLiteral(" ") + awkward + QStringLiteral("!\t")));
    EXPECT_EQ(changes(), (QList<QStringList>{{"simctl", "rename", second, awkward + u'!'}}));
    EXPECT_EQ(listed(ios, second).name, awkward + u'!');
}

TEST_F(IOSModelTest, CreateRecordsNothingWithoutAUUIDAndDeletesADeviceItCannotRecord)
{
    IOSModel &ios = model();
    await(ios.refresh());
    qputenv("FAKE_SIMCTL_NON_UUID", "1");
    await(ios.create());
    EXPECT_EQ(ios.error(), QStringLiteral("Xcode 未返回有效设备标识。\nnot-a-udid\n"));
    EXPECT_FALSE(QFile::exists(registry()));
    qunsetenv("FAKE_SIMCTL_NON_UUID");

    writeFile(root(), "a file where the data folder belongs");
    forgetCalls();
    await(ios.create());
    const QList<QStringList> made = changes();
    ASSERT_EQ(made.size(), 2);
    EXPECT_EQ(made[1].mid(0, 2), (QStringList{"simctl", "delete"}));
    EXPECT_EQ(simulators().keys(), QStringList{outsider});
    EXPECT_TRUE(ios.owned().isEmpty());
    EXPECT_FALSE(ios.error().isEmpty());
}

TEST_F(IOSModelTest, BootShowsTheDeviceOnlyOnceBootedAndDeleteNeedsItShutDownAndTakesEverySnapshotDevice)
{
    IOSModel &ios = withPhone();
    const QString other = create(ios, QStringLiteral("Other"));
    for (const QString &source : {phone, phone, phone, other}) {
        await(ios.createSnapshot(listed(ios, source)));
    }
    const QList<IOSSnapshotRecord> before = ios.snapshots();
    ASSERT_EQ(before.size(), 4);

    const QList<QStringList> shown{{"-a", "Simulator", "--args", "-CurrentDeviceUDID", phone}};
    forgetCalls();
    await(ios.operate(listed(ios, phone), QStringLiteral("boot")));
    EXPECT_EQ(changes(), (QList<QStringList>{{"simctl", "boot", phone}}));
    EXPECT_EQ(calls("open.calls"), shown);
    forgetCalls();
    await(ios.operate(listed(ios, phone), QStringLiteral("boot")));
    EXPECT_TRUE(changes().isEmpty());
    EXPECT_EQ(calls("open.calls"), shown);

    await(ios.operate(listed(ios, phone), QStringLiteral("erase")));
    await(ios.operate(IOSDevice{outsider, QStringLiteral("Work Phone"), QStringLiteral("Shutdown"), true},
                      QStringLiteral("delete")));
    EXPECT_TRUE(changes().isEmpty()) << "unknown actions and foreign devices are ignored";

    // Booted: the delete is refused until the device is shut down.
    await(ios.operate(listed(ios, phone), QStringLiteral("delete")));
    EXPECT_EQ(LogProbe::messages("iPhone").last(),
              QStringLiteral("ERROR Phone 操作失败：请先关闭该 iOS 设备，再删除。"));
    EXPECT_TRUE(changes().isEmpty());
    await(ios.operate(listed(ios, phone), QStringLiteral("force")));
    EXPECT_EQ(changes(), (QList<QStringList>{{"simctl", "shutdown", phone}}));
    EXPECT_EQ(listed(ios, phone).state, QStringLiteral("Shutdown"));

    qputenv("FAKE_SIMCTL_FAIL_UDIDS", before[2].snapshotDeviceID.toUtf8());
    forgetCalls();
    await(ios.operate(listed(ios, phone), QStringLiteral("delete")));
    EXPECT_EQ(changes(), (QList<QStringList>{{"simctl", "delete", phone},
                                             {"simctl", "delete", before[1].snapshotDeviceID},
                                             {"simctl", "delete", before[2].snapshotDeviceID},
                                             {"simctl", "delete", before[3].snapshotDeviceID}}));
    EXPECT_EQ(ios.snapshots(), QList<IOSSnapshotRecord>{before[0]});
    EXPECT_EQ(IOSSnapshotRecord::decodeList(readFile(snapshotRegistry())), ios.snapshots());
    EXPECT_EQ(readFile(registry()), "[\"" + other.toUtf8() + "\"]");
    const QStringList left = simulators().keys();
    EXPECT_EQ(QSet<QString>(left.cbegin(), left.cend()),
              (QSet<QString>{outsider, other, before[0].snapshotDeviceID, before[2].snapshotDeviceID}));
    EXPECT_EQ(ios.devices().size(), 1);

    qputenv("FAKE_OPEN_FAIL", "1");
    await(ios.operate(listed(ios, other), QStringLiteral("boot")));
    EXPECT_FALSE(ios.error().isEmpty());
    EXPECT_EQ(LogProbe::messages("iPhone").mid(LogProbe::messages("iPhone").size() - 2),
              (QStringList{QStringLiteral("INFO 设备操作：Other · boot"),
                           QStringLiteral("ERROR Other 操作失败：") + ios.error().trimmed()}));
}

TEST_F(IOSModelTest, BusyAdmitsOneOperationAndDropsTheRestWithoutTrace)
{
    IOSModel &ios = withPhone();
    await(ios.createSnapshot(listed(ios, phone)));
    const IOSDevice made = listed(ios, phone);
    const QList<IOSSnapshotRecord> snapshots = ios.snapshots();
    qputenv("FAKE_SIMCTL_DELAY_MS", "300");
    forgetCalls();
    LogProbe::reset();

    QSignalSpy busy(&ios, &IOSModel::busyChanged);
    QCoro::Task<> running = ios.refresh();
    ASSERT_TRUE(ios.busy());
    const QCoro::Task<> dropped[] = {ios.refresh(),
                                     ios.create(),
                                     ios.operate(made, QStringLiteral("boot")),
                                     ios.operate(made, QStringLiteral("delete")),
                                     ios.rename(made, QStringLiteral("B")),
                                     ios.createSnapshot(made),
                                     ios.rollback(made),
                                     ios.deleteLatestSnapshot(made)};
    for (const QCoro::Task<> &task : dropped) {
        EXPECT_TRUE(task.isReady());
    }
    await(std::move(running));
    EXPECT_EQ(calls(), (QList<QStringList>{{"simctl", "list", "--json"}}));
    EXPECT_TRUE(calls("open.calls").isEmpty());
    EXPECT_EQ(busy.count(), 2);
    EXPECT_TRUE(ios.error().isEmpty());
    EXPECT_EQ(ios.snapshots(), snapshots);
    EXPECT_TRUE(LogProbe::messages("iPhone").isEmpty() && LogProbe::messages("快照").isEmpty());

    // A model destroyed while simctl runs is left alone when the run ends.
    QCoro::Task<> orphaned = ios.operate(made, QStringLiteral("boot"));
    destroyModel();
    EXPECT_TRUE(waitUntil([&] { return orphaned.isReady(); }));
}

} // namespace

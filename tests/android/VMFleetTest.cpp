#include "android/VMFleet.h"
#include "Await.h"
#include "FakeAndroidSdk.h"
#include "FakeHost.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "android/VMConfiguration.h"
#include "android/VMModel.h"
#include "platform/Error.h"
#include "preferences/AppPreferences.h"
#include "services/FileIO.h"
#include "services/InstanceLock.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

using P = AppPreferences;

namespace {

const QString copyRefused = QStringLiteral("请先停止要复制的实例，再创建副本。");
const QString deleteRefused = QStringLiteral("请先停止该安卓设备，再删除。");
const QString overBudget =
    QStringLiteral("多开总内存超过设置中的上限。请调低实例内存、停止其他实例，或在设置中调整上限。");

QStringList ids(const VMFleet &fleet)
{
    QStringList result;
    for (const VMModel *model : fleet.models()) {
        result.append(model->id());
    }
    return result;
}

/** Where the desktop Trash keeps what was at `original`, or "" when it holds nothing from there. */
QString trashed(const QString &original)
{
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash";
    for (QDirIterator it(trash + "/info", {"*.trashinfo"}, QDir::Files); it.hasNext();) {
        const QString info = it.next();
        if (readFile(info).split('\n').contains("Path=" + QUrl::toPercentEncoding(original, "/"))) {
            return trash + "/files/" + QFileInfo(info).completeBaseName();
        }
    }
    return {};
}

class FleetHost : public FakeHost
{
public:
    std::function<void(const QString &)> trash;
    void moveToTrash(const QString &path) override { trash ? trash(path) : Host::moveToTrash(path); }
};

class VMFleetTest : public ::testing::Test
{
protected:
    VMPaths addInstance(const QString &id, const char *name, qint64 memoryMB = 2048)
    {
        const VMPaths paths(root + "/instances/" + id, root);
        writeFile(paths.instanceNameFile(), name);
        saveConfiguration(paths, VMConfiguration{2, memoryMB, "720 × 1280", false});
        writeFile(paths.avdFolder() + "/userdata-qemu.img", name);
        return paths;
    }

    QTemporaryDir dir;
    QString root = dir.path();
    VMPaths first{root};
    FleetHost host;
    std::unique_ptr<QSettings> store = P::openStore();
};

} // namespace

TEST_F(VMFleetTest, LoadsFirstDeviceThenNamedInstancesInFolderOrder)
{
    addInstance("B", "乙");
    addInstance("a", "丙");
    addInstance("A", "甲");
    // A name file that is a folder or holds no text names a device after its folder: HostileFilesTest's
    // instance-name.txt and the first device's names below.
    QDir().mkpath(root + "/instances/C");
    writeFile(root + "/instances/stray", "x");

    VMFleet fleet(root);
    EXPECT_EQ(ids(fleet), (QStringList{"primary", "A", "B", "a"}));
    QStringList names;
    for (const VMModel *model : fleet.models()) {
        names.append(model->name());
        EXPECT_TRUE(model->startCheck());
    }
    EXPECT_EQ(names, (QStringList{"安卓 1", "甲", "乙", "丙"}));
    EXPECT_EQ(fleet.models()[1]->paths(), VMPaths(root + "/instances/A", root));
    EXPECT_EQ(fleet.selected(), "primary");

    // The first device keeps its name across a restart; a name file without a name or text does not count.
    fleet.models().first()->setName("工作机");
    fleet.models().first()->saveName();
    EXPECT_EQ(VMFleet(root).models().first()->name(), "工作机");
    for (const QByteArray &unnamed : {QByteArray(" \n"), QByteArray("\xff\xfe")}) {
        writeFile(first.instanceNameFile(), unnamed);
        EXPECT_EQ(VMFleet(root).models().first()->name(), "安卓 1");
    }

    writeFile(first.primaryDeletedMarker(), {});
    EXPECT_EQ(VMFleet(root).selected(), "A");
    QDir(root + "/instances").removeRecursively();
    const VMFleet empty(root);
    EXPECT_TRUE(empty.models().isEmpty() && empty.selected().isEmpty() && !empty.current());
}

TEST_F(VMFleetTest, AddDeviceNeedsTheSdkAndTakesTheFirstFreeName)
{
    addInstance("A", "安卓 3");
    addInstance("B", "安卓  2");
    VMFleet fleet(root);
    fleet.addDevice();
    EXPECT_EQ(fleet.error(), "请先在当前设备中安装安卓环境。");
    EXPECT_EQ(fleet.models().size(), 3);

    ASSERT_TRUE(FakeAndroidSdk::install(first));
    P::write(*store, P::newDeviceCores, 3);
    P::write(*store, P::newDeviceMemoryGB, 3);
    store->sync();
    fleet.addDevice();
    fleet.addDevice();
    ASSERT_EQ(fleet.models().size(), 5);
    const VMModel *added = fleet.models()[3];
    EXPECT_EQ(added->name(), "安卓 2");
    EXPECT_EQ(fleet.models()[4]->name(), "安卓 4");
    EXPECT_EQ(fleet.selected(), fleet.models()[4]->id());
    EXPECT_TRUE(
        QRegularExpression("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$").match(added->id()).hasMatch());

    const VMPaths paths(root + "/instances/" + added->id(), root);
    EXPECT_EQ(added->paths(), paths);
    EXPECT_EQ(readFile(paths.instanceNameFile()), "安卓 2");
    EXPECT_EQ(readFile(paths.configurationFile()), VMConfiguration::forNewDevice(*store).toJson());
    EXPECT_TRUE(
        readFile(paths.avdIni()).contains(QByteArray("path=" + QFile::encodeName(paths.avdFolder()) + '\n')));
}

TEST_F(VMFleetTest, DeletingTheOnlyFirstDeviceLeavesAMarkerUntilAddBringsItBack)
{
    saveConfiguration(first, VMConfiguration{});
    writeFile(first.avdFolder() + "/userdata-qemu.img", "data");
    writeFile(first.instanceNameFile(), "工作机");
    VMFleet fleet(root);
    ASSERT_TRUE(await(fleet.deleteTask("primary")).done);
    EXPECT_TRUE(fleet.models().isEmpty() && fleet.selected().isEmpty() && fleet.error().isEmpty());
    EXPECT_EQ(readFile(first.primaryDeletedMarker()), QByteArray());
    EXPECT_FALSE(FileIO::exists(first.avdHome()));
    EXPECT_EQ(readFile(trashed(first.avdHome()) + "/Corvane.avd/userdata-qemu.img"), "data");
    EXPECT_TRUE(FileIO::exists(first.configurationFile()));
    EXPECT_TRUE(VMFleet(root).models().isEmpty());

    // Brought back, it is a new device and does not inherit the old one's name.
    fleet.addDevice();
    EXPECT_EQ(ids(fleet), QStringList{"primary"});
    EXPECT_EQ(fleet.selected(), "primary");
    EXPECT_FALSE(FileIO::exists(first.primaryDeletedMarker()));
    EXPECT_EQ(fleet.current()->name(), "安卓 1");
    EXPECT_EQ(VMFleet(root).models().first()->name(), "安卓 1");

    // With the SDK present an empty fleet grows a new instance instead.
    ASSERT_TRUE(await(fleet.deleteTask("primary")).done);
    ASSERT_TRUE(FakeAndroidSdk::install(first));
    fleet.addDevice();
    ASSERT_EQ(fleet.models().size(), 1);
    EXPECT_NE(fleet.current()->id(), "primary");
    EXPECT_TRUE(FileIO::exists(first.primaryDeletedMarker()));
}

TEST_F(VMFleetTest, DuplicateClonesAnIdleDeviceWithoutItsRuntimeFilesOneCopyAtATime)
{
    VMFleet withoutSdk(root);
    withoutSdk.duplicate();
    EXPECT_EQ(withoutSdk.error(), copyRefused);

    ASSERT_TRUE(FakeAndroidSdk::install(first));
    saveConfiguration(first, VMConfiguration{4, 4096, "1080 × 1920", true});
    writeFile(first.avdFolder() + "/userdata-qemu.img", "user data");
    writeFile(first.avdFolder() + "/config.ini", "stale");
    const QStringList runtime =
        VMPaths::emulatorRuntimeFileNames() + QStringList{"multiinstance.lock", "cache.img.lock/pid"};
    for (const QString &name : runtime) {
        writeFile(first.avdFolder() + u'/' + name, "runtime");
    }
    P::write(*store, P::newDeviceCores, 3);
    P::write(*store, P::newDeviceMemoryGB, 3);
    store->sync();
    host.capacity = 3 * FakeHost::GiB + 1;

    VMFleet fleet(root);
    VMModel *source = fleet.current();
    const auto expectSourceBlocked = [&] {
        fleet.duplicate();
        EXPECT_EQ(fleet.error(), copyRefused);
        fleet.deleteDevice("primary");
        EXPECT_EQ(fleet.error(), deleteRefused);
        EXPECT_FALSE(fleet.creating());
    };
    source->setBusy(true);
    expectSourceBlocked();
    source->setBusy(false);
    fleet.clearError();

    // A second copy is refused while one runs; add and delete wait their turn silently.
    auto task = fleet.duplicateTask();
    EXPECT_TRUE(fleet.creating() && source->busy());
    fleet.duplicate();
    EXPECT_EQ(fleet.error(), copyRefused);
    fleet.clearError();
    fleet.addDevice();
    fleet.deleteDevice("primary");
    EXPECT_EQ(fleet.error(), QString());
    ASSERT_TRUE(await(std::move(task)).done);
    EXPECT_EQ(fleet.error(), QString());
    EXPECT_FALSE(fleet.creating() || source->busy());

    ASSERT_EQ(fleet.models().size(), 2);
    const VMModel *copy = fleet.models()[1];
    EXPECT_EQ(fleet.selected(), copy->id());
    EXPECT_EQ(copy->name(), "安卓 2");
    const VMPaths paths(root + "/instances/" + copy->id(), root);
    EXPECT_EQ(entries(paths.avdFolder()), (QStringList{"config.ini", "userdata-qemu.img"}));
    EXPECT_EQ(readFile(paths.avdFolder() + "/userdata-qemu.img"), "user data");
    EXPECT_TRUE(readFile(paths.configIni()).contains("hw.ramSize=3072\n"));
    EXPECT_TRUE(
        readFile(paths.avdIni()).contains(QByteArray("path=" + QFile::encodeName(paths.avdFolder()) + '\n')));
    EXPECT_EQ(readFile(paths.configurationFile()), (VMConfiguration{3, 3072, "1080 × 1920", true}.toJson()));
    EXPECT_EQ(readFile(paths.instanceNameFile()), "安卓 2");
    EXPECT_EQ(entries(first.avdFolder()).size(), runtime.size() + 2);

    // Snapshot work on the AVD folder blocks copies and deletes alike.
    fleet.setSelected("primary");
    auto snapshot = source->createSnapshot();
    ASSERT_TRUE(source->snapshotBusy());
    expectSourceBlocked();
    ASSERT_TRUE(await(std::move(snapshot)).done);
    EXPECT_EQ(fleet.models().size(), 2);
}

TEST_F(VMFleetTest, AFailedCopyOrDeleteLeavesTheDeviceWholeAndReleasesEverything)
{
    ASSERT_TRUE(FakeAndroidSdk::install(first));
    writeFile(first.avdFolder() + "/userdata-qemu.img", "data");
    VMFleet fleet(root);
    // Each failure once for a copy and, where given, once for a delete of the same device.
    auto expectFailures = [&](const QString &copyMessage, const QString &deleteMessage = {}) {
        ASSERT_TRUE(await(fleet.duplicateTask()).done);
        EXPECT_TRUE(copyMessage.isEmpty() ? !fleet.error().isEmpty() : fleet.error() == copyMessage)
            << copyMessage.toStdString();
        fleet.clearError();
        if (!deleteMessage.isEmpty()) {
            ASSERT_TRUE(await(fleet.deleteTask("primary")).done);
            EXPECT_EQ(fleet.error(), deleteMessage);
            fleet.clearError();
        }
        EXPECT_EQ(entries(root + "/instances"), QStringList());
        EXPECT_EQ(fleet.models().size(), 1);
        EXPECT_FALSE(fleet.creating() || fleet.current()->busy());
        EXPECT_FALSE(FileIO::exists(first.primaryDeletedMarker()));
        EXPECT_EQ(readFile(first.avdFolder() + "/userdata-qemu.img"), "data");
    };
    // Another copy of the application holds the lock: flock conflicts between open file descriptions.
    InstanceLock::Attempt other = InstanceLock::acquire(first.lockFile());
    ASSERT_EQ(other.outcome, InstanceLock::Outcome::Locked);
    expectFailures("源实例正在使用，不能复制运行中的数据盘。", "该设备正在其他窗口使用。");
    InstanceLock::release(other.descriptor);
    {
        QFile held(first.avdFolder() + "/userdata-qemu.img");
        ASSERT_TRUE(held.open(QIODevice::ReadOnly));
        expectFailures("该实例仍被其他进程使用，请先关闭对应安卓窗口。",
                       "该设备仍被模拟器使用，请先关闭对应安卓窗口。");
    }
    for (const qint64 capacity : {3 * FakeHost::GiB, qint64(-1)}) {
        host.capacity = capacity;
        expectFailures("创建副本至少需要 3GB 可用空间。");
    }
    host.capacity = 100 * FakeHost::GiB;
    host.clone = [](const QString &from, const QString &to) {
        return ToolCommand{CORVANE_FAKES_DIR "/cp_dies", {from, to}};
    };
    expectFailures({});

    // A Trash that refuses the device undoes the first device's deletion mark.
    host.trash = [](const QString &) { throw SystemError("无法移到废纸篓"); };
    ASSERT_TRUE(await(fleet.deleteTask("primary")).done);
    EXPECT_EQ(fleet.error(), "无法移到废纸篓");
    fleet.clearError();
    expectFailures({});

    EXPECT_TRUE(InstanceLock::tryTake(first.lockFile())) << "every failure released the lock";
}

TEST_F(VMFleetTest, DeleteTrashesTheFolderAndSnapshotsAndMovesTheSelection)
{
    const QString a = addInstance("A", "甲").root();
    const QString b = addInstance("B", "乙").root();
    const QString snapshots = root + "/snapshots/android/";
    writeFile(snapshots + "B/one/snapshot.json", "{}");
    writeFile(snapshots + "A/one/snapshot.json", "{}");
    VMFleet fleet(root);
    fleet.setSelected("B");
    const QPointer<VMModel> removed = fleet.models()[2];

    ASSERT_TRUE(await(fleet.deleteTask("B")).done);
    EXPECT_EQ(fleet.error(), QString());
    EXPECT_EQ(ids(fleet), (QStringList{"primary", "A"}));
    EXPECT_EQ(fleet.selected(), "primary");
    EXPECT_FALSE(FileIO::exists(b));
    EXPECT_EQ(readFile(trashed(b) + "/instance-name.txt"), "乙");
    EXPECT_TRUE(FileIO::exists(trashed(snapshots + u'B') + "/one/snapshot.json"));
    EXPECT_TRUE(LogProbe::text().contains("[INFO] [快照] 删除设备时已将 乙 的快照移到废纸篓\n"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(removed.isNull());

    // Snapshots that cannot go to the Trash are only worth a warning.
    host.trash = [](const QString &path) {
        if (path.contains("/snapshots/")) {
            throw SystemError("废纸篓已满");
        }
        QFile(path).moveToTrash();
    };
    ASSERT_TRUE(await(fleet.deleteTask("A")).done);
    EXPECT_EQ(fleet.error(), QString());
    EXPECT_EQ(ids(fleet), QStringList{"primary"});
    EXPECT_FALSE(FileIO::exists(a));
    EXPECT_TRUE(FileIO::exists(snapshots + u'A'));
    EXPECT_TRUE(
        LogProbe::text().contains("[WARN] [快照] 设备已删除，但快照目录未能移到废纸篓：废纸篓已满\n"));
}

TEST_F(VMFleetTest, BudgetCountsOtherRunningOrBusyDevicesAndExternalMemory)
{
    ASSERT_TRUE(FakeAndroidSdk::install(first));
    saveConfiguration(first, VMConfiguration{2, 4096, "720 × 1280", false});
    addInstance("A", "甲", 4096);
    addInstance("B", "乙", 8192);
    qint64 external = 0;
    VMFleet::Options options;
    options.externalMemoryMB = [&external] { return external; };
    auto fleet = std::make_unique<VMFleet>(root, options);
    VMModel *primary = fleet->models()[0];
    VMModel *second = fleet->models()[1];
    VMModel *big = fleet->models()[2];
    const auto canStart = [](VMModel *device) { return device->startCheck()(*device); };

    // 16 GiB and no stored budget: 12288 MiB, exactly filled by the busy 8 GiB device and this one.
    big->setBusy(true);
    EXPECT_TRUE(canStart(second));
    external = 1;
    EXPECT_FALSE(canStart(second));
    EXPECT_EQ(second->error(), overBudget);
    EXPECT_EQ(primary->error(), QString());
    big->setBusy(false);

    // A budget stored meanwhile applies at once; the device's own busy flag does not count twice.
    P::setMultiMemoryGB(*store, 8);
    store->sync();
    second->clearError();
    primary->setBusy(true);
    second->setBusy(true);
    external = 0;
    EXPECT_TRUE(canStart(second));
    external = 2048;
    EXPECT_FALSE(canStart(second));
    EXPECT_EQ(second->error(), overBudget);

    const std::function<bool(VMModel &)> check = second->startCheck();
    fleet.reset();
    VMModel alone(first, VMFleet::primaryId, QStringLiteral("安卓 1"));
    EXPECT_FALSE(check(alone)) << "the check outlives its fleet only to refuse";
}

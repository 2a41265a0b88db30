// Every file the program keeps, replaced by something it never wrote: a link to an endless device, a
// 100 MB file, a folder. Each is read the way the program reads it, with the address space capped a
// little above what the process already maps, so a read that follows the file instead of a limit fails
// at once rather than after eating the machine's memory.
#include "../linux/FakeEngine.h"
#include "Await.h"
#include "FakeHost.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "android/SDKPackage.h"
#include "android/VMConfiguration.h"
#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "ios/IOSModel.h"
#include "linux/LinuxConfiguration.h"
#include "linux/LinuxModel.h"
#include "linux/LinuxPaths.h"
#include "platform/Error.h"
#include "preferences/AppPreferences.h"
#include "services/AppLog.h"
#include "services/FileIO.h"
#include "services/FileSnapshotStore.h"
#include "services/GlobalLogModel.h"
#include "windows/WindowsConfiguration.h"
#include "windows/WindowsModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <new>

#include <sys/resource.h>
#include <unistd.h>

namespace {

using P = AppPreferences;

/** What replaces a kept file, each planted where nothing is. */
const std::pair<const char *, std::function<bool(const QString &)>> hostiles[] = {
    {"a link to /dev/zero",
     [](const QString &path) { return QFile::link(QStringLiteral("/dev/zero"), path); }},
    // Sparse: the size is real to every reader, the disk space is not used.
    {"a 100 MB file", [](const QString &path) { return !makeSparseFile(path, 100 * 1000 * 1000).isEmpty(); }},
    {"a folder", [](const QString &path) { return QDir().mkpath(path); }},
};

constexpr qint64 headroom = 64 * 1024 * 1024;

void withCappedMemory(const std::function<void()> &read)
{
    // What the process maps now, as the kernel counts it for RLIMIT_AS: statm's first field, in pages.
    const qint64 mapped = readFile(QStringLiteral("/proc/self/statm")).split(' ').first().toLongLong() *
                          ::sysconf(_SC_PAGESIZE);
    ASSERT_GT(mapped, 0) << "no /proc/self/statm";
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_AS, &saved), 0);
    rlimit capped = saved;
    capped.rlim_cur = rlim_t(mapped + headroom);
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &capped), 0);
    try {
        read();
    } catch (const std::bad_alloc &) {
        ADD_FAILURE() << "the read needed more than " << headroom / (1024 * 1024) << " MB";
    } catch (...) {
        ADD_FAILURE() << "the read failed: " << describe(std::current_exception()).toStdString();
    }
    ::setrlimit(RLIMIT_AS, &saved);
}

const QString addedDevice = QStringLiteral("6D3B4C8A-1F2E-4A5B-9C8D-7E6F5A4B3C2D");

/** Where a file of this name lives: right in the data root. */
std::function<QString(const QString &)> inRoot(const char *name)
{
    return [name](const QString &root) -> QString { return root + u'/' + QString::fromUtf8(name); };
}

/** One kept file: where it lives (with whatever must stand beside it) and how its reader copes. */
struct KeptFile
{
    const char *name;
    std::function<QString(const QString &root)> place;
    std::function<void(const QString &root)> readAndCheck;
};

QList<KeptFile> keptFiles()
{
    return {
        // Every device reads its configuration.json the same way; the first one stands for all.
        {"configuration.json of the first Android device", inRoot("configuration.json"),
         [](const QString &root) {
             const VMFleet fleet(root);
             ASSERT_FALSE(fleet.models().isEmpty());
             EXPECT_EQ(fleet.models().first()->configuration(),
                       VMConfiguration::defaultConfiguration().validated());
         }},
        {"instance-name.txt",
         [](const QString &root) -> QString {
             return root + QStringLiteral("/instances/") + addedDevice + QStringLiteral("/instance-name.txt");
         },
         [](const QString &root) {
             // A device whose name file is the planted thing keeps its folder's name.
             const VMFleet fleet(root);
             const VMModel *added = fleet.models().value(1);
             ASSERT_TRUE(added && added->id() == addedDevice);
             EXPECT_EQ(added->name(), addedDevice);
         }},
        {"snapshot.json",
         [](const QString &root) -> QString {
             const SnapshotRecord kept{QStringLiteral("KEPT"), QStringLiteral("android"),
                                       QStringLiteral("primary"), QStringLiteral("快照"),
                                       QDateTime(QDate(2026, 3, 1), QTime(8, 15, 42), Qt::UTC)};
             QDir().mkpath(root + QStringLiteral("/snapshots/KEPT/payload"));
             FileIO::writeAtomically(root + QStringLiteral("/snapshots/KEPT/snapshot.json"), kept.toJson());
             QDir().mkpath(root + QStringLiteral("/snapshots/HOSTILE/payload"));
             return root + QStringLiteral("/snapshots/HOSTILE/snapshot.json");
         },
         [](const QString &root) {
             const QList<SnapshotRecord> records =
                 FileSnapshotStore::records(root + QStringLiteral("/snapshots"));
             ASSERT_EQ(records.size(), 1);
             EXPECT_EQ(records.first().id, QStringLiteral("KEPT"));
         }},
        {"linux-configuration.json", inRoot("linux-configuration.json"),
         [](const QString &root) {
             FakeEngine engine;
             const LinuxModel linux(engine, root);
             FakeEngine fresh;
             EXPECT_EQ(linux.configuration(), LinuxConfiguration::defaults(fresh).validated());
         }},
        {"the Linux machine identifier",
         [](const QString &root) -> QString {
             return LinuxPaths(root + QStringLiteral("/Linux")).machineIdentifier();
         },
         [](const QString &root) {
             FakeEngine engine;
             const LinuxPaths paths(root + QStringLiteral("/Linux"));
             EXPECT_EQ(failureOf<VMFailure>(
                           [&] { paths.makeVMConfiguration(LinuxConfiguration::defaults(engine), engine); }),
                       QStringLiteral("Linux 设备标识损坏。"))
                 << "a machine without a readable identifier was configured";
         }},
        {"windows-configuration.json", inRoot("windows-configuration.json"),
         [](const QString &root) {
             const WindowsModel windows(root);
             EXPECT_EQ(windows.configuration(), WindowsConfiguration{}.validated());
         }},
        // Both iOS registries are read by one reader; its message for each is IOSSnapshotsTest's.
        {"ios-devices.json", inRoot("ios-devices.json"),
         [](const QString &root) {
             const IOSModel ios(root);
             EXPECT_TRUE(ios.owned().isEmpty());
             EXPECT_EQ(ios.error(),
                       QStringLiteral("iOS 设备记录无法读取：不是可读取的普通文件，或大于 8 MB"));
         }},
        {"the component manifest named by CORVANE_ANDROID_MANIFEST", inRoot("mirror.json"),
         [](const QString &root) {
             const QString mirror = root + QStringLiteral("/mirror.json");
             qputenv("CORVANE_ANDROID_MANIFEST", QFile::encodeName(mirror));
             const QString failure = failureOf([] {
                                         SDKPackage::activeManifest();
                                     }).value_or(QStringLiteral("a manifest was read"));
             EXPECT_TRUE(failure.startsWith(mirror + QStringLiteral("："))) << failure.toStdString();
             qunsetenv("CORVANE_ANDROID_MANIFEST");
         }},
        {"global.log", [](const QString &) -> QString { return AppLog::file(); },
         [](const QString &) {
             // A log that large is still a log: its tail is shown, and no more than its tail.
             const bool huge = QFileInfo(AppLog::file()).isFile();
             const QString tail = AppLog::readTail(AppLog::displayTailBytes);
             EXPECT_EQ(huge ? QString::number(tail.size()) : tail,
                       huge ? QString::number(AppLog::displayTailBytes) : QStringLiteral("暂无全局日志。"));
             const GlobalLogModel view;
             EXPECT_EQ(view.text().size(), tail.size());
         }},
        {"the preferences file", [](const QString &) -> QString { return P::openStore()->fileName(); },
         [](const QString &) {
             const auto store = P::openStore();
             EXPECT_EQ(P::read(*store, P::selectedVMTab), QStringLiteral("windows"));
             EXPECT_EQ(P::read(*store, P::newDeviceCores), 2);
             EXPECT_EQ(P::memoryBudgetMB(*store), 12 * 1024);
         }},
    };
}

TEST(HostileFiles, AnEndlessDeviceAHugeFileOrAFolderReadsAsAnUnreadableFile)
{
#ifndef Q_OS_LINUX
    GTEST_SKIP() << "the address-space cap is measured from /proc";
#endif
    const FakeHost host(8, 16 * FakeHost::GiB);
    // The log's worker thread and its memory exist before the cap, as in the running program.
    LogProbe::reset();
    for (const KeptFile &kept : keptFiles()) {
        for (const auto &[hostile, plant] : hostiles) {
            SCOPED_TRACE(std::string(kept.name) + " as " + hostile);
            QTemporaryDir root;
            const QString path = kept.place(root.path());
            FileIO::removeIfPresent(path);
            ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()) && plant(path));
            withCappedMemory([&] { kept.readAndCheck(root.path()); });
            // The log and the preferences live outside the temporary root.
            FileIO::removeIfPresent(path);
            LogProbe::reset();
        }
    }
}

} // namespace

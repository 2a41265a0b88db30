#include "android/VMPaths.h"
#include "FakeHost.h"
#include "TestFiles.h"
#include "android/VMConfiguration.h"
#include "platform/Error.h"
#include "platform/Host.h"
#include "services/FileIO.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class VMPathsTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString shared = dir.path();
    QString root = dir.filePath(QStringLiteral("instances/A1"));
    VMPaths paths{root + u'/', shared};
};

} // namespace

TEST_F(VMPathsTest, RootsDefaultToTheDataRootRuntimeFilesAreRecognisedAndTheEnvironmentIsOurs)
{
    EXPECT_EQ(VMPaths().root(), Host::dataRoot());
    EXPECT_EQ(VMPaths().sharedRoot(), Host::dataRoot());
    EXPECT_EQ(VMPaths(root).sharedRoot(), root);
    EXPECT_EQ(paths.instanceFolder(QStringLiteral("A1")), root);

    for (const char *name : {"multiinstance.lock", "hardware-qemu.ini.lock", "hardware-qemu.ini",
                             "emu-launch-params.txt", "AVD.conf", "tmpAdbCmds"}) {
        EXPECT_TRUE(VMPaths::isEmulatorRuntimeFile(QString::fromLatin1(name))) << name;
    }
    for (const char *name : {"userdata-qemu.img", "config.ini", "lock", "a.lock.bak", "avd.conf"}) {
        EXPECT_FALSE(VMPaths::isEmulatorRuntimeFile(QString::fromLatin1(name))) << name;
    }

    // The programs' environment keeps ours and overrides the Android variables.
    const ScopedEnv ownSdk("ANDROID_HOME", "/users/own/sdk");
    const ScopedEnv ownServer("ANDROID_ADB_SERVER_PORT", "5037");
    const ScopedEnv probe("CORVANE_PROBE", "kept");
    const QMap<QString, QString> env = paths.environment();
    EXPECT_EQ(env.value(QStringLiteral("CORVANE_PROBE")), QStringLiteral("kept"));
    EXPECT_EQ(env.value(QStringLiteral("HOME")), QDir::homePath());
    EXPECT_EQ(env.value(QStringLiteral("ANDROID_HOME")), shared + QStringLiteral("/sdk"));
    EXPECT_EQ(env.value(QStringLiteral("ANDROID_SDK_ROOT")), shared + QStringLiteral("/sdk"));
    EXPECT_EQ(env.value(QStringLiteral("ANDROID_AVD_HOME")), root + QStringLiteral("/avd"));
    EXPECT_EQ(env.value(QStringLiteral("ANDROID_EMULATOR_HOME")), root + QStringLiteral("/android"));
    EXPECT_EQ(env.value(QStringLiteral("ANDROID_ADB_SERVER_PORT")), QStringLiteral("5038"));
}

TEST_F(VMPathsTest, InstalledNeedsEveryComponentAndTheMarker)
{
    FakeHost host;
    const QString image = shared + QStringLiteral("/sdk/system-images/android-34/default/arm64-v8a/");
    const QStringList required{shared + QStringLiteral("/sdk/emulator/emulator"),
                               shared + QStringLiteral("/sdk/platform-tools/adb"),
                               image + QStringLiteral("system.img"), image + QStringLiteral("kernel-ranchu"),
                               shared + QStringLiteral("/installed.json")};
    for (const QString &file : required) {
        FileIO::createFolder(QFileInfo(file).path());
        FileIO::writeAtomically(file, {});
    }
    EXPECT_TRUE(paths.installed());
    for (const QString &file : required) {
        ASSERT_TRUE(QFile::rename(file, file + QStringLiteral(".away")));
        EXPECT_FALSE(paths.installed()) << file.toStdString();
        ASSERT_TRUE(QFile::rename(file + QStringLiteral(".away"), file));
    }
}

TEST_F(VMPathsTest, CreateDirectoriesStopsAtTheFirstFailure)
{
    paths.createDirectories();
    paths.createDirectories();
    for (const char *folder : {"/avd/Corvane.avd", "/downloads", "/android"}) {
        EXPECT_TRUE(QFileInfo(root + QLatin1StringView(folder)).isDir()) << folder;
    }
    EXPECT_TRUE(QFileInfo(shared + QStringLiteral("/sdk")).isDir());

    // A file where R/avd belongs: R and S/sdk come before it, the rest must not be created.
    const VMPaths blocked(dir.filePath(QStringLiteral("other")), dir.filePath(QStringLiteral("shared")));
    FileIO::createFolder(blocked.root());
    FileIO::writeAtomically(blocked.avdHome(), "not a folder");
    EXPECT_THROW(blocked.createDirectories(), SystemError);
    EXPECT_TRUE(QFileInfo(blocked.sdk()).isDir());
    EXPECT_FALSE(QFileInfo::exists(blocked.downloads()));
    EXPECT_FALSE(QFileInfo::exists(blocked.emulatorHome()));
    EXPECT_EQ(readFile(blocked.avdHome()), QByteArray("not a folder"));
}

TEST_F(VMPathsTest, ConfigureReplacesConfigIniWholeKeepsTheEmulatorsFilesAndStoresValidatedSettings)
{
    FakeHost host(8, 16 * FakeHost::GiB);
    const QString config = root + QStringLiteral("/avd/Corvane.avd/config.ini");
    const QString disk = root + QStringLiteral("/avd/Corvane.avd/userdata-qemu.img");
    FileIO::createFolder(QFileInfo(config).path());
    FileIO::writeAtomically(config, "hw.custom=1\n" + QByteArray(10000, '#'));
    FileIO::writeAtomically(disk, "disk");
    const VMConfiguration settings{2, 2048, QStringLiteral(u"1080 × 1920"), true};
    paths.configure(settings);

    EXPECT_EQ(readFile(config), settings.ini(paths.systemImage()).toUtf8());
    EXPECT_EQ(readFile(root + QStringLiteral("/avd/Corvane.ini")),
              "avd.ini.encoding=UTF-8\npath=" + root.toUtf8() + "/avd/Corvane.avd\ntarget=android-34\n");
    EXPECT_EQ(readFile(disk), QByteArray("disk"));

    // When config.ini cannot be replaced the pointer file is not written either.
    const VMPaths other(dir.filePath(QStringLiteral("other")), shared);
    FileIO::createFolder(other.configIni());
    EXPECT_THROW(other.configure(settings), SystemError);
    EXPECT_FALSE(QFileInfo::exists(other.avdIni()));

    // The settings beside it are stored validated.
    saveConfiguration(paths, {16, 16384, QStringLiteral("720x1280"), true});
    EXPECT_EQ(VMConfiguration::load(root + QStringLiteral("/configuration.json")),
              (VMConfiguration{8, 8192, QStringLiteral(u"720 × 1280"), true}));
    EXPECT_TRUE(QFileInfo(paths.emulatorHome()).isDir());
}

#include "FakeHost.h"
#include "android/VMConfiguration.h"
#include "android/VMPaths.h"
#include "platform/Host.h"
#include "services/Error.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void writeFile(const QString &path, const QByteArray &data = {})
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(data);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class VMPathsTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString root = dir.filePath(QStringLiteral("instances/A1"));
    QString shared = dir.path();
    VMPaths paths{root + u'/', shared};
};

} // namespace

TEST_F(VMPathsTest, DeviceFilesLiveInTheRootAndTheSdkInTheSharedRoot)
{
    EXPECT_EQ(VMPaths().root(), Host::dataRoot());
    EXPECT_EQ(VMPaths().sharedRoot(), Host::dataRoot());
    EXPECT_EQ(VMPaths(root).sharedRoot(), root);

    EXPECT_EQ(paths.avdIni(), root + QStringLiteral("/avd/Corvane.ini"));
    EXPECT_EQ(paths.configIni(), root + QStringLiteral("/avd/Corvane.avd/config.ini"));
    EXPECT_EQ(paths.emulatorHome(), root + QStringLiteral("/android"));
    EXPECT_EQ(paths.licenseRecord(), root + QStringLiteral("/accepted-sdk-license.txt"));
    EXPECT_EQ(paths.systemImage(), shared + QStringLiteral("/sdk/system-images/android-34/default/arm64-v8a"));
    EXPECT_EQ(paths.installedMarker(), shared + QStringLiteral("/installed.json"));
    EXPECT_EQ(paths.instanceFolder(QStringLiteral("A1")), root);

    for (const char *name : {"multiinstance.lock", "hardware-qemu.ini.lock", "hardware-qemu.ini",
                             "emu-launch-params.txt", "AVD.conf", "tmpAdbCmds"}) {
        EXPECT_TRUE(VMPaths::isEmulatorRuntimeFile(QString::fromLatin1(name))) << name;
    }
    for (const char *name : {"userdata-qemu.img", "config.ini", "lock", "a.lock.bak", "avd.conf"}) {
        EXPECT_FALSE(VMPaths::isEmulatorRuntimeFile(QString::fromLatin1(name))) << name;
    }
}

TEST_F(VMPathsTest, InstalledNeedsAllFiveAndTheMarkerLast)
{
    const QStringList required{paths.emulatorExecutable(), paths.adbExecutable(), paths.systemImageFile(),
                               paths.kernelFile(), paths.installedMarker()};
    EXPECT_EQ(required[3], shared + QStringLiteral("/sdk/system-images/android-34/default/arm64-v8a/kernel-ranchu"));
    for (const QString &file : required) {
        writeFile(file);
    }
    EXPECT_TRUE(paths.installed());
    for (const QString &file : required) {
        ASSERT_TRUE(QFile::rename(file, file + QStringLiteral(".away")));
        EXPECT_FALSE(paths.installed()) << file.toStdString();
        ASSERT_TRUE(QFile::rename(file + QStringLiteral(".away"), file));
    }
}

TEST_F(VMPathsTest, EnvironmentKeepsOursAndOverridesTheAndroidVariables)
{
    qputenv("ANDROID_HOME", "/users/own/sdk");
    qputenv("ANDROID_ADB_SERVER_PORT", "5037");
    qputenv("CORVANE_PROBE", "kept");
    const QMap<QString, QString> env = paths.environment();
    qunsetenv("ANDROID_HOME");
    qunsetenv("ANDROID_ADB_SERVER_PORT");
    qunsetenv("CORVANE_PROBE");

    EXPECT_EQ(env.value(QStringLiteral("CORVANE_PROBE")), QStringLiteral("kept"));
    EXPECT_EQ(env.value(QStringLiteral("HOME")), QDir::homePath());
    EXPECT_EQ(env.value(QStringLiteral("ANDROID_HOME")), shared + QStringLiteral("/sdk"));
    EXPECT_EQ(env.value(QStringLiteral("ANDROID_SDK_ROOT")), shared + QStringLiteral("/sdk"));
    EXPECT_EQ(env.value(QStringLiteral("ANDROID_AVD_HOME")), root + QStringLiteral("/avd"));
    EXPECT_EQ(env.value(QStringLiteral("ANDROID_EMULATOR_HOME")), root + QStringLiteral("/android"));
    EXPECT_EQ(env.value(QStringLiteral("ANDROID_ADB_SERVER_PORT")), QStringLiteral("5038"));
}

TEST_F(VMPathsTest, CreateDirectoriesStopsAtTheFirstFailure)
{
    paths.createDirectories();
    paths.createDirectories();
    for (const QString &folder : {paths.sdk(), paths.avdFolder(), paths.downloads(), paths.emulatorHome()}) {
        EXPECT_TRUE(QFileInfo(folder).isDir()) << folder.toStdString();
    }

    const VMPaths blocked(dir.filePath(QStringLiteral("other")), shared);
    writeFile(blocked.avdHome(), "not a folder");
    try {
        blocked.createDirectories();
        FAIL() << "created folders under a file";
    } catch (const SystemError &error) {
        EXPECT_FALSE(error.description().isEmpty());
    }
    EXPECT_TRUE(QFileInfo(blocked.root()).isDir());
    EXPECT_FALSE(QFileInfo::exists(blocked.downloads()));
    EXPECT_FALSE(QFileInfo::exists(blocked.emulatorHome()));
    EXPECT_EQ(readFile(blocked.avdHome()), QByteArray("not a folder"));
}

TEST_F(VMPathsTest, ConfigureReplacesConfigIniWholeAndKeepsTheEmulatorsFiles)
{
    FakeHost host(8, 16 * FakeHost::GiB);
    writeFile(paths.configIni(), "hw.custom=1\n" + QByteArray(10000, '#'));
    writeFile(paths.avdFolder() + QStringLiteral("/userdata-qemu.img"), "disk");
    const VMConfiguration config{2, 2048, QStringLiteral(u"1080 × 1920"), true};
    paths.configure(config);

    EXPECT_EQ(readFile(paths.configIni()), config.ini(paths.systemImage()).toUtf8());
    EXPECT_EQ(readFile(paths.avdIni()),
              "avd.ini.encoding=UTF-8\npath=" + (root + QStringLiteral("/avd/Corvane.avd")).toUtf8()
                  + "\ntarget=android-34\n");
    EXPECT_EQ(readFile(paths.avdFolder() + QStringLiteral("/userdata-qemu.img")), QByteArray("disk"));
    EXPECT_TRUE(QFileInfo(paths.downloads()).isDir());

    // config.ini cannot be replaced: the pointer file must not be written either.
    const VMPaths other(dir.filePath(QStringLiteral("other")), shared);
    QDir().mkpath(other.configIni());
    EXPECT_THROW(other.configure(config), SystemError);
    EXPECT_FALSE(QFileInfo::exists(other.avdIni()));
}

TEST_F(VMPathsTest, SaveConfigurationStoresTheValidatedForm)
{
    FakeHost host(4, 8 * FakeHost::GiB);
    saveConfiguration(paths, {16, 16384, QStringLiteral("720x1280"), true});
    EXPECT_EQ(VMConfiguration::load(paths.configurationFile()),
              (VMConfiguration{4, 4096, QStringLiteral(u"720 × 1280"), true}));
    EXPECT_TRUE(QFileInfo(paths.emulatorHome()).isDir());

    writeFile(dir.filePath(QStringLiteral("plain")));
    EXPECT_THROW(saveConfiguration(VMPaths(dir.filePath(QStringLiteral("plain/dev"))), VMConfiguration{}),
                 SystemError);
}

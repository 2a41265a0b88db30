// What an Android device is on each kind of computer: the image its files name, the components its
// host installs, and a host that cannot run the emulator at all.
#include "ComponentInstallFixture.h"
#include "FakeAndroidSdk.h"
#include "android/SDKPackage.h"
#include "android/VMConfiguration.h"
#include "platform/Error.h"

#include <QSet>

#include <cmath>

namespace {

using Tools::AndroidHost;

struct DeviceFiles
{
    QString image;
    QString ini;
    QStringList arguments;
};

DeviceFiles configureOn(FakeHost &host, AndroidHost kind, const VMPaths &paths)
{
    host.androidHostKind = kind;
    const VMConfiguration settings{2, 2048, QStringLiteral(u"1080 × 1920"), true};
    paths.configure(settings);
    return {paths.systemImage(), QString::fromUtf8(readFile(paths.configIni())), settings.arguments(5580)};
}

} // namespace

TEST(AndroidHostKinds, DeviceFilesNameAndInstallationsCountOnlyTheHostsOwnImage)
{
    FakeHost host;
    QTemporaryDir dir;
    const VMPaths paths(dir.path());
    const DeviceFiles mac = configureOn(host, AndroidHost::MacArm64, paths);
    const DeviceFiles linux = configureOn(host, AndroidHost::LinuxX86_64, paths);

    const QString images = paths.sdk() + QStringLiteral("/system-images/android-34/default/");
    EXPECT_EQ(mac.image, images + QStringLiteral("arm64-v8a"));
    EXPECT_EQ(linux.image, images + QStringLiteral("x86_64"));
    // The same device, but for the image's processor; the Mac's whole file is VMConfigurationTest's.
    EXPECT_EQ(linux.ini,
              QString(mac.ini)
                  .replace(QStringLiteral("\nabi.type=arm64-v8a\n"), QStringLiteral("\nabi.type=x86_64\n"))
                  .replace(QStringLiteral("\nhw.cpu.arch=arm64\n"), QStringLiteral("\nhw.cpu.arch=x86_64\n"))
                  .replace(QStringLiteral("\nimage.sysdir.1=") + mac.image + QStringLiteral("/\n"),
                           QStringLiteral("\nimage.sysdir.1=") + linux.image + QStringLiteral("/\n")));
    EXPECT_EQ(mac.arguments, linux.arguments);

    // Only the host's own image counts as installed.
    host.androidHostKind = AndroidHost::MacArm64;
    ASSERT_TRUE(FakeAndroidSdk::install(paths));
    EXPECT_TRUE(paths.installed());
    host.androidHostKind = AndroidHost::LinuxX86_64;
    EXPECT_FALSE(paths.installed()) << "the arm64 image does not run on an x86-64 emulator";
    ASSERT_TRUE(FakeAndroidSdk::install(paths));
    EXPECT_TRUE(QFileInfo::exists(paths.sdk() +
                                  QStringLiteral("/system-images/android-34/default/x86_64/system.img")));
    EXPECT_TRUE(paths.installed());
}

TEST(AndroidHostKinds, EachHostsBuiltInManifestInstallsWhatItsDevicesRead)
{
    FakeHost host;
    for (const AndroidHost kind : {AndroidHost::MacArm64, AndroidHost::LinuxX86_64}) {
        host.androidHostKind = kind;
        const Tools::AndroidVariant variant = Tools::androidVariant(kind);
        SCOPED_TRACE(variant.abi.toStdString());
        const QList<SDKPackage> packages = SDKPackage::decodeManifest(SDKPackage::builtInManifest());
        const VMPaths paths(QStringLiteral("/data"));
        const QString sdk = paths.sdk() + u'/';
        const QSet<QString> read{QFileInfo(paths.emulatorExecutable()).path().mid(sdk.size()),
                                 QFileInfo(paths.adbExecutable()).path().mid(sdk.size()),
                                 paths.systemImage().mid(sdk.size())};
        QSet<QString> installed;
        qint64 bytes = 0;
        for (const SDKPackage &package : packages) {
            installed << package.destination;
            bytes += package.size;
            if (package.destination == paths.systemImage().mid(sdk.size())) {
                EXPECT_EQ(package.source, variant.abi);
                EXPECT_TRUE(package.archiveName().startsWith(variant.abi + QStringLiteral("-34_")))
                    << package.url.toStdString();
            }
        }
        EXPECT_EQ(installed, read);
        // The pages promise "约下载 1.1GB".
        EXPECT_EQ(std::lround(double(bytes) / 1e8), 11) << bytes;
    }
    host.androidHostKind = AndroidHost::LinuxX86_64;
    EXPECT_TRUE(SDKPackage::builtInManifest().contains("x86_64-34_r04.zip"));

    for (const AndroidHost kind : {AndroidHost::LinuxArm64, AndroidHost::Other}) {
        host.androidHostKind = kind;
        const std::optional<QString> refusal = failureOf<VMFailure>([] { SDKPackage::builtInManifest(); });
        EXPECT_EQ(refusal, Tools::androidVariant(kind).refusal)
            << "a manifest for a host no emulator runs on";
        EXPECT_FALSE(refusal.value_or(QString()).isEmpty());
    }
}

TEST_F(ComponentInstallTest, AnArmLinuxHostIsRefusedBeforeAnythingIsDownloaded)
{
    host.androidHostKind = AndroidHost::LinuxArm64;
    VMModel &android = device(manifest());
    android.installation().requestInstall();
    EXPECT_FALSE(android.installation().showLicense()) << "no licence to accept for what cannot be installed";
    ASSERT_TRUE(waitUntil([&] { return !android.busy(); }, 10000));

    const QString refusal =
        QStringLiteral("Google 没有发布可在 ARM64 Linux 电脑上运行的安卓模拟器，无法在本机安装安卓环境。");
    EXPECT_EQ(android.error(), refusal);
    EXPECT_EQ(android.status(), QStringLiteral("安装未完成"));
    EXPECT_FALSE(android.installed());
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(android.paths().downloads()));
    EXPECT_FALSE(QFileInfo::exists(android.paths().licenseRecord()));
    EXPECT_TRUE(LogProbe::text().trimmed().endsWith(QStringLiteral("[ERROR] [Android] 安卓环境安装失败：") +
                                                    refusal));

    // Agreeing to the licence on another path changes nothing.
    android.installation().setLicenseChecked(true);
    await(android.installation().install());
    EXPECT_EQ(android.error(), refusal);
    EXPECT_TRUE(server.requests().isEmpty());
}

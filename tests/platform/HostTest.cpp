#include "platform/Host.h"
#include "FakeHost.h"
#include "TestFiles.h"
#include "platform/Error.h"
#include "platform/Tools.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

TEST(Host, DataLivesUnderTheSandboxedDataFolderAndTheRealFactsAreSane)
{
    const QString home = QDir::homePath();
    EXPECT_TRUE(Host::dataRoot().startsWith(home)) << Host::dataRoot().toStdString();
    EXPECT_TRUE(Host::dataRoot().endsWith(QStringLiteral("/CorvaneBeta")));
    EXPECT_TRUE(Host::vphoneRoot().endsWith(QStringLiteral("/Corvane")));
    EXPECT_EQ(QFileInfo(Host::dataRoot()).path(), QFileInfo(Host::vphoneRoot()).path());

    const Host &host = Host::current();
    EXPECT_GE(host.activeProcessorCount(), 1);
    EXPECT_GT(host.physicalMemory(), qint64(256) << 20);
    // A folder that does not exist yet reports its nearest existing ancestor's volume.
    EXPECT_GT(host.availableCapacity(QDir::homePath() + QStringLiteral("/not/yet/there")), 0);
#ifdef Q_OS_LINUX
    // This Linux machine is the kind its processor makes it.
    const QString processor = QSysInfo::currentCpuArchitecture();
    if (processor == QLatin1String("x86_64")) {
        EXPECT_EQ(host.androidHost(), Tools::AndroidHost::LinuxX86_64);
    } else if (processor == QLatin1String("arm64")) {
        EXPECT_EQ(host.androidHost(), Tools::AndroidHost::LinuxArm64);
    } else {
        EXPECT_EQ(host.androidHost(), Tools::AndroidHost::Other) << processor.toStdString();
    }
    EXPECT_EQ(host.kvmDevice(), QStringLiteral("/dev/kvm"));
#endif
}

TEST(AndroidHost, KvmAdviceSaysWhatTheUserMustDoAboutTheDevice)
{
    QTemporaryDir dir;
    const QString device = dir.filePath(QStringLiteral("kvm"));

    EXPECT_EQ(
        Tools::kvmAdvice(device),
        QStringLiteral("未找到 ") + device +
            QStringLiteral("：请在电脑的固件（BIOS/UEFI）设置中开启虚拟化（Intel VT-x 或 AMD-V）后重启；"
                           "若仍无权使用，请把当前用户加入 kvm 组并重新登录。"));

    ASSERT_TRUE(writeFile(device, {}));
    EXPECT_EQ(Tools::kvmAdvice(device), QString());
    if (::geteuid() == 0) {
        GTEST_SKIP()
            << "as root every device is readable and writable; the forbidden case needs another user";
    }
    ASSERT_TRUE(QFile::setPermissions(device, QFileDevice::ReadOwner));
    const QString forbidden = Tools::kvmAdvice(device);
    EXPECT_TRUE(forbidden.startsWith(QStringLiteral("当前用户无权读写 ") + device))
        << forbidden.toStdString();
    EXPECT_TRUE(forbidden.contains(QStringLiteral("加入 kvm 组")));
    EXPECT_FALSE(forbidden.contains(QStringLiteral("BIOS")));
}

TEST(Host, TheDesktopsAnimationSwitchIsFollowedAsItsFilesChange)
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString kde = config + QStringLiteral("/kdeglobals");
    const QString gtk = config + QStringLiteral("/gtk-3.0/settings.ini");
    const Host &host = Host::current();
    EXPECT_FALSE(host.reduceMotion());
    ASSERT_TRUE(writeFile(kde, "[KDE]\nAnimationDurationFactor=0\n"));
    EXPECT_TRUE(host.reduceMotion());
    ASSERT_TRUE(writeFile(kde, "[KDE]\nAnimationDurationFactor=1.5\n"));
    EXPECT_FALSE(host.reduceMotion());
    ASSERT_TRUE(writeFile(gtk, "[Settings]\ngtk-enable-animations=false\n"));
    EXPECT_TRUE(host.reduceMotion());
    QFile::remove(gtk);
    QFile::remove(kde);
    EXPECT_FALSE(host.reduceMotion());
}

TEST(Host, RevealFolderMakesTheFolderFirstAndMoveToTrashRemovesTheFileOrSaysWhy)
{
    FakeHost fake;
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("snapshots/linux"));
    EXPECT_TRUE(Host::current().revealFolder(folder));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    // An existing folder is opened as it is, its content untouched.
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/kept"), "k"));
    EXPECT_TRUE(Host::current().revealFolder(folder));
    EXPECT_EQ(readFile(folder + QStringLiteral("/kept")), "k");
    EXPECT_EQ(fake.opened(), (QList<QUrl>{QUrl::fromLocalFile(folder), QUrl::fromLocalFile(folder)}));

    const QString path = dir.filePath(QStringLiteral("doomed.txt"));
    ASSERT_TRUE(writeFile(path, "x"));
    Host::current().moveToTrash(path);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_THROW(Host::current().moveToTrash(dir.filePath(QStringLiteral("missing"))), SystemError);
}

#ifdef Q_OS_LINUX
TEST(Tools, AMissingToolIsTracedToTheDebianPackageThatShipsIt)
{
    const QStringList paths{Tools::clone({}, {}).program,
                            Tools::openFilesProbe({}).program,
                            Tools::unpackArchive({}, {}).program,
                            Tools::listDiscImage({}).program,
                            Tools::qemu(),
                            Tools::qemuFirmwareCode(),
                            Tools::qemuFirmwareVariables()};
    int confirmed = 0;
    for (const QString &path : paths) {
        const QString package = Tools::providingPackage(path);
        ASSERT_FALSE(package.isEmpty()) << path.toStdString();
        EXPECT_EQ(Tools::installAdvice(path),
                  QStringLiteral("请安装 Debian 软件包 ") + package + QStringLiteral(" 后重试。"));
        // Where the tool is installed here, the package database must name the same package.
        QProcess owner;
        owner.start(QStringLiteral("/usr/bin/dpkg-query"), {QStringLiteral("-S"), path});
        if (owner.waitForFinished() && owner.exitStatus() == QProcess::NormalExit && owner.exitCode() == 0) {
            const QString line = QString::fromUtf8(owner.readAllStandardOutput()).trimmed();
            EXPECT_EQ(line.section(QStringLiteral(": "), 0, 0).section(u':', 0, 0), package)
                << line.toStdString();
            ++confirmed;
        }
    }
    EXPECT_GT(confirmed, 0) << "no tool could be checked against the package database";
    EXPECT_EQ(Tools::providingPackage(QStringLiteral("/usr/local/bin/unzip")), QString());
    EXPECT_EQ(Tools::installAdvice(QStringLiteral("/nonexistent/tool")), QString());
}
#endif

#ifdef Q_OS_LINUX
TEST(Host, AWindowNeedsOneOfTheDisplayVariables)
{
    const ScopedEnv display("DISPLAY", std::nullopt);
    const ScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);
    const ScopedEnv platform("QT_QPA_PLATFORM", std::nullopt);
    EXPECT_FALSE(Host::displayAvailable());
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const ScopedEnv set(name, "x");
        EXPECT_TRUE(Host::displayAvailable()) << name;
    }
}
#endif

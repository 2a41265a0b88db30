#include "TestFiles.h"
#include "platform/Host.h"
#include "platform/Tools.h"

#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#ifdef Q_OS_LINUX
TEST(AndroidHost, ThisLinuxMachineIsTheKindItsProcessorMakesIt)
{
    const Host &host = Host::current();
    const QString processor = QSysInfo::currentCpuArchitecture();
    if (processor == QLatin1String("x86_64")) {
        EXPECT_EQ(host.androidHost(), Tools::AndroidHost::LinuxX86_64);
    } else if (processor == QLatin1String("arm64")) {
        EXPECT_EQ(host.androidHost(), Tools::AndroidHost::LinuxArm64);
    } else {
        EXPECT_EQ(host.androidHost(), Tools::AndroidHost::Other) << processor.toStdString();
    }
    EXPECT_EQ(host.kvmDevice(), QStringLiteral("/dev/kvm"));
}
#endif

TEST(AndroidHost, KvmAdviceSaysWhatTheUserMustDoAboutTheDevice)
{
    QTemporaryDir dir;
    const QString device = dir.filePath(QStringLiteral("kvm"));

    const QString missing = Tools::kvmAdvice(device);
    EXPECT_TRUE(missing.startsWith(QStringLiteral("未找到 ") + device)) << missing.toStdString();
    EXPECT_TRUE(missing.contains(QStringLiteral("固件（BIOS/UEFI）设置中开启虚拟化")));
    EXPECT_TRUE(missing.contains(QStringLiteral("加入 kvm 组并重新登录")));
    EXPECT_FALSE(missing.contains(u'\n'));

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

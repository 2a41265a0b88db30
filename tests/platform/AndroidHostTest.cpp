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

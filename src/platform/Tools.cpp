#include "platform/Tools.h"

#include <QHash>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace Tools {

AndroidVariant androidVariant(AndroidHost host)
{
    const QString arm64Abi = QStringLiteral("arm64-v8a");
    switch (host) {
    case AndroidHost::MacArm64:
        return {arm64Abi,
                QStringLiteral("arm64"),
                QStringLiteral("ARM64"),
                QStringLiteral(":/android/packages-macos-arm64.json"),
                {},
                false};
    case AndroidHost::LinuxX86_64:
        return {QStringLiteral("x86_64"),
                QStringLiteral("x86_64"),
                QStringLiteral("x86_64"),
                QStringLiteral(":/android/packages-linux-x64.json"),
                {},
                true};
    case AndroidHost::LinuxArm64:
        return {arm64Abi,
                QStringLiteral("arm64"),
                QStringLiteral("ARM64"),
                {},
                QStringLiteral(
                    "Google 没有发布可在 ARM64 Linux 电脑上运行的安卓模拟器，无法在本机安装安卓环境。"),
                true};
    case AndroidHost::Other:
        break;
    }
    return {
        arm64Abi,
        QStringLiteral("arm64"),
        QStringLiteral("ARM64"),
        {},
        QStringLiteral("本机的系统或处理器不受支持，无法安装安卓环境：安卓模拟器只能装在 Apple 芯片的 Mac 或 "
                       "x86-64 的 Linux 电脑上。"),
        false};
}

QString kvmAdvice(const QString &device)
{
    const QByteArray path = device.toLocal8Bit();
    struct stat info
    {
    };
    if (::stat(path.constData(), &info) != 0 && errno == ENOENT) {
        return QStringLiteral("未找到 %1：请在电脑的固件（BIOS/UEFI）设置中开启虚拟化（Intel VT-x 或 AMD-V）"
                              "后重启；若仍无权使用，请把当前用户加入 kvm 组并重新登录。")
            .arg(device);
    }
    // The emulator opens the device for reading and writing; membership of its group is what grants that.
    if (::access(path.constData(), R_OK | W_OK) != 0) {
        return QStringLiteral("当前用户无权读写 %1：请把当前用户加入 kvm 组（sudo usermod -aG kvm $USER），"
                              "然后注销并重新登录。")
            .arg(device);
    }
    return {};
}

ToolCommand clone(const QString &source, const QString &destination)
{
#ifdef Q_OS_MACOS
    return {QStringLiteral("/bin/cp"), {QStringLiteral("-cR"), source, destination}};
#else
    return {QStringLiteral("/bin/cp"),
            {QStringLiteral("--reflink=always"), QStringLiteral("-R"), source, destination}};
#endif
}

ToolCommand openFilesProbe(const QString &folder)
{
#ifdef Q_OS_MACOS
    return {QStringLiteral("/usr/sbin/lsof"), {QStringLiteral("-t"), QStringLiteral("+D"), folder}};
#else
    return {QStringLiteral("/usr/bin/lsof"), {QStringLiteral("-t"), QStringLiteral("+D"), folder}};
#endif
}

ToolCommand unpackArchive(const QString &archive, const QString &destination)
{
#ifdef Q_OS_MACOS
    return {QStringLiteral("/usr/bin/ditto"),
            {QStringLiteral("-x"), QStringLiteral("-k"), archive, destination}};
#else
    return {QStringLiteral("/usr/bin/unzip"),
            {QStringLiteral("-q"), archive, QStringLiteral("-d"), destination}};
#endif
}

ToolCommand listDiscImage(const QString &image)
{
    // -spd and "--": the name is a file, never a pattern (* and ?), a switch or a list file (@).
    return {
        QStringLiteral("/usr/bin/7zz"),
        {QStringLiteral("l"), QStringLiteral("-slt"), QStringLiteral("-spd"), QStringLiteral("--"), image}};
}

QString xcrun()
{
    return QStringLiteral("/usr/bin/xcrun");
}

QString open()
{
    return QStringLiteral("/usr/bin/open");
}

QString hdiutil()
{
    return QStringLiteral("/usr/bin/hdiutil");
}

QString csrutil()
{
    return QStringLiteral("/usr/bin/csrutil");
}

QString qemu()
{
#ifdef Q_OS_MACOS
    return QStringLiteral("/opt/homebrew/bin/qemu-system-aarch64");
#else
    return QStringLiteral("/usr/bin/qemu-system-aarch64");
#endif
}

QStringList qemuCandidates()
{
#ifdef Q_OS_MACOS
    // Homebrew on Apple silicon, on Intel, MacPorts
    return {qemu(), QStringLiteral("/usr/local/bin/qemu-system-aarch64"),
            QStringLiteral("/opt/local/bin/qemu-system-aarch64")};
#else
    return {qemu(), QStringLiteral("/usr/local/bin/qemu-system-aarch64")};
#endif
}

QString qemuAccelerator()
{
#if defined(Q_OS_MACOS) && defined(Q_PROCESSOR_ARM_64)
    return QStringLiteral("hvf");
#elif defined(Q_OS_LINUX) && defined(Q_PROCESSOR_ARM_64)
    return ::access("/dev/kvm", R_OK | W_OK) == 0 ? QStringLiteral("kvm") : QStringLiteral("tcg");
#else
    // An aarch64 guest on another processor can only be emulated.
    return QStringLiteral("tcg");
#endif
}

QString qemuFirmwareCode()
{
#ifdef Q_OS_MACOS
    return QStringLiteral("/opt/homebrew/share/qemu/edk2-aarch64-code.fd");
#else
    return QStringLiteral("/usr/share/AAVMF/AAVMF_CODE.fd");
#endif
}

QString qemuFirmwareVariables()
{
#ifdef Q_OS_MACOS
    return QStringLiteral("/opt/homebrew/share/qemu/edk2-arm-vars.fd");
#else
    return QStringLiteral("/usr/share/AAVMF/AAVMF_VARS.fd");
#endif
}

QString terminal()
{
#ifdef Q_OS_MACOS
    return QStringLiteral("/System/Applications/Utilities/Terminal.app");
#else
    return QStringLiteral("/usr/bin/x-terminal-emulator");
#endif
}

QString providingPackage(const QString &path)
{
#ifdef Q_OS_LINUX
    // Keyed by the paths above, so a tool that moves keeps its package.
    static const QHash<QString, QString> packages{
        {clone({}, {}).program, QStringLiteral("coreutils")},
        {openFilesProbe({}).program, QStringLiteral("lsof")},
        {unpackArchive({}, {}).program, QStringLiteral("unzip")},
        {listDiscImage({}).program, QStringLiteral("7zip")},
        {qemu(), QStringLiteral("qemu-system-arm")},
        {qemuFirmwareCode(), QStringLiteral("qemu-efi-aarch64")},
        {qemuFirmwareVariables(), QStringLiteral("qemu-efi-aarch64")},
    };
    return packages.value(path);
#else
    Q_UNUSED(path);
    return {};
#endif
}

QString installAdvice(const QString &path)
{
    const QString package = providingPackage(path);
    return package.isEmpty() ? QString() : QStringLiteral("请安装 Debian 软件包 %1 后重试。").arg(package);
}

} // namespace Tools

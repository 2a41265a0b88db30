#include "platform/Tools.h"

#include <QHash>

namespace Tools {

ToolCommand clone(const QString &source, const QString &destination)
{
#ifdef Q_OS_MACOS
    return {QStringLiteral("/bin/cp"), {QStringLiteral("-cR"), source, destination}};
#else
    return {QStringLiteral("/bin/cp"), {QStringLiteral("--reflink=always"), QStringLiteral("-R"), source, destination}};
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
    return {QStringLiteral("/usr/bin/ditto"), {QStringLiteral("-x"), QStringLiteral("-k"), archive, destination}};
#else
    return {QStringLiteral("/usr/bin/unzip"), {QStringLiteral("-q"), archive, QStringLiteral("-d"), destination}};
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

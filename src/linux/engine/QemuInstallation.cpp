#include "linux/engine/QemuInstallation.h"

#include "platform/Error.h"
#include "platform/Tools.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

bool isFlashImage(const QString &path)
{
    const QFileInfo file(path);
    return file.isFile() && file.size() == QemuInstallation::flashSize;
}

bool isProgram(const QString &path)
{
    const QFileInfo file(path);
    return file.isFile() && file.isExecutable();
}

struct FirmwarePair
{
    QString code;
    QString variables;
};

QList<FirmwarePair> firmwareCandidates(const QString &program)
{
    // Upstream and Homebrew install the firmware beside the program's own data.
    const QString share = QFileInfo(program).absoluteDir().absoluteFilePath(QStringLiteral("../share/qemu"));
    return {
        {share + QStringLiteral("/edk2-aarch64-code.fd"), share + QStringLiteral("/edk2-arm-vars.fd")},
        // This system's own package: Debian's and Ubuntu's qemu-efi-aarch64, Homebrew's qemu
        {Tools::qemuFirmwareCode(), Tools::qemuFirmwareVariables()},
        // Fedora (edk2-aarch64)
        {QStringLiteral("/usr/share/edk2/aarch64/QEMU_EFI-pflash.raw"),
         QStringLiteral("/usr/share/edk2/aarch64/vars-template-pflash.raw")},
        // Arch Linux (edk2-aarch64)
        {QStringLiteral("/usr/share/edk2/aarch64/QEMU_CODE.fd"),
         QStringLiteral("/usr/share/edk2/aarch64/QEMU_VARS.fd")},
        {QStringLiteral("/usr/share/qemu/edk2-aarch64-code.fd"),
         QStringLiteral("/usr/share/qemu/edk2-arm-vars.fd")},
    };
}

} // namespace

bool QemuInstallation::isUsable() const
{
    return isProgram(program) && isFlashImage(firmwareCode) && isFlashImage(firmwareVariables);
}

void QemuInstallation::requireUsable() const
{
    // Where nothing was found, the place this system's own package would have put it is named.
    const auto refuse = [](const QString &what, const QString &found, const QString &packaged) {
        const QString path = found.isEmpty() ? packaged : found;
        throw VMFailure(QStringLiteral("找不到可用的 %1：%2。").arg(what, QDir::toNativeSeparators(path)) +
                        Tools::installAdvice(path));
    };
    if (!isProgram(program)) {
        refuse(QStringLiteral("QEMU（qemu-system-aarch64）"), program, Tools::qemu());
    }
    if (!isFlashImage(firmwareCode)) {
        refuse(QStringLiteral("AArch64 UEFI 固件"), firmwareCode, Tools::qemuFirmwareCode());
    }
    if (!isFlashImage(firmwareVariables)) {
        refuse(QStringLiteral("AArch64 UEFI 固件的变量存储模板"), firmwareVariables,
               Tools::qemuFirmwareVariables());
    }
}

QemuInstallation QemuInstallation::locate()
{
    QemuInstallation found;
    found.accelerator = Tools::qemuAccelerator();
    const QStringList programs = Tools::qemuCandidates();
    for (const QString &program : programs) {
        if (isProgram(program)) {
            found.program = program;
            break;
        }
    }
    for (const FirmwarePair &pair :
         firmwareCandidates(found.program.isEmpty() ? Tools::qemu() : found.program)) {
        if (isFlashImage(pair.code) && isFlashImage(pair.variables)) {
            found.firmwareCode = QDir::cleanPath(pair.code);
            found.firmwareVariables = QDir::cleanPath(pair.variables);
            break;
        }
    }
    return found;
}

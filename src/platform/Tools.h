#pragma once

#include <QString>
#include <QStringList>

/** An outside program addressed by absolute path, with the arguments to pass it one by one. */
struct ToolCommand
{
    QString program;
    QStringList arguments;
};

/**
 * The outside programs this system drives, as each operating system names and calls them, and
 * which Android emulator build each kind of computer can run. Nothing here consults the search
 * path or a shell.
 */
namespace Tools {

/** The kinds of computer that decide which Android emulator and system image can run. */
enum class AndroidHost {
    /** Apple silicon: the arm64-v8a image under the platform's own hypervisor. */
    MacArm64,
    /** The x86_64 image under KVM. */
    LinuxX86_64,
    /** Google publishes no emulator for it. */
    LinuxArm64,
    /** A system or processor no component list is shipped for. */
    Other,
};

/** The Android system image a host runs and where its components come from. */
struct AndroidVariant
{
    /** The image's ABI: its folder under system-images/android-34/default and the AVD's abi.type. */
    QString abi;
    /** The AVD's hw.cpu.arch. */
    QString cpuArch;
    /** How texts name the image's architecture ("Android 14 ARM64 系统"). */
    QString architectureName;
    /** The built-in component manifest; empty where nothing can be installed. */
    QString manifestResource;
    /** Why nothing can be installed, in Chinese; empty exactly when there is a manifest. */
    QString refusal;
    /** Whether the emulator accelerates through /dev/kvm here. */
    bool usesKvm = false;
};

AndroidVariant androidVariant(AndroidHost host);

/**
 * One line telling the user how to make the KVM device at `device` usable, for after an emulator
 * that refused to start; empty when the device exists and this user may read and write it.
 */
QString kvmAdvice(const QString &device);

/** Copy-on-write clone of a folder; fails where the volume cannot clone, never copies in full. */
ToolCommand clone(const QString &source, const QString &destination);
/** Lists the processes holding any file under `folder` open (exit 1 when there are none). */
ToolCommand openFilesProbe(const QString &folder);
/** Unpacks a zip archive into `destination`, keeping permissions and links. */
ToolCommand unpackArchive(const QString &archive, const QString &destination);
/** Lists a disc image read-only, for the Windows installer checks on systems without hdiutil. */
ToolCommand listDiscImage(const QString &image);

QString xcrun();
QString open();
QString hdiutil();
QString csrutil();
QString qemu();
/** Where QEMU may be installed, the system's own package first. */
QStringList qemuCandidates();
/** QEMU's accelerator for an AArch64 guest here: the system's hypervisor where it can run one, else "tcg". */
QString qemuAccelerator();
/** The UEFI firmware this system packages for AArch64 guests: the code image and its empty variable store. */
QString qemuFirmwareCode();
QString qemuFirmwareVariables();
QString terminal();

/**
 * The package that provides the program or file at `path` on this system (a Debian package on
 * Linux); empty where the system has no package manager to name or the path is not one of ours.
 */
QString providingPackage(const QString &path);
/** One sentence telling the user what to install to get `path`; empty when providingPackage() is. */
QString installAdvice(const QString &path);

} // namespace Tools

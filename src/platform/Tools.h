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
 * The outside programs this system drives, as each operating system names and calls them.
 * Nothing here consults the search path or a shell.
 */
namespace Tools {

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

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
QString terminal();

} // namespace Tools

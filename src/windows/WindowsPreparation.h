#pragma once

#include "platform/Host.h"
#include "platform/Tools.h"

#include <QCoroTask>
#include <QString>
#include <QStringList>

/**
 * Read-only checks of a Windows 11 ARM64 installation ISO, and the free-space measure used when a
 * machine is built. Nothing here hashes or writes the image.
 */
namespace WindowsPreparation {

/** How an image is looked into: attached with hdiutil (macOS) or listed by 7-Zip without mounting. */
struct Inspection
{
    enum class Method { Attach, List };

    Method method = Host::attachesDiscImages() ? Method::Attach : Method::List;
    QString hdiutil = Tools::hdiutil();
    /** Where the temporary mount points go; the user's temporary folder when empty. */
    QString temporaryFolder;
};

/** The failure message for anything that is not a complete, readable .iso file. */
QString incompleteFileMessage();

/**
 * Throws VMFailure unless `iso` ends in ".iso" (any case), is a readable regular file and is larger
 * than 1 MiB. Never opens the image beyond asking for its size.
 */
void checkFile(const QString &iso);

/** Completes when the image passes every check; throws VMFailure or SystemError otherwise. */
QCoro::Task<> inspectISO(QString iso, Inspection inspection = Inspection());

/** Checks the installer files under a mounted image's root. */
void validateInstaller(const QString &mountPoint);
/** The same checks against an image's listing, ignoring case as the Mac's volumes do. */
void validateListing(const QStringList &paths);
/**
 * The entry paths in the output of `7zz l -slt`, without the archive's own header. Throws VMFailure
 * when the output lists more than one archive.
 */
QStringList listedPaths(const QString &output);

/** The visible regular files in `directory` whose extension is "iso" (any case), sorted by name. */
QStringList isoCandidates(const QString &directory);

/**
 * Free bytes for a new file at `path`, measured on the volume of its nearest existing ancestor.
 * Throws VMFailure when no volume can be found or measured.
 */
qint64 availableSpace(const QString &path);

} // namespace WindowsPreparation

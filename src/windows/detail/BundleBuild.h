#pragma once

#include "windows/WindowsConfiguration.h"

#include <QString>

#include <optional>

/**
 * Writing a UTM bundle: runs on a worker thread and touches only files and the request, never a model.
 * The bundle grows in a hidden folder beside the target and is renamed into place only when complete.
 */
namespace BundleBuild {

struct Request
{
    /** UTM's secure-boot variables, copied as the machine's own. */
    QString firmware;
    QString iso;
    /** Already validated. */
    WindowsConfiguration configuration;
    /** The ".utm" folder to create; must not exist. */
    QString target;
};

/** Builds the bundle. Failures come back as their description, because futures carry only QExceptions. */
std::optional<QString> run(const Request &request);

/** Bytes of free space the build needs for this disk size and ISO. */
qint64 requiredSpace(qint64 diskGB, qint64 isoBytes);

/** Copies a file to a new path, keeping holes as holes; never replaces an existing file. */
void copyFile(const QString &from, const QString &to);

/** Renames a folder into place; refuses with VMFailure when anything has appeared at `to`. */
void moveIntoPlace(const QString &from, const QString &to);

} // namespace BundleBuild

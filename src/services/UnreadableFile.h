#pragma once

#include <QString>

/** What becomes of a kept file the program cannot read, before anything is written in its place. */
namespace UnreadableFile {

/**
 * Renames whatever stands at `path` (a file, a folder, a link) to a new "<name>.unreadable-<UTC time>"
 * beside it, so the write that follows cannot destroy what it held, and logs a warning under
 * `category`: `message` followed by the new name. Nothing at `path` is nothing to do. Throws
 * SystemError when the rename fails.
 */
void setAside(const QString &path, const QString &category, const QString &message);

} // namespace UnreadableFile

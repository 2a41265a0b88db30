#pragma once

#include <QString>

#include <optional>

/**
 * Symbolic links that an unpacked archive brought along. The installer moves and writes inside what it
 * unpacked; a link leading elsewhere would carry those writes, or the emulator's, out of the SDK folder.
 */
namespace ArchiveLinks {

/**
 * Where `path` leads once every link on the way is followed, as the kernel would follow it; parts
 * that do not exist are taken as written. None when the links loop or nest too deeply to follow.
 */
std::optional<QString> resolve(const QString &path);

/**
 * The first symbolic link under `folder` (absolute path, the link itself) whose target leads outside
 * `boundary`; none when every link stays inside. Links are checked, never descended into.
 */
std::optional<QString> firstLeaving(const QString &folder, const QString &boundary);

} // namespace ArchiveLinks

#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace LogTail {

/**
 * The last `count` bytes of the regular file at `path` (links followed); none when it cannot be
 * opened or is not a regular file. At most `count` bytes are read however large the file is, and a
 * pipe or device in the file's place is refused without waiting on it.
 */
std::optional<QByteArray> read(const QString &path, qint64 count);

/** The last `count` characters of `text` as a reader counts them: a pair or a combined sign stays whole. */
QString lastCharacters(const QString &text, qsizetype count);

} // namespace LogTail

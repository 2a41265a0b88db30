#pragma once

#include <QByteArray>
#include <QString>

/** Small file helpers shared by every model. Failures throw SystemError with the platform's description. */
namespace FileIO {

/** Replaces `path` with `data` as one complete new file, so a crash leaves the old file or the new one. */
void writeAtomically(const QString &path, const QByteArray &data);
/** Creates `path` and its missing parents; an existing folder is fine. */
void createFolder(const QString &path);

} // namespace FileIO

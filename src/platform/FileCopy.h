#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <sys/types.h>

/**
 * The system calls that make copying a large file cheap and moving a finished folder safe, where the
 * system offers them. Each says when it could not help, so the caller falls back to plain reads,
 * writes and checks of its own.
 */
namespace FileCopy {

/** Makes `out` share all of `in`'s content copy-on-write; false where the volume or system cannot. */
bool cloneContent(int in, int out);

/**
 * Copies bytes [from, to) of `in` to the same offsets of `out` inside the kernel, `chunk` bytes at a
 * time. Returns the offset it reached: `to` when done, less where the system stopped helping.
 */
off_t copyRangeInKernel(int in, int out, off_t from, off_t to, size_t chunk);

/**
 * Renames `from` to `to` unless something is already at `to` (EEXIST or ENOTEMPTY then). Returns 0
 * or -1 with errno set like rename(2); EINVAL or ENOSYS say the volume or system cannot refuse.
 */
int renameNoReplace(const char *from, const char *to);

/**
 * What tells one version of an open file from another (its device, inode, size, modification and
 * change times), so what was learnt from reading it can be trusted until it changes; empty where the
 * system cannot say.
 */
QByteArray version(int fd);
/** The same for the file at `path`; empty where there is none. */
QByteArray version(const QString &path);

} // namespace FileCopy

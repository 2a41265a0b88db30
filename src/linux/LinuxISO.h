#pragma once

#include <QString>

/** The checks an installer ISO must pass before the Linux machine boots from it. */
namespace LinuxISO {

/**
 * Accepts a regular file larger than 1 MiB with the extension "iso" (any case) whose name does not
 * mark it as an x86 image; throws VMFailure otherwise. The architecture is judged by the name alone,
 * since reading a multi-gigabyte image to find out would stall the caller.
 */
void validateFile(const QString &path);

} // namespace LinuxISO

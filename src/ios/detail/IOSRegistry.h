#pragma once

#include <QByteArray>
#include <QString>

/** File and identifier helpers shared by IOSDevices and IOSSnapshots. */
namespace IOSRegistry {

/** The whole file; throws VMFailure when it is not a regular file or too large to be a registry. */
QByteArray read(const QString &path);

/** simctl's identifier form: 8-4-4-4-12 hexadecimal digits, either case, nothing around them. */
bool isUUID(const QString &text);

} // namespace IOSRegistry

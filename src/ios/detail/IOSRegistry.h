#pragma once

#include <QByteArray>
#include <QString>

/** File and identifier helpers shared by the device and snapshot halves of IOSModel. */
namespace IOSRegistry {

/** The whole file; throws SystemError with the platform's reason. */
QByteArray read(const QString &path);

/**
 * Renames an unreadable registry to a new "<name>.unreadable-<UTC time>" beside it, so the write
 * that follows cannot destroy what it held, and logs where it went. Throws when the rename fails.
 */
void setAside(const QString &path, const QString &category, const QString &message);

/** simctl's identifier form: 8-4-4-4-12 hexadecimal digits, either case, nothing around them. */
bool isUUID(const QString &text);

} // namespace IOSRegistry

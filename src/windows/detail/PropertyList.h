#pragma once

#include <QByteArray>
#include <QVariantMap>

/** Apple's XML property-list format, written for the configuration files other programs read. */
namespace PropertyList {

/**
 * `root` as an XML property list. Values may be strings, booleans, integers, reals, byte arrays,
 * dates, lists and string-keyed maps; anything else throws SystemError.
 */
QByteArray toXml(const QVariantMap &root);

} // namespace PropertyList

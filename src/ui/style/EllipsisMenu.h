#pragma once

class QString;
class QToolButton;

/** The ellipsis that holds a group's less frequent actions. */
namespace EllipsisMenu {

/** The ellipsis symbol as a button that opens its menu, empty until the caller fills it, at once. */
QToolButton *button(const QString &accessibleName);

} // namespace EllipsisMenu

#include "ui/style/EllipsisMenu.h"

#include "ui/style/Symbols.h"

#include <QMenu>
#include <QToolButton>

namespace EllipsisMenu {

QToolButton *button(const QString &accessibleName)
{
    auto *button = new QToolButton;
    button->setMenu(new QMenu(button));
    button->setPopupMode(QToolButton::InstantPopup);
    button->setIcon(Symbols::icon(QStringLiteral("ellipsis.circle")));
    button->setIconSize(QSize(20, 20));
    button->setAutoRaise(true);
    // The symbol itself says "more"; the style's extra arrow would repeat it.
    button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
    button->setAccessibleName(accessibleName);
    return button;
}

} // namespace EllipsisMenu

#pragma once

#include <QList>
#include <QString>

/** The window's tabs: identifiers, titles, order, and where each page sits relative to the selected one. */
namespace Tabs {

struct Tab
{
    QString identifier;
    QString title;
};

/** The tabs in bar order; the experimental phone-tool tab only when `showsBeta`. */
QList<Tab> tabs(bool showsBeta);
/** The title of a tab identifier; any other string unchanged. */
QString tabName(const QString &identifier);
/** The position of `identifier` among the current tabs, or 0 when it is not one of them. */
int tabIndex(const QString &identifier, bool showsBeta);
/** Horizontal shift of a hidden page: one step per tab of distance, at most 92 points. */
double pageOffset(int pageIndex, int selectedIndex, double pageAreaWidth);

} // namespace Tabs

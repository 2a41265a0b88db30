#pragma once

class QMargins;
class QScrollArea;
class QVBoxLayout;
class QWidget;

/** The scrolling that carries a page's content. */
namespace PageScroll {

/** A frameless scroll area over `content`; the page's own background shows through both. */
QScrollArea *bareArea(QWidget *content);

/**
 * Fills `page` with a column that scrolls vertically and never sideways, and returns the column's
 * layout: `margins` around it, the pages' spacing between its entries.
 */
QVBoxLayout *column(QWidget *page, const QMargins &margins);

} // namespace PageScroll

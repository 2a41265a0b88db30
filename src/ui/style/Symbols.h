#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

class QPainter;
class QRectF;

/**
 * The one table from the system-symbol names the pages use to icons. A symbol comes from the desktop's
 * icon theme where that theme has a monochrome ("-symbolic") version of it, else from the drawings
 * shipped with the program; either way it is drawn in the colour of the text it stands beside.
 */
class Symbols
{
public:
    /** Every symbol name the table knows. */
    static QStringList names();
    static bool has(const QString &symbol);
    /** The freedesktop icon name tried first, or an empty string when no theme icon fits. */
    static QString themeName(const QString &symbol);

    /** The symbol in `color`, `size` logical pixels square; a null pixmap for an unknown name. */
    static QPixmap pixmap(const QString &symbol, int size, const QColor &color, qreal devicePixelRatio = 1.0);
    /** Draws the symbol centred in `rect` in `color`. */
    static void paint(QPainter &painter, const QRectF &rect, const QString &symbol, const QColor &color);
    /** An icon that takes the colour of the application's text, faded when disabled. */
    static QIcon icon(const QString &symbol);
};

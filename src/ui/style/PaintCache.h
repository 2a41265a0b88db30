#pragma once

#include <QRectF>
#include <QString>

#include <functional>

class QPainter;

/**
 * Draws a shape that looks the same on every paint (a card's or a group box's rounded panel) from a
 * picture made once per look, size and pixel ratio. Besides saving the outline's stroking, a picture
 * drawn unscaled is blended on the painting thread itself, whereas Qt's raster engine hands every
 * translucent fill taller than about a hundred rows to worker threads and waits for them: a wait that
 * a busy machine stretches into a visible stall.
 */
namespace PaintCache {

/**
 * Draws what `paint` draws into `rect`, from the cache when `look` (everything the drawing depends on
 * besides the size) was drawn at this size before. Under a rotating or scaling painter it simply
 * paints.
 */
void draw(QPainter &painter, const QRectF &rect, const QString &look,
          const std::function<void(QPainter &, const QRectF &)> &paint);

} // namespace PaintCache

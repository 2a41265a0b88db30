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
 * Where a shape stops changing: beyond `corner` from its sides a panel is the same all along, so its
 * picture needs only the corners and a strip of middle, stretched to any size. A page-sized picture
 * would cost a page of fresh memory and a page of blending each time the cache dropped it.
 */
struct Stretch
{
    /** How far the corners reach in from each side; 0 keeps the picture at the shape's own size. */
    qreal corner = 0;
    /** Whether the middle is the same down the columns too (not under a top-to-bottom gradient). */
    bool vertically = true;
};

/**
 * Draws what `paint` draws into `rect`, from the cache when `look` (everything the drawing depends on
 * besides the size) was drawn at this size before. Under a rotating or scaling painter it simply
 * paints.
 */
void draw(QPainter &painter, const QRectF &rect, const QString &look, Stretch stretch,
          const std::function<void(QPainter &, const QRectF &)> &paint);

} // namespace PaintCache

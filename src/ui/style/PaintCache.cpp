#include "ui/style/PaintCache.h"

#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>

namespace PaintCache {

namespace {

// Wide enough that no sampling at its ends reaches a corner.
constexpr int middleStrip = 4;

/** One band of the picture and where it lands: in whole logical pixels on the page. */
struct Band
{
    int target;
    int targetLength;
    int source;
    int sourceLength;
};

/** The bands along one side: the whole length, or the two corners and the stretched middle. */
QList<Band> bands(int length, int pictureLength, int corner)
{
    if (pictureLength == length) {
        return {{0, length, 0, length}};
    }
    return {{0, corner, 0, corner},
            {corner, length - 2 * corner, corner, middleStrip},
            {length - corner, corner, pictureLength - corner, corner}};
}

} // namespace

void draw(QPainter &painter, const QRectF &rect, const QString &look, Stretch stretch,
          const std::function<void(QPainter &, const QRectF &)> &paint)
{
    if (painter.worldTransform().type() > QTransform::TxTranslate || rect.isEmpty()) {
        paint(painter, rect);
        return;
    }
    const qreal ratio = painter.device()->devicePixelRatioF();
    // Whole pixels for the picture; the shape keeps its fractional place inside it.
    const QPointF origin = painter.worldTransform().map(rect.topLeft());
    const QPointF whole(std::floor(origin.x()), std::floor(origin.y()));
    const QPointF inside = origin - whole;
    const QSize size = QRectF(inside, rect.size()).toAlignedRect().size();
    const int corner = stretch.corner > 0 ? int(std::ceil(stretch.corner)) + 1 : 0;
    const int shortened = 2 * corner + middleStrip;
    const QSize pictureSize(corner > 0 && size.width() > shortened ? shortened : size.width(),
                            corner > 0 && stretch.vertically && size.height() > shortened ? shortened
                                                                                          : size.height());
    // The shape drawn into the picture is shorter by what the middle gains when stretched, so its
    // edges keep their fractional distance from the picture's.
    const QSizeF shape = rect.size() - QSizeF(size - pictureSize);
    const QString key = QStringLiteral("corvane-shape:%1:%2x%3:%4,%5@%6")
                            .arg(look)
                            .arg(shape.width())
                            .arg(shape.height())
                            .arg(inside.x())
                            .arg(inside.y())
                            .arg(ratio);
    QPixmap picture;
    if (!QPixmapCache::find(key, &picture)) {
        picture = QPixmap((QSizeF(pictureSize) * ratio).toSize());
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        QPainter drawing(&picture);
        drawing.setRenderHints(painter.renderHints());
        paint(drawing, QRectF(inside, shape));
        drawing.end();
        QPixmapCache::insert(key, picture);
    }
    painter.save();
    painter.resetTransform();
    if (pictureSize == size) {
        painter.drawPixmap(whole, picture);
    } else {
        // The middle strip is one colour along its length: nearest-pixel stretching copies it exactly.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        for (const Band &across : bands(size.width(), pictureSize.width(), corner)) {
            for (const Band &down : bands(size.height(), pictureSize.height(), corner)) {
                const QRectF target(whole.x() + across.target, whole.y() + down.target, across.targetLength,
                                    down.targetLength);
                const QRectF source(across.source * ratio, down.source * ratio, across.sourceLength * ratio,
                                    down.sourceLength * ratio);
                painter.drawPixmap(target, picture, source);
            }
        }
    }
    painter.restore();
}

} // namespace PaintCache

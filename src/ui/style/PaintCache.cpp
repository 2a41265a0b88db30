#include "ui/style/PaintCache.h"

#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>

namespace PaintCache {

void draw(QPainter &painter, const QRectF &rect, const QString &look,
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
    const QString key = QStringLiteral("corvane-shape:%1:%2x%3:%4,%5@%6")
                            .arg(look)
                            .arg(rect.width())
                            .arg(rect.height())
                            .arg(inside.x())
                            .arg(inside.y())
                            .arg(ratio);
    QPixmap picture;
    if (!QPixmapCache::find(key, &picture)) {
        picture = QPixmap((QSizeF(size) * ratio).toSize());
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        QPainter drawing(&picture);
        drawing.setRenderHints(painter.renderHints());
        paint(drawing, QRectF(inside, rect.size()));
        drawing.end();
        QPixmapCache::insert(key, picture);
    }
    painter.save();
    painter.resetTransform();
    painter.drawPixmap(whole, picture);
    painter.restore();
}

} // namespace PaintCache

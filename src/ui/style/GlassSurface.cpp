#include "ui/style/GlassSurface.h"

#include "ui/style/Appearance.h"
#include "ui/style/GlassLook.h"
#include "ui/style/PaintCache.h"

#include <QPainter>
#include <QPainterPath>

GlassSurface::GlassSurface(QWidget *parent)
    : QWidget(parent)
{
    connect(&Appearance::instance(), &Appearance::changed, this, [this] { update(); });
}

void GlassSurface::setSelected(bool selected)
{
    if (m_selected != selected) {
        m_selected = selected;
        update();
    }
}

void GlassSurface::setCapsule(bool capsule)
{
    if (m_capsule != capsule) {
        m_capsule = capsule;
        update();
    }
}

GlassLook GlassSurface::lookFor(const QWidget &widget, bool selected, bool capsule)
{
    GlassLook::State state;
    state.selected = selected;
    state.capsule = capsule;
    state.translucencyAllowed = Appearance::instance().translucencyAllowed();
    state.accent = Appearance::instance().accent();
    return GlassLook::resolve(state, widget.palette());
}

GlassLook GlassSurface::look() const
{
    return lookFor(*this, m_selected, m_capsule);
}

void GlassSurface::paint(QPainter &painter, const QRectF &rect, const GlassLook &look)
{
    const auto colour = [](const QColor &color) { return QString::number(quint64(color.rgba64()), 16); };
    const QString key = QStringLiteral("glass:%1:%2:%3:%4:%5")
                            .arg(look.translucent)
                            .arg(look.radius)
                            .arg(colour(look.fill), colour(look.tint), colour(look.outline));
    // The sheen runs down the surface, so only its width may be stretched.
    const qreal corner = std::min({look.radius, rect.height() / 2, rect.width() / 2}) + 1;
    PaintCache::draw(painter, rect, key, {corner, false}, [&look](QPainter &target, const QRectF &area) {
        const QRectF shape = area.adjusted(0.5, 0.5, -0.5, -0.5);
        const qreal radius = std::min({look.radius, shape.height() / 2, shape.width() / 2});
        QPainterPath path;
        path.addRoundedRect(shape, radius, radius);
        target.save();
        target.setRenderHint(QPainter::Antialiasing);
        target.fillPath(path, look.fill);
        if (look.translucent) {
            // The sheen along the top edge that makes a thin layer read as glass.
            QLinearGradient sheen(shape.topLeft(), shape.bottomLeft());
            sheen.setColorAt(0, QColor(255, 255, 255, 28));
            sheen.setColorAt(0.5, QColor(255, 255, 255, 0));
            target.fillPath(path, sheen);
        }
        if (look.tint.alpha() > 0) {
            target.fillPath(path, look.tint);
        }
        target.setPen(QPen(look.outline, 0.8));
        target.drawPath(path);
        target.restore();
    });
}

void GlassSurface::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, rect(), look());
}

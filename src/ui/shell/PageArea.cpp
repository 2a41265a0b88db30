#include "ui/shell/PageArea.h"

#include "ui/shell/Tabs.h"

#include <QEasingCurve>
#include <QPainter>
#include <QVariantAnimation>

namespace {

// A page at rest elsewhere is drawn a little smaller; it grows to full size as it arrives.
constexpr double restingScale = 0.996;

// The effect renders the whole page off-screen, so a page carries one only while it moves.
void setLook(QWidget *page, double opacity, double scale)
{
    if (opacity >= 1.0 && scale >= 1.0) {
        page->setGraphicsEffect(nullptr);
        return;
    }
    auto *effect = qobject_cast<PageLookEffect *>(page->graphicsEffect());
    if (!effect) {
        effect = new PageLookEffect(page);
        page->setGraphicsEffect(effect);
    }
    effect->setLook(opacity, scale);
}

} // namespace

void PageLookEffect::setLook(double opacity, double scale)
{
    if (opacity == m_opacity && scale == m_scale) {
        return;
    }
    m_opacity = opacity;
    m_scale = scale;
    update();
}

void PageLookEffect::draw(QPainter *painter)
{
    QPoint offset;
    const QPixmap pixmap = sourcePixmap(Qt::LogicalCoordinates, &offset, QGraphicsEffect::NoPad);
    if (pixmap.isNull()) {
        return;
    }
    const QRectF bounds(offset, pixmap.deviceIndependentSize());
    painter->save();
    painter->setOpacity(painter->opacity() * m_opacity);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->translate(bounds.center());
    painter->scale(m_scale, m_scale);
    painter->translate(-bounds.center());
    painter->drawPixmap(offset, pixmap);
    painter->restore();
}

PageArea::PageArea(QWidget *parent)
    : QWidget(parent)
    , m_transition(new QVariantAnimation(this))
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.16, 1.0), QPointF(0.3, 1.0), QPointF(1.0, 1.0));
    m_transition->setEasingCurve(curve);
    m_transition->setDuration(440);
    m_transition->setStartValue(0.0);
    m_transition->setEndValue(1.0);
    connect(m_transition, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { layoutPages(value.toDouble()); });
}

void PageArea::addPage(const QString &identifier, QWidget *page)
{
    page->setParent(this);
    m_pages.insert(identifier, page);
    layoutPages(1.0);
}

QWidget *PageArea::visiblePage() const
{
    QWidget *shown = m_pages.value(m_selected);
    return shown && !shown->isHidden() ? shown : nullptr;
}

bool PageArea::isMoving() const
{
    return m_transition->state() == QAbstractAnimation::Running;
}

void PageArea::setSelected(const QString &identifier, const QStringList &order, bool animated)
{
    m_previous = m_selected;
    m_selected = identifier;
    m_order = order;
    m_transition->stop();
    if (animated && m_previous != m_selected) {
        m_transition->start();
        layoutPages(0.0);
    } else {
        layoutPages(1.0);
    }
}

void PageArea::setOrder(const QStringList &order)
{
    m_order = order;
    layoutPages(isMoving() ? m_transition->currentValue().toDouble() : 1.0);
}

void PageArea::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutPages(m_transition->state() == QAbstractAnimation::Running ? m_transition->currentValue().toDouble()
                                                                     : 1.0);
}

void PageArea::layoutPages(double progress)
{
    const int selectedIndex = int(m_order.indexOf(m_selected));
    const int previousIndex = int(m_order.indexOf(m_previous));
    const int anchor = selectedIndex < 0 ? 0 : selectedIndex;
    for (auto it = m_pages.cbegin(); it != m_pages.cend(); ++it) {
        QWidget *page = it.value();
        const int index = int(m_order.indexOf(it.key()));
        const bool selected = index >= 0 && index == selectedIndex;
        const bool leaving = progress < 1.0 && index >= 0 && index == previousIndex;
        if (!selected && !leaving) {
            page->hide();
            continue;
        }
        // The arriving page slides in from where it rested beside the leaving one, which slides out
        // to where it will rest beside the arriving one.
        const double offset =
            selected ? Tabs::pageOffset(index, previousIndex < 0 ? anchor : previousIndex, width()) *
                           (1.0 - progress)
                     : Tabs::pageOffset(index, anchor, width()) * progress;
        page->setGeometry(int(offset), 0, width(), height());
        const double shown = selected ? progress : 1.0 - progress;
        setLook(page, shown, restingScale + (1.0 - restingScale) * shown);
        page->setEnabled(selected);
        page->show();
        if (selected) {
            page->raise();
        }
    }
}

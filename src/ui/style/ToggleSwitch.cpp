#include "ui/style/ToggleSwitch.h"

#include "ui/style/Appearance.h"

#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

ToggleSwitch::ToggleSwitch(QWidget *parent)
    : QAbstractButton(parent)
    , m_slide(new QVariantAnimation(this))
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_slide->setDuration(180);
    m_slide->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_slide, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_position = value.toReal();
        update();
    });
    connect(this, &QAbstractButton::toggled, this, &ToggleSwitch::onToggled);
    connect(&Appearance::instance(), &Appearance::changed, this, [this] { update(); });
}

QSize ToggleSwitch::sizeHint() const
{
    return {40, 24};
}

void ToggleSwitch::onToggled(bool checked)
{
    m_slide->stop();
    if (Appearance::instance().animationsAllowed() && isVisible()) {
        m_slide->setStartValue(checked ? 0.0 : 1.0);
        m_slide->setEndValue(checked ? 1.0 : 0.0);
        m_slide->start();
    }
    update();
}

void ToggleSwitch::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) {
        painter.setOpacity(0.38);
    }
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal radius = track.height() / 2;
    // At rest the state decides, so a change made with signals blocked still shows.
    const qreal position =
        m_slide->state() == QAbstractAnimation::Running ? m_position : (isChecked() ? 1.0 : 0.0);
    QColor off = palette().color(QPalette::WindowText);
    off.setAlphaF(0.16f);
    const QColor on = Appearance::instance().accent();
    QColor fill;
    const auto mix = [t = static_cast<float>(position)](float from, float to) {
        return from + (to - from) * t;
    };
    fill.setRgbF(mix(off.redF(), on.redF()), mix(off.greenF(), on.greenF()), mix(off.blueF(), on.blueF()),
                 mix(off.alphaF(), on.alphaF()));
    QPainterPath path;
    path.addRoundedRect(track, radius, radius);
    painter.fillPath(path, fill);
    if (hasFocus()) {
        QColor ring = on;
        ring.setAlphaF(0.5f);
        painter.setPen(QPen(ring, 2));
        painter.drawPath(path);
    }
    const qreal knob = track.height() - 4;
    const qreal x = track.left() + 2 + (track.width() - knob - 4) * position;
    painter.setPen(QPen(QColor(0, 0, 0, 40), 0.5));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

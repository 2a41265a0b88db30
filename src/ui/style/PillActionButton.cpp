#include "ui/style/PillActionButton.h"

#include "ui/style/Appearance.h"
#include "ui/style/Motion.h"
#include "ui/style/PillLook.h"
#include "ui/style/Symbols.h"

#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPixmapCache>
#include <QVariantAnimation>

namespace {

// Room around the capsule for the shadow of a prominent button; the same for all, so rows line up.
constexpr QMargins shadowRoom{6, 3, 6, 9};
constexpr int symbolSize = 16;
constexpr int iconGap = 6;

QPainterPath capsulePath(const QRectF &rect)
{
    QPainterPath path;
    const qreal radius = rect.height() / 2;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

} // namespace

PillActionButton::PillActionButton(const QString &text, QWidget *parent)
    : QPushButton(text, parent)
    , m_press(new QVariantAnimation(this))
{
    setCursor(Qt::PointingHandCursor);
    // Like the mac's buttons: a click does not move the focus, the keyboard still reaches it.
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    m_press->setEasingCurve(Motion::springCurve());
    m_press->setDuration(Motion::springDurationMs);
    connect(m_press, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_scale = value.toReal();
        update();
    });
    connect(this, &QAbstractButton::pressed, this, &PillActionButton::onDownChanged);
    connect(this, &QAbstractButton::released, this, &PillActionButton::onDownChanged);
    connect(&Appearance::instance(), &Appearance::changed, this, [this] { update(); });
}

QColor PillActionButton::tint() const
{
    return m_tint.isValid() ? m_tint : Appearance::instance().accent();
}

void PillActionButton::setTint(const QColor &tint)
{
    m_tint = tint;
    update();
}

void PillActionButton::setProminent(bool prominent)
{
    m_prominent = prominent;
    update();
}

void PillActionButton::setCompact(bool compact)
{
    m_compact = compact;
    updateGeometry();
    update();
}

void PillActionButton::setSymbol(const QString &symbol)
{
    m_symbol = symbol;
    updateGeometry();
    update();
}

QColor PillActionButton::destructiveTint()
{
    return QColor(0xFF, 0x3B, 0x30);
}

PillLook PillActionButton::look() const
{
    PillLook::State state;
    state.tint = tint();
    state.primary = palette().color(QPalette::WindowText);
    state.prominent = m_prominent;
    state.compact = m_compact;
    state.pressed = isDown();
    state.enabled = isEnabled();
    state.animationsAllowed = Appearance::instance().animationsAllowed();
    return PillLook::resolve(state);
}

QSize PillActionButton::sizeHint() const
{
    const PillLook pill = look();
    const QFontMetrics metrics(Appearance::font(pill.fontPoints, QFont::DemiBold));
    int width = metrics.horizontalAdvance(text()) + 2 * pill.horizontalPadding;
    if (!m_symbol.isEmpty()) {
        width += symbolSize + (text().isEmpty() ? 0 : iconGap);
    }
    return QSize(width, pill.minimumHeight).grownBy(shadowRoom);
}

QSize PillActionButton::minimumSizeHint() const
{
    return sizeHint();
}

void PillActionButton::onDownChanged()
{
    const qreal target = look().scale;
    m_press->stop();
    if (!Appearance::instance().animationsAllowed()) {
        m_scale = target;
        update();
        return;
    }
    m_press->setStartValue(m_scale);
    m_press->setEndValue(target);
    m_press->start();
}

void PillActionButton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::PaletteChange) {
        update();
    }
    QPushButton::changeEvent(event);
}

void PillActionButton::paintShadow(QPainter &painter, const QRectF &capsule, const PillLook &pill) const
{
    // A soft shadow from stacked, widening capsules whose alphas add up to the shadow colour. The
    // layers are antialiased paths, too many to fill on every paint: they are drawn once per size and
    // look into a picture that every button of that size shares.
    const QRectF base = capsule.translated(0, pill.shadowOffset);
    const qreal reach = pill.shadowRadius / 2 + 1;
    const QRectF bounds = base.adjusted(-reach, -reach, reach, reach);
    const qreal ratio = painter.device()->devicePixelRatioF();
    const QString key = QStringLiteral("pill-shadow:%1:%2:%3:%4:%5")
                            .arg(bounds.width())
                            .arg(bounds.height())
                            .arg(ratio)
                            .arg(pill.shadowRadius)
                            .arg(pill.shadowColor.rgba());
    QPixmap shadow;
    if (!QPixmapCache::find(key, &shadow)) {
        shadow = QPixmap((bounds.size() * ratio).toSize());
        shadow.setDevicePixelRatio(ratio);
        shadow.fill(Qt::transparent);
        QPainter layers(&shadow);
        layers.setRenderHint(QPainter::Antialiasing);
        layers.translate(-bounds.topLeft());
        const int count = qMax(1, qRound(pill.shadowRadius));
        QColor layer = pill.shadowColor;
        layer.setAlphaF(pill.shadowColor.alphaF() / static_cast<float>(count));
        layers.setPen(Qt::NoPen);
        layers.setBrush(layer);
        for (int i = count; i >= 1; --i) {
            const qreal spread = pill.shadowRadius * i / count - pill.shadowRadius / 2;
            layers.drawPath(capsulePath(base.adjusted(-spread, -spread, spread, spread)));
        }
        layers.end();
        QPixmapCache::insert(key, shadow);
    }
    painter.drawPixmap(bounds.topLeft(), shadow);
}

void PillActionButton::paintEvent(QPaintEvent *)
{
    const PillLook pill = look();
    QPainter painter(this);
    if (pill.opacity >= 1.0) {
        paintButton(painter, pill);
        return;
    }
    // The whole button fades as one layer; fading each layer alone would let the shadow show through the
    // fill.
    const qreal ratio = devicePixelRatioF();
    QPixmap layer(size() * ratio);
    layer.setDevicePixelRatio(ratio);
    layer.fill(Qt::transparent);
    {
        QPainter layerPainter(&layer);
        paintButton(layerPainter, pill);
    }
    painter.setOpacity(pill.opacity);
    painter.drawPixmap(0, 0, layer);
}

void PillActionButton::paintButton(QPainter &painter, const PillLook &pill) const
{
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF capsule = QRectF(rect()).marginsRemoved(QMarginsF(shadowRoom));
    const QPointF centre = capsule.center();
    painter.translate(centre);
    painter.scale(m_scale, m_scale);
    painter.translate(-centre);

    if (pill.shadow) {
        paintShadow(painter, capsule, pill);
    }
    const QPainterPath path = capsulePath(capsule);
    QLinearGradient fill(capsule.topLeft(), capsule.bottomLeft());
    fill.setColorAt(0, pill.fillTop);
    fill.setColorAt(1, pill.fillBottom);
    painter.fillPath(path, fill);
    QLinearGradient shine(capsule.topLeft(), capsule.bottomLeft());
    shine.setColorAt(0, pill.highlight);
    shine.setColorAt(0.55, Qt::transparent);
    painter.fillPath(path, shine);
    if (underMouse() && isEnabled() && !isDown()) {
        QColor hover = pill.text;
        hover.setAlphaF(0.06f);
        painter.fillPath(path, hover);
    }
    const qreal inset = pill.outlineWidth / 2;
    painter.setPen(QPen(pill.outline, pill.outlineWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(capsulePath(capsule.adjusted(inset, inset, -inset, -inset)));
    if (hasFocus()) {
        QColor ring = Appearance::instance().accent();
        ring.setAlphaF(0.55f);
        painter.setPen(QPen(ring, 2));
        painter.drawPath(capsulePath(capsule.adjusted(-1.5, -1.5, 1.5, 1.5)));
    }

    const QFont font = Appearance::font(pill.fontPoints, QFont::DemiBold);
    const QFontMetricsF metrics(font);
    const qreal textWidth = metrics.horizontalAdvance(text());
    const bool withIcon = !m_symbol.isEmpty();
    const qreal contentWidth = textWidth + (withIcon ? symbolSize + (text().isEmpty() ? 0 : iconGap) : 0);
    qreal x = capsule.center().x() - contentWidth / 2;
    if (withIcon) {
        Symbols::paint(painter, QRectF(x, capsule.center().y() - symbolSize / 2.0, symbolSize, symbolSize),
                       m_symbol, pill.text);
        x += symbolSize + iconGap;
    }
    painter.setFont(font);
    painter.setPen(pill.text);
    painter.drawText(QRectF(x, capsule.top(), textWidth + 1, capsule.height()),
                     Qt::AlignVCenter | Qt::AlignLeft, text());
}

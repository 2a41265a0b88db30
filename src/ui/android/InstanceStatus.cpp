#include "ui/android/InstanceStatus.h"

#include "android/VMModel.h"
#include "ui/android/FleetRules.h"
#include "ui/style/Appearance.h"
#include "ui/style/GlassLook.h"
#include "ui/style/GlassSurface.h"
#include "ui/style/Symbols.h"

#include <QPainter>

namespace {

constexpr int dotSize = 9;
constexpr int checkSize = 16;
constexpr int paddingX = 16;
constexpr int gap = 8;

QFont nameFont()
{
    return Appearance::font(13, QFont::DemiBold);
}

} // namespace

InstanceStatus::InstanceStatus(VMModel &model, QWidget *parent)
    : QAbstractButton(parent)
    , m_model(&model)
{
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(model.name());
    for (auto signal : {&VMModel::nameChanged, &VMModel::runningChanged, &VMModel::bootedChanged}) {
        connect(&model, signal, this, &InstanceStatus::onModelChanged);
    }
    connect(&Appearance::instance(), &Appearance::changed, this, [this] { update(); });
}

void InstanceStatus::setSelected(bool selected)
{
    if (m_selected != selected) {
        m_selected = selected;
        updateGeometry();
        update();
    }
}

void InstanceStatus::onModelChanged()
{
    if (m_model) {
        setAccessibleName(m_model->name());
    }
    updateGeometry();
    update();
}

QColor InstanceStatus::dotColor() const
{
    const FleetRules::Dot dot =
        m_model ? FleetRules::dot(m_model->running(), m_model->booted()) : FleetRules::Dot::Grey;
    switch (dot) {
    case FleetRules::Dot::Green:
        return QColor(0x34, 0xC7, 0x59);
    case FleetRules::Dot::Orange:
        return QColor(0xFF, 0x95, 0x00);
    case FleetRules::Dot::Grey:
        break;
    }
    return QColor(0x8E, 0x8E, 0x93);
}

QSize InstanceStatus::sizeHint() const
{
    const QString name = m_model ? m_model->name() : QString();
    const int text = QFontMetrics(nameFont()).horizontalAdvance(name);
    return {paddingX + dotSize + gap + text + (m_selected ? gap + checkSize : 0) + paddingX, 40};
}

void InstanceStatus::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    GlassSurface::paint(painter, rect(), GlassSurface::lookFor(*this, m_selected, true));
    if (isDown()) {
        QColor pressed = palette().color(QPalette::WindowText);
        pressed.setAlphaF(0.06f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(pressed);
        painter.drawRoundedRect(QRectF(rect()), height() / 2.0, height() / 2.0);
    }

    qreal x = paddingX;
    const qreal middle = height() / 2.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(dotColor());
    painter.drawEllipse(QRectF(x, middle - dotSize / 2.0, dotSize, dotSize));
    x += dotSize + gap;

    const QString name = m_model ? m_model->name() : QString();
    const QFont font = nameFont();
    painter.setFont(font);
    painter.setPen(palette().color(QPalette::WindowText));
    const qreal textWidth = QFontMetricsF(font).horizontalAdvance(name);
    painter.drawText(QRectF(x, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, name);
    x += textWidth + gap;

    if (m_selected) {
        Symbols::paint(painter, QRectF(x, middle - checkSize / 2.0, checkSize, checkSize),
                       QStringLiteral("checkmark.circle.fill"), Appearance::instance().accent());
    }
    if (hasFocus()) {
        QColor ring = Appearance::instance().accent();
        ring.setAlphaF(0.55f);
        painter.setPen(QPen(ring, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), height() / 2.0 - 1,
                                height() / 2.0 - 1);
    }
}

VMModel *InstanceStatus::model() const
{
    return m_model;
}

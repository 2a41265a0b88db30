#include "ui/shell/AppTopTabBar.h"

#include "ui/shell/Tabs.h"
#include "ui/style/Appearance.h"
#include "ui/style/GlassLook.h"
#include "ui/style/GlassSurface.h"

#include <QEasingCurve>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVariantAnimation>

namespace {

QEasingCurve tabCurve()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.16, 1.0), QPointF(0.3, 1.0), QPointF(1.0, 1.0));
    return curve;
}

} // namespace

AppTopTabBar::AppTopTabBar(QWidget *parent)
    : QWidget(parent)
    , m_layout(new QHBoxLayout(this))
    , m_slide(new QVariantAnimation(this))
{
    m_layout->setContentsMargins(5, 5, 5, 5);
    m_layout->setSpacing(3);
    m_slide->setDuration(400);
    m_slide->setEasingCurve(tabCurve());
    connect(&Appearance::instance(), &Appearance::changed, this, [this] {
        restyleButtons();
        update();
    });
    connect(m_slide, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_capsule = value.toRectF();
        update();
    });
    // The buttons may have moved while the capsule slid (a first layout, a resize): settle on them.
    connect(m_slide, &QVariantAnimation::finished, this, qOverload<>(&QWidget::update));
}

void AppTopTabBar::setTabs(bool showsBeta)
{
    qDeleteAll(m_buttons);
    m_buttons.clear();
    for (const Tabs::Tab &tab : Tabs::tabs(showsBeta)) {
        auto *button = new QPushButton(tab.title, this);
        button->setFlat(true);
        button->setCursor(Qt::PointingHandCursor);
        button->setProperty("tabIdentifier", tab.identifier);
        button->setMinimumHeight(30);
        button->setStyleSheet(
            QStringLiteral("QPushButton { border: none; background: transparent; padding: 4px 14px; }"));
        connect(button, &QPushButton::clicked, this,
                [this, identifier = tab.identifier] { Q_EMIT selectRequested(identifier); });
        m_layout->addWidget(button);
        m_buttons.append(button);
    }
    restyleButtons();
    m_capsule = capsuleTarget();
    update();
}

QStringList AppTopTabBar::identifiers() const
{
    QStringList list;
    for (QPushButton *button : m_buttons) {
        list.append(button->property("tabIdentifier").toString());
    }
    return list;
}

void AppTopTabBar::setSelected(const QString &identifier, bool animated)
{
    m_selected = identifier;
    restyleButtons();
    const QRectF target = capsuleTarget();
    m_slide->stop();
    if (animated && isVisible() && !m_capsule.isEmpty() && !target.isEmpty()) {
        m_slide->setStartValue(m_capsule);
        m_slide->setEndValue(target);
        m_slide->start();
    } else {
        m_capsule = target;
        update();
    }
}

QRectF AppTopTabBar::capsuleTarget() const
{
    for (QPushButton *button : m_buttons) {
        if (button->property("tabIdentifier").toString() == m_selected) {
            return QRectF(button->geometry());
        }
    }
    return {};
}

void AppTopTabBar::restyleButtons()
{
    for (QPushButton *button : m_buttons) {
        const bool selected = button->property("tabIdentifier").toString() == m_selected;
        QFont font = button->font();
        font.setPointSizeF(13.5);
        font.setWeight(selected ? QFont::DemiBold : QFont::Medium);
        button->setFont(font);
        QPalette palette = button->palette();
        palette.setColor(QPalette::ButtonText, selected ? palette.color(QPalette::WindowText)
                                                        : palette.color(QPalette::PlaceholderText));
        button->setPalette(palette);
    }
}

void AppTopTabBar::paintEvent(QPaintEvent *)
{
    // Buttons move when the layout settles; outside a slide the capsule simply follows its button.
    if (m_slide->state() != QAbstractAnimation::Running) {
        m_capsule = capsuleTarget();
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The bar sits on the shared glass surface in its capsule form, never selected itself.
    GlassSurface::paint(painter, QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5),
                        GlassSurface::lookFor(*this, false, true));
    if (!m_capsule.isEmpty()) {
        QColor fill = palette().color(QPalette::WindowText);
        fill.setAlphaF(0.12);
        QPainterPath capsule;
        capsule.addRoundedRect(m_capsule, m_capsule.height() / 2, m_capsule.height() / 2);
        painter.fillPath(capsule, fill);
    }
}

void AppTopTabBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    update();
}

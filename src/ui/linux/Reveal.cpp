#include "ui/linux/Reveal.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QVariantAnimation>

#include <cmath>

Reveal::Reveal(QWidget *content, QWidget *parent)
    : QWidget(parent)
    , m_content(content)
    , m_animation(new QVariantAnimation(this))
{
    content->setParent(this);
    content->installEventFilter(this);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_animation->setDuration(durationMs);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { apply(value.toReal()); });
    apply(1.0);
}

void Reveal::setRevealed(bool revealed, bool animated)
{
    if (revealed == m_revealed && m_animation->state() != QAbstractAnimation::Running) {
        apply(revealed ? 1.0 : 0.0);
        return;
    }
    m_revealed = revealed;
    m_animation->stop();
    const qreal target = revealed ? 1.0 : 0.0;
    if (!animated) {
        apply(target);
        return;
    }
    m_animation->setStartValue(m_progress);
    m_animation->setEndValue(target);
    m_animation->setDuration(int(durationMs * std::abs(target - m_progress)));
    m_animation->start();
}

int Reveal::contentHeight() const
{
    const int width = this->width() > 0 ? this->width() : m_content->sizeHint().width();
    return m_content->hasHeightForWidth() ? m_content->heightForWidth(width) : m_content->sizeHint().height();
}

void Reveal::apply(qreal progress)
{
    m_progress = progress;
    if (progress <= 0.0) {
        hide();
    } else if (isHidden() && parentWidget()) {
        show();
    }
    const int full = contentHeight();
    setFixedHeight(int(std::lround(full * progress)));
    m_content->setGeometry(0, height() - full, width(), full);
    // An opacity effect renders the content off-screen, so it is there only while it fades.
    if (progress >= 1.0) {
        m_content->setGraphicsEffect(nullptr);
        return;
    }
    auto *effect = qobject_cast<QGraphicsOpacityEffect *>(m_content->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(m_content);
        m_content->setGraphicsEffect(effect);
    }
    effect->setOpacity(progress);
}

void Reveal::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // A new width may wrap the content's text onto more or fewer lines.
    apply(m_progress);
}

bool Reveal::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_content && event->type() == QEvent::LayoutRequest) {
        apply(m_progress);
    }
    return QWidget::eventFilter(watched, event);
}

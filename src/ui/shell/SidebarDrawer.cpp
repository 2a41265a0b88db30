#include "ui/shell/SidebarDrawer.h"

#include <QEasingCurve>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QVariantAnimation>

namespace {

constexpr int dividerWidth = 1;
constexpr int fullWidth = SidebarDrawer::contentWidth + dividerWidth;

} // namespace

SidebarDrawer::SidebarDrawer(QWidget *parent)
    : QWidget(parent)
    , m_divider(new QFrame(this))
    , m_slide(new QVariantAnimation(this))
{
    m_divider->setFrameShape(QFrame::VLine);
    m_divider->setFrameShadow(QFrame::Plain);
    m_divider->setForegroundRole(QPalette::Mid);
    m_slide->setDuration(300);
    m_slide->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_slide, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { setProgress(value.toDouble()); });
    setFixedWidth(fullWidth);
    connect(m_slide, &QVariantAnimation::finished, this, [this] {
        if (m_closing) {
            finishClosing();
        } else {
            setGraphicsEffect(nullptr);
        }
    });
    setProgress(0.0);
    hide();
}

void SidebarDrawer::open(QWidget *content, bool animated)
{
    m_slide->stop();
    if (m_content && m_content != content) {
        delete m_content;
    }
    m_closing = false;
    m_content = content;
    content->setParent(this);
    content->show();
    show();
    if (!animated) {
        setProgress(1.0);
        setGraphicsEffect(nullptr);
        return;
    }
    setGraphicsEffect(new QGraphicsOpacityEffect(this));
    m_slide->setStartValue(m_progress);
    m_slide->setEndValue(1.0);
    m_slide->start();
}

void SidebarDrawer::close(bool animated)
{
    if (!m_content || m_closing) {
        return;
    }
    m_closing = true;
    m_slide->stop();
    if (!animated) {
        finishClosing();
        return;
    }
    if (!graphicsEffect()) {
        setGraphicsEffect(new QGraphicsOpacityEffect(this));
    }
    m_slide->setStartValue(m_progress);
    m_slide->setEndValue(0.0);
    m_slide->start();
}

void SidebarDrawer::finishClosing()
{
    setProgress(0.0);
    setGraphicsEffect(nullptr);
    hide();
    delete m_content;
    m_closing = false;
}

void SidebarDrawer::setProgress(double progress)
{
    m_progress = progress;
    if (auto *effect = qobject_cast<QGraphicsOpacityEffect *>(graphicsEffect())) {
        effect->setOpacity(progress);
    }
    layoutContent();
}

void SidebarDrawer::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutContent();
}

void SidebarDrawer::layoutContent()
{
    m_divider->setGeometry(0, 0, dividerWidth, height());
    if (m_content) {
        // The drawer takes its whole width at once, so the pages beside it make room once instead of
        // being laid out and painted again on every frame; within it the content moves in from the
        // trailing edge, its far side clipped until it has arrived.
        const int still = qRound(contentWidth * (1.0 - m_progress));
        m_content->setGeometry(dividerWidth + still, 0, contentWidth, height());
    }
}

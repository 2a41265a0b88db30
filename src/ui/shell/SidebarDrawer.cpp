#include "ui/shell/SidebarDrawer.h"

#include <QEasingCurve>
#include <QFrame>
#include <QPainter>
#include <QTimer>
#include <QVariantAnimation>

#include <utility>

namespace {

constexpr int dividerWidth = 1;
constexpr int fullWidth = SidebarDrawer::contentWidth + dividerWidth;
/** A frame at 60 Hz: a zero timer would run in the same turn as the window's repaint. */
constexpr int frameMs = 16;

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
            arrive();
        }
    });
    setProgress(0.0);
    hide();
}

void SidebarDrawer::open(std::function<QWidget *()> make, bool animated)
{
    m_slide->stop();
    m_closing = false;
    if (!animated) {
        m_make = nullptr;
        place(make());
        setProgress(1.0);
        arrive();
        return;
    }
    // The window widens in this turn and paints itself anew; the content is made and painted into the
    // picture that moves in a frame later, so no single turn does both.
    delete m_content;
    m_picture = QPixmap();
    setProgress(0.0);
    show();
    m_make = std::move(make);
    QTimer::singleShot(frameMs, this, [this] {
        if (!m_make || m_closing) {
            return;
        }
        QWidget *content = std::exchange(m_make, nullptr)();
        place(content);
        content->hide();
        m_picture = content->grab();
        slideTo(1.0);
    });
}

void SidebarDrawer::place(QWidget *content)
{
    if (m_content && m_content != content) {
        delete m_content;
    }
    m_content = content;
    content->setParent(this);
    layoutContent();
    show();
}

void SidebarDrawer::close(bool animated)
{
    if (!isOpen()) {
        return;
    }
    m_closing = true;
    m_make = nullptr;
    m_slide->stop();
    // Not made yet: nothing has moved in to move out.
    if (!animated || !m_content) {
        finishClosing();
        return;
    }
    if (m_content->isVisible()) {
        m_picture = m_content->grab();
        m_content->hide();
    }
    slideTo(0.0);
}

void SidebarDrawer::slideTo(double progress)
{
    m_slide->setStartValue(m_progress);
    m_slide->setEndValue(progress);
    m_slide->start();
}

void SidebarDrawer::arrive()
{
    // At rest the content is itself, live, where its picture ended.
    m_picture = QPixmap();
    if (m_content) {
        m_content->show();
    }
    update();
}

void SidebarDrawer::finishClosing()
{
    setProgress(0.0);
    m_picture = QPixmap();
    hide();
    delete m_content;
    m_closing = false;
}

int SidebarDrawer::contentX() const
{
    return dividerWidth + qRound(contentWidth * (1.0 - m_progress));
}

void SidebarDrawer::setProgress(double progress)
{
    m_progress = progress;
    if (!m_picture.isNull()) {
        update();
    }
}

void SidebarDrawer::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull()) {
        return;
    }
    // Moving in from the trailing edge and fading in, its far side clipped until it has arrived.
    QPainter painter(this);
    painter.setOpacity(m_progress);
    painter.drawPixmap(contentX(), 0, m_picture);
}

void SidebarDrawer::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutContent();
}

void SidebarDrawer::layoutContent()
{
    // The drawer takes its whole width at once, so the pages beside it make room once instead of being
    // laid out and painted again on every frame; the content waits at its place for its picture.
    m_divider->setGeometry(0, 0, dividerWidth, height());
    if (m_content) {
        m_content->setGeometry(dividerWidth, 0, contentWidth, height());
    }
}

#include "ui/linux/LinuxDisplay.h"

#include "linux/LinuxModel.h"
#include "linux/screen/VncConnection.h"
#include "services/AppLog.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include <cmath>

namespace {

constexpr int reconnectDelayMs = 1000;

/** A physical key: its scan code where the platform gives one, else the Qt key. */
quint32 physicalKey(const QKeyEvent &event)
{
    return event.nativeScanCode() != 0 ? event.nativeScanCode() | 0x80000000u : quint32(event.key());
}

} // namespace

LinuxDisplay::LinuxDisplay(LinuxModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(&model)
    , m_connection(new VncConnection(this))
    , m_retry(new QTimer(this))
{
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Linux 画面"));
    setAccessibleDescription(releaseHint());
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_retry->setSingleShot(true);
    m_retry->setInterval(reconnectDelayMs);
    connect(m_retry, &QTimer::timeout, this, [this] {
        if (!m_endpoint.isEmpty() && !m_connection->isOpen()) {
            m_connection->open(m_endpoint);
        }
    });
    connect(m_connection, &VncConnection::connected, this, [this] { m_failures = 0; });
    connect(m_connection, &VncConnection::frameChanged, this, &LinuxDisplay::onFrameChanged);
    connect(m_connection, &VncConnection::disconnected, this, &LinuxDisplay::onDisconnected);
    connect(&model, &LinuxModel::machineChanged, this, &LinuxDisplay::follow);
    connect(&model, &LinuxModel::runningChanged, this, &LinuxDisplay::follow);
}

LinuxDisplay::~LinuxDisplay()
{
    m_connection->close();
}

QKeySequence LinuxDisplay::releaseKeys()
{
    return QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_G);
}

QString LinuxDisplay::releaseHint()
{
    return QStringLiteral("点击画面后，键盘输入（包括快捷键）都交给 Linux；按 ") +
           releaseKeys().toString(QKeySequence::NativeText) + QStringLiteral(" 把键盘交还给 Corvane。");
}

bool LinuxDisplay::event(QEvent *event)
{
    // Claimed before any shortcut of the window sees it (Control+Q would otherwise quit the
    // application): the key then arrives as a press here and goes to the guest.
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void LinuxDisplay::setCornerRadius(qreal radius)
{
    m_radius = radius;
    update();
}

QRectF LinuxDisplay::screenRect() const
{
    return GuestInput::fitted(QRectF(rect()), aspectRatio);
}

QRectF LinuxDisplay::imageRect() const
{
    const QImage &frame = m_connection->frame();
    if (frame.isNull()) {
        return screenRect();
    }
    return GuestInput::fitted(screenRect(), qreal(frame.width()) / frame.height());
}

int LinuxDisplay::heightForWidth(int width) const
{
    return int(std::lround(width / aspectRatio));
}

QSize LinuxDisplay::sizeHint() const
{
    return {768, heightForWidth(768)};
}

void LinuxDisplay::follow()
{
    VirtualMachine *machine = m_model ? m_model->machine() : nullptr;
    const QString target = isVisible() && machine ? machine->displayEndpoint() : QString();
    if (target == m_endpoint) {
        return;
    }
    releaseInput();
    m_connection->close();
    m_retry->stop();
    m_failures = 0;
    m_endpoint = target;
    if (!target.isEmpty()) {
        m_connection->open(target);
    }
    update();
}

void LinuxDisplay::onDisconnected(const QString &reason)
{
    m_pressed.clear();
    m_buttons = 0;
    // A machine that stops closes its screen before the model hears of the stop: that is no failure.
    VirtualMachine *machine = m_model ? m_model->machine() : nullptr;
    if (!machine || machine->displayEndpoint() != m_endpoint) {
        follow();
        return;
    }
    ++m_failures;
    if (m_failures == 1) {
        AppLog::warn(QStringLiteral("Linux"), QStringLiteral("Linux 画面连接中断：") + reason);
    }
    if (m_failures <= reconnectAttempts) {
        m_retry->start();
    }
}

void LinuxDisplay::onFrameChanged(const QRegion &region)
{
    m_newFrame = true;
    const QImage &frame = m_connection->frame();
    const QRectF image = imageRect();
    if (frame.isNull() || image.isEmpty()) {
        update();
        return;
    }
    const qreal sx = image.width() / frame.width();
    const qreal sy = image.height() / frame.height();
    // Repaint only what changed, widened by a pixel for the smoothing at its edges.
    const QRect changed = region.boundingRect();
    const QRectF mapped(image.left() + changed.left() * sx, image.top() + changed.top() * sy,
                        changed.width() * sx, changed.height() * sy);
    update(mapped.toAlignedRect().adjusted(-1, -1, 1, 1));
}

void LinuxDisplay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF screen = screenRect();
    QPainterPath shape;
    shape.addRoundedRect(screen, m_radius, m_radius);
    painter.fillPath(shape, Qt::black);
    const QImage &frame = m_connection->frame();
    if (frame.isNull()) {
        return;
    }
    const QRectF image = imageRect();
    painter.setClipPath(shape);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, image.size() != QSizeF(frame.size()));
    painter.drawImage(image, frame);
    if (m_newFrame) {
        m_newFrame = false;
        ++m_framesShown;
    }
}

void LinuxDisplay::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    follow();
}

void LinuxDisplay::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Deferred: a page that is only moved between windows is shown again at once.
    QTimer::singleShot(0, this, &LinuxDisplay::follow);
}

// Tab goes to the guest rather than moving the focus on; QWidget asks this before it delivers the key.
bool LinuxDisplay::focusNextPrevChild(bool)
{
    return false;
}

void LinuxDisplay::keyPressEvent(QKeyEvent *event)
{
    event->accept();
    if (QKeySequence(event->keyCombination()) == releaseKeys()) {
        // The modifiers already pressed in the guest are released as the focus leaves.
        clearFocus();
        return;
    }
    const quint32 key = physicalKey(*event);
    quint32 keysym = m_pressed.value(key);
    if (keysym == 0) {
        keysym = GuestInput::keysym(event->key(), event->modifiers(), event->text());
        // On X11 the platform hands over the keysym itself, also for keys no table here knows.
        if (keysym == 0 && QGuiApplication::platformName() == QStringLiteral("xcb")) {
            keysym = event->nativeVirtualKey();
        }
        if (keysym == 0) {
            return;
        }
        m_pressed.insert(key, keysym);
    }
    // A held key repeats as further presses without releases, as a keyboard does.
    m_connection->sendKey(keysym, true);
}

void LinuxDisplay::keyReleaseEvent(QKeyEvent *event)
{
    event->accept();
    if (event->isAutoRepeat()) {
        return;
    }
    const quint32 keysym = m_pressed.take(physicalKey(*event));
    if (keysym != 0) {
        m_connection->sendKey(keysym, false);
    }
}

void LinuxDisplay::sendPointer(const QPointF &position, int buttons)
{
    const QImage &frame = m_connection->frame();
    if (frame.isNull()) {
        return;
    }
    m_pointer = GuestInput::framePosition(position, imageRect(), frame.size());
    m_buttons = buttons;
    m_connection->sendPointer(m_pointer, m_buttons);
}

void LinuxDisplay::mousePressEvent(QMouseEvent *event)
{
    setFocus(Qt::MouseFocusReason);
    sendPointer(event->position(), GuestInput::buttonMask(event->buttons()));
    event->accept();
}

void LinuxDisplay::mouseReleaseEvent(QMouseEvent *event)
{
    sendPointer(event->position(), GuestInput::buttonMask(event->buttons()));
    event->accept();
}

void LinuxDisplay::mouseMoveEvent(QMouseEvent *event)
{
    sendPointer(event->position(), GuestInput::buttonMask(event->buttons()));
    event->accept();
}

void LinuxDisplay::wheelEvent(QWheelEvent *event)
{
    event->accept();
    sendPointer(event->position(), GuestInput::buttonMask(event->buttons()));
    // Each wheel step is a press and release of its button, with the held buttons kept.
    const auto click = [this](int steps, int positive, int negative) {
        const int button = steps > 0 ? positive : negative;
        for (int i = 0; i < std::abs(steps); ++i) {
            m_connection->sendPointer(m_pointer, m_buttons | button);
            m_connection->sendPointer(m_pointer, m_buttons);
        }
    };
    click(m_wheelY.add(event->angleDelta().y()), GuestInput::WheelUp, GuestInput::WheelDown);
    click(m_wheelX.add(event->angleDelta().x()), GuestInput::WheelLeft, GuestInput::WheelRight);
}

void LinuxDisplay::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    // Keys released elsewhere never reach here; without this they would stay down in the guest.
    releaseInput();
}

void LinuxDisplay::releaseInput()
{
    for (const quint32 keysym : std::as_const(m_pressed)) {
        m_connection->sendKey(keysym, false);
    }
    m_pressed.clear();
    if (m_buttons != 0) {
        m_buttons = 0;
        m_connection->sendPointer(m_pointer, 0);
    }
}

#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <Qt>

/**
 * How the host's keyboard and pointer reach the guest's screen: Qt keys become X11 keysyms (what a
 * VNC server expects), widget positions become absolute framebuffer positions for the USB tablet,
 * and buttons and wheel steps become the RFB button mask.
 */
namespace GuestInput {

/**
 * The keysym of a key press, or 0 when the key has none. `text` is what the key typed; with Control
 * held it is a control character, so letters and digits are then taken from `key` instead.
 */
quint32 keysym(int key, Qt::KeyboardModifiers modifiers, const QString &text);

/** RFB button mask bits: buttons 1 to 3, then the wheel as buttons 4 to 7. */
enum Button : int {
    Left = 1,
    Middle = 2,
    Right = 4,
    WheelUp = 8,
    WheelDown = 16,
    WheelLeft = 32,
    WheelRight = 64,
};

int buttonMask(Qt::MouseButtons buttons);

/** The largest rectangle of `aspect` (width / height) centred in `bounds`. */
QRectF fitted(const QRectF &bounds, qreal aspect);

/**
 * The framebuffer pixel under `position`, for a framebuffer of `frame` drawn into `image`; positions
 * outside the picture land on its nearest edge, as a tablet pen that leaves the pad would.
 */
QPoint framePosition(const QPointF &position, const QRectF &image, const QSize &frame);

/**
 * Turns wheel deltas (120 per notch, possibly in smaller pieces from a touchpad) into whole wheel
 * steps, keeping the remainder for the next event.
 */
class WheelSteps
{
public:
    /** Whole steps in `delta`'s direction (positive: up or left in Qt's sense); the rest is kept. */
    int add(int delta);

private:
    int m_rest = 0;
};

} // namespace GuestInput

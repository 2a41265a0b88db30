#include "ui/linux/GuestInput.h"

#include <QList>

#include <algorithm>
#include <cmath>

namespace GuestInput {

namespace {

constexpr int notch = 120;

struct KeyEntry
{
    int key;
    quint32 keysym;
};

// Keys without a character of their own, by their X11 keysym.
constexpr KeyEntry specialKeys[] = {
    {Qt::Key_Escape, 0xff1b},
    {Qt::Key_Tab, 0xff09},
    {Qt::Key_Backtab, 0xfe20}, // ISO_Left_Tab: Shift+Tab
    {Qt::Key_Backspace, 0xff08},
    {Qt::Key_Return, 0xff0d},
    {Qt::Key_Enter, 0xff8d}, // KP_Enter
    {Qt::Key_Insert, 0xff63},
    {Qt::Key_Delete, 0xffff},
    {Qt::Key_Pause, 0xff13},
    {Qt::Key_Print, 0xff61},
    {Qt::Key_SysReq, 0xff15},
    {Qt::Key_Clear, 0xff0b},
    {Qt::Key_Home, 0xff50},
    {Qt::Key_End, 0xff57},
    {Qt::Key_Left, 0xff51},
    {Qt::Key_Up, 0xff52},
    {Qt::Key_Right, 0xff53},
    {Qt::Key_Down, 0xff54},
    {Qt::Key_PageUp, 0xff55},
    {Qt::Key_PageDown, 0xff56},
    {Qt::Key_Shift, 0xffe1},
    // On macOS Qt reports Command as Control and Control as Meta; the guest gets the key's place.
    {Qt::Key_Control, 0xffe3},
    {Qt::Key_Meta, 0xffeb}, // Super_L
    {Qt::Key_Alt, 0xffe9},
    {Qt::Key_AltGr, 0xfe03},
    {Qt::Key_CapsLock, 0xffe5},
    {Qt::Key_NumLock, 0xff7f},
    {Qt::Key_ScrollLock, 0xff14},
    {Qt::Key_Super_L, 0xffeb},
    {Qt::Key_Super_R, 0xffec},
    {Qt::Key_Menu, 0xff67},
    {Qt::Key_Hyper_L, 0xffed},
    {Qt::Key_Hyper_R, 0xffee},
    {Qt::Key_Help, 0xff6a},
};

// Keys of the numeric keypad, which the guest tells apart from those of the main block.
constexpr KeyEntry keypadKeys[] = {
    {Qt::Key_Asterisk, 0xffaa}, {Qt::Key_Plus, 0xffab},  {Qt::Key_Comma, 0xffac}, {Qt::Key_Minus, 0xffad},
    {Qt::Key_Period, 0xffae},   {Qt::Key_Slash, 0xffaf}, {Qt::Key_Equal, 0xffbd}, {Qt::Key_Enter, 0xff8d},
};

template<size_t N> quint32 lookUp(const KeyEntry (&table)[N], int key)
{
    for (const KeyEntry &entry : table) {
        if (entry.key == key) {
            return entry.keysym;
        }
    }
    return 0;
}

quint32 specialKeysym(int key)
{
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35) {
        return 0xffbe + quint32(key - Qt::Key_F1);
    }
    return lookUp(specialKeys, key);
}

quint32 keypadKeysym(int key)
{
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return 0xffb0 + quint32(key - Qt::Key_0);
    }
    return lookUp(keypadKeys, key);
}

// Latin-1 characters are their own keysyms; the rest of Unicode is offset by 0x01000000.
quint32 characterKeysym(char32_t character)
{
    if ((character >= 0x20 && character <= 0x7e) || (character >= 0xa0 && character <= 0xff)) {
        return quint32(character);
    }
    if (character > 0xff && character <= 0x10ffff) {
        return 0x01000000 | quint32(character);
    }
    return 0;
}

} // namespace

quint32 keysym(int key, Qt::KeyboardModifiers modifiers, const QString &text)
{
    if (modifiers & Qt::KeypadModifier) {
        if (const quint32 keypad = keypadKeysym(key)) {
            return keypad;
        }
    }
    if (const quint32 special = specialKeysym(key)) {
        return special;
    }
    const QList<uint> characters = text.toUcs4();
    if (characters.size() == 1) {
        if (const quint32 typed = characterKeysym(characters.first())) {
            return typed;
        }
    }
    // No printable text (Control held, or a release that carries none): the key itself says which.
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        const bool upper = modifiers & Qt::ShiftModifier;
        return quint32(upper ? key : key - Qt::Key_A + 'a');
    }
    if (key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde) {
        return quint32(key);
    }
    if (key >= Qt::Key_nobreakspace && key <= Qt::Key_ydiaeresis) {
        return quint32(key);
    }
    return 0;
}

int buttonMask(Qt::MouseButtons buttons)
{
    int mask = 0;
    if (buttons & Qt::LeftButton) {
        mask |= Left;
    }
    if (buttons & Qt::MiddleButton) {
        mask |= Middle;
    }
    if (buttons & Qt::RightButton) {
        mask |= Right;
    }
    return mask;
}

QRectF fitted(const QRectF &bounds, qreal aspect)
{
    if (bounds.isEmpty() || !(aspect > 0)) {
        return {bounds.center(), QSizeF(0, 0)};
    }
    QSizeF size(bounds.width(), bounds.width() / aspect);
    if (size.height() > bounds.height()) {
        size = QSizeF(bounds.height() * aspect, bounds.height());
    }
    QRectF result(QPointF(0, 0), size);
    result.moveCenter(bounds.center());
    return result;
}

QPoint framePosition(const QPointF &position, const QRectF &image, const QSize &frame)
{
    if (image.isEmpty() || frame.isEmpty()) {
        return {0, 0};
    }
    const qreal x = (position.x() - image.left()) * frame.width() / image.width();
    const qreal y = (position.y() - image.top()) * frame.height() / image.height();
    return {std::clamp(int(std::floor(x)), 0, frame.width() - 1),
            std::clamp(int(std::floor(y)), 0, frame.height() - 1)};
}

int WheelSteps::add(int delta)
{
    // A reversal starts afresh: what was left over belonged to the other direction.
    if ((delta > 0 && m_rest < 0) || (delta < 0 && m_rest > 0)) {
        m_rest = 0;
    }
    m_rest += delta;
    const int steps = m_rest / notch;
    m_rest -= steps * notch;
    return steps;
}

} // namespace GuestInput

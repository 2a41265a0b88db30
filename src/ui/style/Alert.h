#pragma once

#include <QMessageBox>
#include <QPointer>

#include <functional>

/**
 * A window-modal alert or confirmation with the page's own button texts. It opens without waiting,
 * so the event loop keeps running; each button runs its action, then the alert closes and deletes itself.
 */
class Alert
{
public:
    struct Button
    {
        QString text;
        QMessageBox::ButtonRole role = QMessageBox::AcceptRole;
        std::function<void()> action;
    };

    /**
     * Opens the alert over `parent`'s window. The first button with RejectRole answers Escape and
     * the window's close button, or else the first button.
     */
    static QMessageBox *open(QWidget *parent, const QString &title, const QString &message,
                             const QList<Button> &buttons);

    /** A message box, not yet open, that reads `title` above `message` in lines of a readable width. */
    static QMessageBox *box(QWidget *parent, const QString &title, const QString &message);

    /** The button of `box` that reads `text`, or nullptr. */
    static QAbstractButton *button(const QMessageBox *box, const QString &text);
};

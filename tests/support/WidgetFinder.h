#pragma once

#include <QAbstractButton>
#include <QMessageBox>
#include <QWidget>

#include <gtest/gtest.h>

/** Finds what the user sees under a widget and answers its alerts, as a page's tests need. */
namespace WidgetFinder {

/** The button reading `text` that the user can see under `root`, or nullptr. */
inline QAbstractButton *button(const QWidget &root, const QString &text)
{
    for (QAbstractButton *candidate : root.findChildren<QAbstractButton *>()) {
        if (candidate->text() == text && candidate->isVisibleTo(root.window())) {
            return candidate;
        }
    }
    return nullptr;
}

/** The alert with this title open over `root`, or nullptr. */
inline QMessageBox *alert(const QWidget &root, const QString &title)
{
    for (QMessageBox *box : root.findChildren<QMessageBox *>()) {
        if (box->isVisible() && box->text() == title) {
            return box;
        }
    }
    return nullptr;
}

/** Clicks the button of `box` that reads `text`; a missing alert or button fails the test. */
inline void answer(QMessageBox *box, const QString &text)
{
    ASSERT_NE(box, nullptr) << "no alert to answer with " << text.toStdString();
    QAbstractButton *target = nullptr;
    for (QAbstractButton *candidate : box->buttons()) {
        target = candidate->text() == text ? candidate : target;
    }
    ASSERT_NE(target, nullptr) << text.toStdString();
    target->click();
}

} // namespace WidgetFinder

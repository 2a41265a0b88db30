#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace ViewHelpers {

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

/** The texts of an alert's buttons, in order. */
inline QStringList buttonTexts(const QMessageBox *box)
{
    QStringList texts;
    for (const QAbstractButton *each : box->buttons()) {
        texts.append(each->text());
    }
    return texts;
}

inline void type(QLineEdit *editor, const QString &text)
{
    editor->selectAll();
    QTest::keyClick(editor, Qt::Key_Backspace);
    // One key event carrying the whole text, as an input method delivers it; QTest's key clicks take
    // only ASCII.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(editor, &press);
}

} // namespace ViewHelpers

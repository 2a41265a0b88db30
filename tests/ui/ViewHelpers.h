#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

namespace ViewHelpers {

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

#pragma once

#include "Wait.h"
#include "WidgetFinder.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
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

/** The first label under `root` whose text contains `text`, or nullptr. */
inline QLabel *labelContaining(const QWidget &root, const QString &text)
{
    for (QLabel *label : root.findChildren<QLabel *>()) {
        if (label->text().contains(text)) {
            return label;
        }
    }
    return nullptr;
}

/** Whether a label the user can see under `root` reads `text`. */
inline bool showsLabel(const QWidget &root, const QString &text)
{
    for (const QLabel *label : root.findChildren<QLabel *>()) {
        if (label->text() == text && label->isVisibleTo(&root)) {
            return true;
        }
    }
    return false;
}

/**
 * Waits for the alert titled `title` over `root`, checks that it explains itself with `detail` and
 * answers it with `choice`; a missing alert or choice fails the test.
 */
inline void answerAlert(const QWidget &root, const QString &title, const QString &detail,
                        const QString &choice)
{
    QMessageBox *box = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (box = WidgetFinder::alert(root, title)) != nullptr; }))
        << "no alert " << title.toStdString();
    EXPECT_EQ(box->informativeText(), detail) << title.toStdString();
    WidgetFinder::answer(box, choice);
}

/** The largest difference of one colour channel between two pictures of one size; 255 for any other. */
inline int largestDifference(const QImage &first, const QImage &second)
{
    const QImage a = first.convertToFormat(QImage::Format_RGB32);
    const QImage b = second.convertToFormat(QImage::Format_RGB32);
    if (a.size() != b.size()) {
        return 255;
    }
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return largest;
}

} // namespace ViewHelpers

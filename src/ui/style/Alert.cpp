#include "ui/style/Alert.h"

#include <QLabel>
#include <QPushButton>

namespace {

// Qt sizes a message box by its title, so a short title folded the message into a column a few
// words wide. The message's own label outlives the box laying itself out again for a new message.
constexpr int messageMinimumWidth = 320;

} // namespace

QMessageBox *Alert::box(QWidget *parent, const QString &title, const QString &message)
{
    auto *box = new QMessageBox(parent);
    box->setIcon(QMessageBox::NoIcon);
    box->setWindowTitle(title);
    box->setText(title);
    box->setInformativeText(message);
    // Messages carry names, paths and other programs' output: shown as written, never as markup.
    box->setTextFormat(Qt::PlainText);
    if (auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"))) {
        label->setTextFormat(Qt::PlainText);
        label->setMinimumWidth(messageMinimumWidth);
    }
    return box;
}

QMessageBox *Alert::open(QWidget *parent, const QString &title, const QString &message,
                         const QList<Button> &buttons)
{
    QMessageBox *box = Alert::box(parent, title, message);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QAbstractButton *escape = nullptr;
    QAbstractButton *first = nullptr;
    for (const Button &entry : buttons) {
        QPushButton *button = box->addButton(entry.text, entry.role);
        first = first ? first : button;
        if (!escape && entry.role == QMessageBox::RejectRole) {
            escape = button;
        }
        if (entry.action) {
            // Connected after the box's own handler, so the box has closed when the action runs.
            QObject::connect(button, &QAbstractButton::clicked, box, entry.action);
        }
    }
    // Qt settles the escape button when the box shows; one set afterwards is never used.
    box->setEscapeButton(escape ? escape : first);
    box->open();
    return box;
}

QAbstractButton *Alert::button(const QMessageBox *box, const QString &text)
{
    for (QAbstractButton *candidate : box->buttons()) {
        if (candidate->text() == text) {
            return candidate;
        }
    }
    return nullptr;
}

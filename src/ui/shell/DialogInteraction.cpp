#include "ui/shell/DialogInteraction.h"

#include "platform/Host.h"
#include "ui/style/Alert.h"

#include <QCoroSignal>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include <memory>

namespace {

template<typename Dialog> using Owned = std::unique_ptr<Dialog, void (*)(Dialog *)>;

template<typename Dialog> Owned<Dialog> own(Dialog *dialog)
{
    return Owned<Dialog>(dialog, [](Dialog *d) { d->deleteLater(); });
}

QCoro::Task<QString> runFileDialog(QFileDialog *dialog)
{
    const auto owned = own(dialog);
    dialog->open();
    const int result = co_await qCoro(dialog, &QDialog::finished);
    if (result != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        co_return QString();
    }
    co_return dialog->selectedFiles().first();
}

} // namespace

DialogInteraction::DialogInteraction(QWidget *window)
    : m_window(window)
{}

QCoro::Task<QString> DialogInteraction::chooseFile(QString title, QStringList nameFilters)
{
    auto *dialog = new QFileDialog(m_window, title);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters(nameFilters);
    co_return co_await runFileDialog(dialog);
}

QCoro::Task<QString> DialogInteraction::choosePackage(QString title, QStringList nameFilters)
{
    if (Host::packagesAreFiles()) {
        co_return co_await chooseFile(std::move(title), std::move(nameFilters));
    }
    auto *dialog = new QFileDialog(m_window, title);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    co_return co_await runFileDialog(dialog);
}

QCoro::Task<QString> DialogInteraction::chooseSaveLocation(QString title, QString suggestedName,
                                                           QStringList nameFilters)
{
    auto *dialog = new QFileDialog(m_window, title);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters(nameFilters);
    dialog->selectFile(suggestedName);
    co_return co_await runFileDialog(dialog);
}

QCoro::Task<int> DialogInteraction::ask(QString title, QString message, QStringList buttons)
{
    QMessageBox *box = Alert::box(m_window, title, message);
    const auto owned = own(box);
    QList<QAbstractButton *> added;
    if (buttons.isEmpty()) {
        added.append(box->addButton(QMessageBox::Ok));
    }
    for (const QString &text : buttons) {
        added.append(box->addButton(text, QMessageBox::AcceptRole));
    }
    box->open();
    co_await qCoro(box, &QMessageBox::finished);
    co_return int(added.indexOf(box->clickedButton()));
}

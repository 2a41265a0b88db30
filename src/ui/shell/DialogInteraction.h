#pragma once

#include "services/Interaction.h"

#include <QPointer>

class QWidget;

/** The questions models ask, answered with the platform's dialogs over the main window, without nested event loops. */
class DialogInteraction : public Interaction
{
public:
    explicit DialogInteraction(QWidget *window);

    QCoro::Task<QString> chooseFile(QString title, QStringList nameFilters) override;
    /** A folder dialog: outside macOS a package such as a ".utm" machine is an ordinary folder. */
    QCoro::Task<QString> choosePackage(QString title, QStringList nameFilters) override;
    QCoro::Task<QString> chooseSaveLocation(QString title, QString suggestedName, QStringList nameFilters) override;
    QCoro::Task<int> ask(QString title, QString message, QStringList buttons) override;

private:
    QPointer<QWidget> m_window;
};

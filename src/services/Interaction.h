#pragma once

#include <QCoroTask>
#include <QString>
#include <QStringList>

/**
 * The questions a model may put to the user: a file to open, a place to save, a choice between buttons.
 * The window installs dialogs; tests install a double that answers. With none installed every
 * question is answered as if the user cancelled.
 */
class Interaction
{
public:
    virtual ~Interaction() = default;

    static Interaction *current();
    static void install(Interaction *interaction);

    /** An existing file's path, or an empty string when the user cancelled. */
    virtual QCoro::Task<QString> chooseFile(QString title, QStringList nameFilters) = 0;
    /** A path to write to, or an empty string when the user cancelled. */
    virtual QCoro::Task<QString> chooseSaveLocation(QString title, QString suggestedName, QStringList nameFilters) = 0;
    /** The index of the chosen button, or -1 when the question was dismissed. */
    virtual QCoro::Task<int> ask(QString title, QString message, QStringList buttons) = 0;
};

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
    /**
     * An existing folder the user picks as one document (a ".utm" machine is a folder), or an empty
     * string when the user cancelled. Without a dialog of its own this asks like chooseFile.
     */
    virtual QCoro::Task<QString> choosePackage(QString title, QStringList nameFilters);
    /**
     * A path to write to, or an empty string when the user cancelled. `suggestedName` is a file name,
     * or a path whose folder the dialog starts in.
     */
    virtual QCoro::Task<QString> chooseSaveLocation(QString title, QString suggestedName, QStringList nameFilters) = 0;
    /** The index of the chosen button, or -1 when the question was dismissed. */
    virtual QCoro::Task<int> ask(QString title, QString message, QStringList buttons) = 0;
};

#pragma once

#include "services/Interaction.h"

#include <QList>
#include <QQueue>

/** Answers the model's questions from prepared replies and records what was asked. Installed while in scope. */
class FakeInteraction : public Interaction
{
public:
    struct Question
    {
        QString kind;
        QString title;
        QString detail;
        QStringList options;
    };

    FakeInteraction() { Interaction::install(this); }
    ~FakeInteraction() override { Interaction::install(nullptr); }

    /** Replies handed out in order; an empty queue answers as a cancel. */
    QQueue<QString> files;
    QQueue<int> choices;
    QList<Question> asked;

    QCoro::Task<QString> chooseFile(QString title, QStringList nameFilters) override
    {
        asked.append({QStringLiteral("file"), title, QString(), nameFilters});
        co_return files.isEmpty() ? QString() : files.dequeue();
    }
    QCoro::Task<QString> choosePackage(QString title, QStringList nameFilters) override
    {
        asked.append({QStringLiteral("package"), title, QString(), nameFilters});
        co_return files.isEmpty() ? QString() : files.dequeue();
    }
    QCoro::Task<QString> chooseSaveLocation(QString title, QString suggestedName, QStringList nameFilters) override
    {
        asked.append({QStringLiteral("save"), title, suggestedName, nameFilters});
        co_return files.isEmpty() ? QString() : files.dequeue();
    }
    QCoro::Task<int> ask(QString title, QString message, QStringList buttons) override
    {
        asked.append({QStringLiteral("ask"), title, message, buttons});
        co_return choices.isEmpty() ? -1 : choices.dequeue();
    }
};

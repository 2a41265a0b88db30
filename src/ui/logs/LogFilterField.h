#pragma once

#include <QLineEdit>

class GlobalLogModel;

/** The filter of a log view: typing sets the model's query, and the field shows the query the model holds. */
class LogFilterField : public QLineEdit
{
    Q_OBJECT

public:
    /** How long a view waits after the query changes before it filters, so a word typed filters once. */
    static constexpr int settleMs = 150;

    LogFilterField(GlobalLogModel &model, const QString &prompt, QWidget *parent = nullptr);
};

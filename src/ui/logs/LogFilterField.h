#pragma once

#include <QLineEdit>

class GlobalLogModel;

/** The filter of a log view: typing sets the model's query, and the field shows the query the model holds. */
class LogFilterField : public QLineEdit
{
    Q_OBJECT

public:
    LogFilterField(GlobalLogModel &model, const QString &prompt, QWidget *parent = nullptr);
};

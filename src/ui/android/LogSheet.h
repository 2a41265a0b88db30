#pragma once

#include <QDialog>
#include <QPointer>

class QPlainTextEdit;
class VMModel;

/** The tail of a device's emulator log, selectable, with a refresh button. */
class LogSheet : public QDialog
{
    Q_OBJECT

public:
    explicit LogSheet(VMModel &model, QWidget *parent = nullptr);

    QPlainTextEdit *logView() const { return m_text; }

private:
    void showLog();

    QPointer<VMModel> m_model;
    QPlainTextEdit *m_text;
};

#pragma once

#include <QDialog>
#include <QPointer>

class QLineEdit;
class VMModel;

/** Edits a device's display name; saving trims and stores it and notes the new name in the global log. */
class RenameSheet : public QDialog
{
    Q_OBJECT

public:
    explicit RenameSheet(VMModel &model, QWidget *parent = nullptr);

    QLineEdit *nameField() const { return m_field; }

private:
    void onSaveClicked();

    QPointer<VMModel> m_model;
    QLineEdit *m_field;
};

#pragma once

#include "ios/IOSInventory.h"

#include <QDialog>
#include <QPointer>

class IOSModel;
class QLineEdit;

/** Gives one simulator device a new name; the device is the one picked when the sheet opened. */
class IOSRenameSheet : public QDialog
{
    Q_OBJECT

public:
    IOSRenameSheet(IOSModel &model, IOSDevice device, QWidget *parent = nullptr);

    const IOSDevice &device() const { return m_device; }
    QLineEdit *nameField() const { return m_field; }

private:
    void onSaveClicked();

    QPointer<IOSModel> m_model;
    const IOSDevice m_device;
    QLineEdit *m_field;
};

#pragma once

#include <QDialog>

#include <functional>

class QLineEdit;

/**
 * The sheet "修改设备名称": a name field, an optional note under it, "取消" and "保存". Saving hands the
 * field's text to `save` and closes; what the name belongs to is the caller's to capture. A name that
 * is only white space cannot be saved.
 */
class NameSheet : public QDialog
{
    Q_OBJECT

public:
    NameSheet(const QString &name, const QString &note, std::function<void(const QString &)> save,
              QWidget *parent = nullptr);

    QLineEdit *nameField() const { return m_field; }

private:
    void onSaveClicked();

    std::function<void(const QString &)> m_save;
    QLineEdit *m_field;
};

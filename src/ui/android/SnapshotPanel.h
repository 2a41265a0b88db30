#pragma once

#include "ui/style/SoftGroupBox.h"

#include <QPointer>

class PillActionButton;
class QAction;
class QLabel;
class QMessageBox;
class QToolButton;
class VMModel;

/** The snapshot group of the device detail: the latest snapshot, create, roll back, and a menu for the rest.
 */
class SnapshotPanel : public SoftGroupBox
{
    Q_OBJECT

public:
    explicit SnapshotPanel(VMModel &model, QWidget *parent = nullptr);

    PillActionButton *createButton() const { return m_create; }
    PillActionButton *rollbackButton() const { return m_rollback; }
    QToolButton *menuButton() const { return m_menu; }
    QAction *deleteAction() const { return m_delete; }
    QAction *openFolderAction() const { return m_openFolder; }

private:
    void showState();
    void confirmRollback();
    void confirmDelete();
    void openFolder();

    QPointer<VMModel> m_model;
    QLabel *m_message;
    PillActionButton *m_create;
    PillActionButton *m_rollback;
    QToolButton *m_menu;
    QAction *m_delete;
    QAction *m_openFolder;
    QPointer<QMessageBox> m_confirmation;
};

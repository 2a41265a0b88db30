#pragma once

#include "ui/style/SnapshotButtons.h"
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

    PillActionButton *createButton() const { return m_buttons.create; }
    PillActionButton *rollbackButton() const { return m_buttons.rollback; }
    QToolButton *menuButton() const { return m_buttons.menu; }
    QAction *deleteAction() const { return m_buttons.deleteLatest; }
    QAction *openFolderAction() const { return m_buttons.openFolder; }

private:
    void showState();
    void confirmRollback();
    void confirmDelete();
    void openFolder();

    QPointer<VMModel> m_model;
    QLabel *m_message;
    SnapshotButtons m_buttons;
    QPointer<QMessageBox> m_confirmation;
};

#pragma once

#include "ui/style/SnapshotButtons.h"
#include "ui/style/SoftGroupBox.h"

#include <QPointer>

class PillActionButton;
class QAction;
class QLabel;
class QMessageBox;
class QProgressBar;
class QToolButton;
class WindowsModel;

/** "快照与一键回滚" of the Windows machine: the latest snapshot, create, roll back, and a menu for the rest.
 */
class WindowsSnapshotGroup : public SoftGroupBox
{
    Q_OBJECT

public:
    explicit WindowsSnapshotGroup(WindowsModel &model, QWidget *parent = nullptr);

    QLabel *messageLabel() const { return m_message; }
    PillActionButton *createButton() const { return m_buttons.create; }
    PillActionButton *rollbackButton() const { return m_buttons.rollback; }
    QToolButton *menuButton() const { return m_buttons.menu; }
    QAction *deleteAction() const { return m_buttons.deleteLatest; }
    QAction *openFolderAction() const { return m_buttons.openFolder; }
    QProgressBar *progress() const { return m_progress; }

    /** Whether the rollback or the delete confirmation is open. */
    bool confirmRollback() const { return m_confirmRollback; }
    bool confirmDeleteSnapshot() const { return m_confirmDeleteSnapshot; }
    QMessageBox *confirmation() const;

private:
    void showState();
    void askRollback();
    void askDelete();
    void openFolder();

    QPointer<WindowsModel> m_model;
    QLabel *m_message;
    SnapshotButtons m_buttons;
    QProgressBar *m_progress;
    bool m_confirmRollback = false;
    bool m_confirmDeleteSnapshot = false;
    QPointer<QMessageBox> m_confirmation;
};

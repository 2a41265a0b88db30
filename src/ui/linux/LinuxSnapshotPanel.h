#pragma once

#include "ui/style/SnapshotButtons.h"
#include "ui/style/SoftGroupBox.h"

#include <QPointer>

class LinuxModel;
class PillActionButton;
class QAction;
class QLabel;
class QMessageBox;
class QProgressBar;
class QToolButton;
class SymbolLabel;

/** "快照与一键回滚": the latest snapshot, create, roll back after a confirmation, and a menu for the rest. */
class LinuxSnapshotPanel : public SoftGroupBox
{
    Q_OBJECT

public:
    explicit LinuxSnapshotPanel(LinuxModel &model, QWidget *parent = nullptr);

    QLabel *messageLabel() const { return m_message; }
    QProgressBar *busyIndicator() const { return m_busy; }
    PillActionButton *createButton() const { return m_buttons.create; }
    PillActionButton *rollbackButton() const { return m_buttons.rollback; }
    QToolButton *menuButton() const { return m_buttons.menu; }
    QAction *deleteAction() const { return m_buttons.deleteLatest; }
    QAction *openFolderAction() const { return m_buttons.openFolder; }
    /** The open rollback or deletion question, else nullptr. */
    QMessageBox *confirmation() const;

private:
    void showState();
    void confirmRollback();
    void confirmDelete();
    void openFolder();

    QPointer<LinuxModel> m_model;
    SymbolLabel *m_symbol;
    QLabel *m_message;
    QProgressBar *m_busy;
    SnapshotButtons m_buttons;
    QPointer<QMessageBox> m_confirmation;
};

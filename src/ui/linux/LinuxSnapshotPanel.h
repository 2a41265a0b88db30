#pragma once

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
    PillActionButton *createButton() const { return m_create; }
    PillActionButton *rollbackButton() const { return m_rollback; }
    QToolButton *menuButton() const { return m_menu; }
    QAction *deleteAction() const { return m_delete; }
    QAction *openFolderAction() const { return m_openFolder; }
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
    PillActionButton *m_create;
    PillActionButton *m_rollback;
    QToolButton *m_menu;
    QAction *m_delete;
    QAction *m_openFolder;
    QPointer<QMessageBox> m_confirmation;
};

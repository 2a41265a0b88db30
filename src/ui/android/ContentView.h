#pragma once

#include <QPointer>
#include <QWidget>

class ErrorAlert;
class HardwareSettings;
class LicenseSheet;
class LogSheet;
class PillActionButton;
class QLabel;
class QMessageBox;
class QProgressBar;
class QPushButton;
class NameSheet;
class SnapshotPanel;
class VMModel;

/**
 * The detail of one Android device: its name, state and progress, the actions its state allows, its
 * hardware settings and snapshots, and the sheets and alerts that belong to it. Everything it shows
 * follows the device's published fields; it acts only through the device's operations.
 */
class ContentView : public QWidget
{
    Q_OBJECT

public:
    explicit ContentView(VMModel &model, QWidget *parent = nullptr);

    VMModel *model() const;
    PillActionButton *renameButton() const { return m_rename; }
    PillActionButton *installButton() const { return m_install; }
    PillActionButton *startButton() const { return m_start; }
    PillActionButton *stopButton() const { return m_stop; }
    PillActionButton *installApkButton() const { return m_installApk; }
    PillActionButton *forceQuitButton() const { return m_forceQuit; }
    HardwareSettings *hardware() const { return m_hardware; }
    SnapshotPanel *snapshots() const { return m_snapshots; }
    QLabel *statusLabel() const { return m_status; }
    QProgressBar *progressBar() const { return m_progress; }
    QLabel *percentLabel() const { return m_percent; }
    /** The sheets and the alert while they are open, else nullptr. */
    NameSheet *renameSheet() const;
    LogSheet *logSheet() const;
    LicenseSheet *licenseSheet() const;
    QMessageBox *errorAlert() const;

private:
    QWidget *buildHeader();
    QWidget *buildInformation();
    void showState();
    void showLicense();
    void openRenameSheet();
    void openLogSheet();
    void saveConfiguration();

    QPointer<VMModel> m_model;
    QLabel *m_name = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_detail = nullptr;
    PillActionButton *m_rename = nullptr;
    QWidget *m_progressRow = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_percent = nullptr;
    QPushButton *m_cancelInstall = nullptr;
    PillActionButton *m_install = nullptr;
    QWidget *m_installCell = nullptr;
    PillActionButton *m_start = nullptr;
    QWidget *m_startCell = nullptr;
    PillActionButton *m_stop = nullptr;
    PillActionButton *m_installApk = nullptr;
    PillActionButton *m_forceQuit = nullptr;
    HardwareSettings *m_hardware = nullptr;
    SnapshotPanel *m_snapshots = nullptr;
    QPointer<NameSheet> m_renameSheet;
    QPointer<LogSheet> m_logSheet;
    QPointer<LicenseSheet> m_licenseSheet;
    ErrorAlert *m_errorAlert = nullptr;
    bool m_saving = false;
};

#pragma once

#include "ui/linux/LinuxRules.h"

#include <QPointer>
#include <QWidget>

class ErrorAlert;
class LinuxDisplay;
class LinuxModel;
class LinuxSettingsPanel;
class LinuxSnapshotPanel;
class PillActionButton;
class QLabel;
class QMessageBox;
class QProgressBar;
class QScrollArea;
class Reveal;
class ScreenPlaceholder;

/**
 * The page of the "linux" tab: the machine's status, the download links while no usable ISO is
 * chosen, its settings, start, stop and force stop, its latest snapshot, and its screen. It follows
 * the model's published fields and acts only through the model's operations.
 */
class LinuxView : public QWidget
{
    Q_OBJECT

public:
    /** The inline screen is never lower than this. */
    static constexpr int displayMinimumHeight = 480;
    static constexpr int placeholderHeight = 220;
    /** Space kept above and below the screen when the page brings it into view. */
    static constexpr int screenViewMargin = 12;

    explicit LinuxView(LinuxModel &model, QWidget *parent = nullptr);

    PillActionButton *separateWindowButton() const { return m_separateWindow; }
    PillActionButton *dataFolderButton() const { return m_dataFolder; }
    QLabel *statusLabel() const { return m_status; }
    Reveal *downloads() const { return m_downloads; }
    QProgressBar *busyIndicator() const { return m_busy; }
    LinuxSettingsPanel *settings() const { return m_settings; }
    QWidget *actionRow() const { return m_actions; }
    PillActionButton *startButton() const { return m_start; }
    PillActionButton *stopButton() const { return m_stop; }
    PillActionButton *forceStopButton() const { return m_forceStop; }
    LinuxSnapshotPanel *snapshots() const { return m_snapshots; }
    LinuxDisplay *display() const { return m_display; }
    QLabel *separateWindowNote() const { return m_separateNote; }
    ScreenPlaceholder *placeholder() const { return m_placeholder; }
    /** Which of the three the display area shows. */
    LinuxRules::DisplayCase displayCase() const { return m_displayCase; }
    /** The error alert while it is open, else nullptr. */
    QMessageBox *errorAlert() const;

Q_SIGNALS:
    /** "独立窗口": the application shows the window with the screen. */
    void openSeparateWindowRequested();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildHeader();
    QWidget *buildDownloads();
    QWidget *buildActions();
    QWidget *buildDisplayArea();
    void showState();
    void onConfigurationChanged();
    void openDataFolder();
    /** Scrolls the page so the whole screen shows, and keeps it so until the user scrolls. */
    void revealScreen();
    void keepScreenInView();

    QPointer<LinuxModel> m_model;
    QScrollArea *m_scroll = nullptr;
    PillActionButton *m_separateWindow = nullptr;
    PillActionButton *m_dataFolder = nullptr;
    QLabel *m_status = nullptr;
    Reveal *m_downloads = nullptr;
    QProgressBar *m_busy = nullptr;
    LinuxSettingsPanel *m_settings = nullptr;
    QWidget *m_actions = nullptr;
    PillActionButton *m_start = nullptr;
    PillActionButton *m_stop = nullptr;
    PillActionButton *m_forceStop = nullptr;
    LinuxSnapshotPanel *m_snapshots = nullptr;
    LinuxDisplay *m_display = nullptr;
    QLabel *m_keyboardHint = nullptr;
    QLabel *m_separateNote = nullptr;
    ScreenPlaceholder *m_placeholder = nullptr;
    LinuxRules::DisplayCase m_displayCase = LinuxRules::DisplayCase::Placeholder;
    ErrorAlert *m_errorAlert = nullptr;
    bool m_saving = false;
    bool m_revealOnShow = false;
    bool m_followScreen = false;
};

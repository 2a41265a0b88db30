#pragma once

#include <QPointer>
#include <QWidget>

class ErrorAlert;
class PillActionButton;
class QAbstractButton;
class QLabel;
class QMessageBox;
class QProgressBar;
class QPushButton;
class SymbolLabel;
class WindowsModel;
class WindowsSettingsGroup;
class WindowsSnapshotGroup;

/**
 * The Windows page: the checks before a machine can be built (never a download), the links to what the
 * user prepares alone, the hardware of new machines, opening or associating a UTM machine, and its
 * snapshots. It never polls; everything it shows follows the model.
 */
class WindowsView : public QWidget
{
    Q_OBJECT

public:
    explicit WindowsView(WindowsModel &model, QWidget *parent = nullptr);

    QLabel *messageLabel() const { return m_message; }
    QLabel *preparationLabel() const { return m_preparation; }
    PillActionButton *refreshButton() const { return m_refresh; }
    QLabel *isoPathLabel() const { return m_isoPath; }
    PillActionButton *chooseISOButton() const { return m_chooseISO; }
    PillActionButton *findISOButton() const { return m_findISO; }
    PillActionButton *recheckButton() const { return m_recheck; }
    SymbolLabel *isoCheckSymbol() const { return m_isoCheckSymbol; }
    QLabel *isoCheckLabel() const { return m_isoCheck; }
    /** The three numbered links, then the prominent one. */
    QList<QAbstractButton *> links() const { return m_links; }
    WindowsSettingsGroup *settings() const { return m_settings; }
    PillActionButton *openButton() const { return m_open; }
    PillActionButton *associateButton() const { return m_associate; }
    QProgressBar *projectProgress() const { return m_projectProgress; }
    WindowsSnapshotGroup *snapshots() const { return m_snapshots; }
    QMessageBox *errorAlert() const;

private:
    QWidget *buildTitle();
    QWidget *buildPreparation();
    QWidget *buildLinks();
    QWidget *buildProjectRow();
    void showState();

    QPointer<WindowsModel> m_model;
    QLabel *m_message = nullptr;
    QLabel *m_preparation = nullptr;
    PillActionButton *m_refresh = nullptr;
    QLabel *m_isoPath = nullptr;
    PillActionButton *m_chooseISO = nullptr;
    PillActionButton *m_findISO = nullptr;
    PillActionButton *m_recheck = nullptr;
    SymbolLabel *m_isoCheckSymbol = nullptr;
    QLabel *m_isoCheck = nullptr;
    QList<QAbstractButton *> m_links;
    WindowsSettingsGroup *m_settings = nullptr;
    PillActionButton *m_open = nullptr;
    PillActionButton *m_associate = nullptr;
    QProgressBar *m_projectProgress = nullptr;
    WindowsSnapshotGroup *m_snapshots = nullptr;
    ErrorAlert *m_errorAlert = nullptr;
};

#pragma once

#include <QPointer>
#include <QWidget>

#include <optional>

class ContentView;
class DeviceGlassGroup;
class ErrorAlert;
class InstanceStatus;
class PillActionButton;
class QMessageBox;
class QScrollArea;
class QStackedWidget;
class VMFleet;

/**
 * The Android page: the fleet's actions, a row with one entry per device, and under it the detail of
 * the selected device, or an invitation to add one when there is none.
 */
class FleetView : public QWidget
{
    Q_OBJECT

public:
    explicit FleetView(VMFleet &fleet, QWidget *parent = nullptr);

    PillActionButton *addButton() const { return m_add; }
    PillActionButton *duplicateButton() const { return m_duplicate; }
    PillActionButton *deleteButton() const { return m_delete; }
    const QList<InstanceStatus *> &entries() const { return m_entries; }
    /** The detail of the selected device; nullptr while the fleet is empty. */
    ContentView *contentView() const;
    /** The id whose deletion is being confirmed. */
    const std::optional<QString> &deletionId() const { return m_deletionId; }
    QMessageBox *deleteConfirmation() const;
    QMessageBox *errorAlert() const;

private:
    QWidget *buildEmptyState();
    void showDevices();
    void showSelection();
    void showActions();
    void confirmDeletion();
    void replaceContent();

    VMFleet &m_fleet;
    PillActionButton *m_add;
    PillActionButton *m_duplicate;
    PillActionButton *m_delete;
    QStackedWidget *m_stack;
    QWidget *m_emptyState;
    QWidget *m_devices;
    DeviceGlassGroup *m_row;
    QList<InstanceStatus *> m_entries;
    QScrollArea *m_detail;
    QPointer<ContentView> m_content;
    QString m_contentId;
    std::optional<QString> m_deletionId;
    QPointer<QMessageBox> m_confirmation;
    ErrorAlert *m_errorAlert = nullptr;
};

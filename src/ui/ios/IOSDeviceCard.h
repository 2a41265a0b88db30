#pragma once

#include "ios/IOSInventory.h"
#include "ui/style/GlassSurface.h"

#include <QPointer>

class IOSModel;
class PillActionButton;
class QAction;
class QLabel;
class QToolButton;

/**
 * One simulator device on the iOS page: its name and state, the actions its state allows, and the line
 * of its newest snapshot. Actions that need the user's confirmation are handed to the page as requests
 * carrying a copy of the device, so a later refresh of the list cannot change their target.
 */
class IOSDeviceCard : public GlassSurface
{
    Q_OBJECT

public:
    explicit IOSDeviceCard(IOSModel &model, QWidget *parent = nullptr);

    const IOSDevice &device() const { return m_device; }
    void setDevice(const IOSDevice &device);

    QLabel *nameLabel() const { return m_name; }
    QLabel *stateLabel() const { return m_state; }
    QLabel *snapshotLabel() const { return m_snapshot; }
    PillActionButton *bootButton() const { return m_boot; }
    PillActionButton *shutdownButton() const { return m_shutdown; }
    PillActionButton *forceQuitButton() const { return m_forceQuit; }
    PillActionButton *deleteButton() const { return m_delete; }
    PillActionButton *renameButton() const { return m_rename; }
    PillActionButton *createSnapshotButton() const { return m_createSnapshot; }
    PillActionButton *rollbackButton() const { return m_rollback; }
    QToolButton *snapshotMenuButton() const { return m_menu; }
    QAction *deleteSnapshotAction() const { return m_deleteSnapshot; }

Q_SIGNALS:
    void deleteRequested(IOSDevice device);
    void renameRequested(IOSDevice device);
    void rollbackRequested(IOSDevice device);
    void deleteSnapshotRequested(IOSDevice device);

private:
    QWidget *buildSnapshotLine();
    void showState();
    void operate(const QString &action);

    QPointer<IOSModel> m_model;
    IOSDevice m_device;
    QLabel *m_name;
    QLabel *m_state;
    QLabel *m_snapshot;
    PillActionButton *m_boot;
    PillActionButton *m_shutdown;
    PillActionButton *m_forceQuit;
    PillActionButton *m_delete;
    PillActionButton *m_rename;
    PillActionButton *m_createSnapshot;
    PillActionButton *m_rollback;
    QToolButton *m_menu;
    QAction *m_deleteSnapshot;
};

#pragma once

#include "ios/IOSInventory.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <optional>

class ErrorAlert;
class IOSDeviceCard;
class IOSModel;
class NameSheet;
class PillActionButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QProgressBar;
class QBoxLayout;
class SoftGroupBox;

/**
 * The iPhone page: what Xcode must provide, the inventory's state, one card per device created here,
 * and the form that adds a device. Everything it shows follows the model; it reads the inventory the
 * first time it is shown, and afterwards only when asked.
 */
class IOSView : public QWidget
{
    Q_OBJECT

public:
    explicit IOSView(IOSModel &model, QWidget *parent = nullptr);

    PillActionButton *downloadXcodeButton() const { return m_downloadXcode; }
    PillActionButton *openXcodeButton() const { return m_openXcode; }
    PillActionButton *refreshButton() const { return m_refresh; }
    QLabel *statusLabel() const { return m_status; }
    QWidget *runtimeHint() const { return m_hint; }
    const QList<IOSDeviceCard *> &cards() const { return m_cards; }
    QLineEdit *nameField() const { return m_nameField; }
    QComboBox *runtimePicker() const { return m_runtimePicker; }
    QComboBox *typePicker() const { return m_typePicker; }
    PillActionButton *addButton() const { return m_add; }

    /** The devices the open confirmations and the rename sheet act on. */
    const std::optional<IOSDevice> &deletion() const { return m_deletion; }
    const std::optional<IOSDevice> &rollbackTarget() const { return m_rollbackTarget; }
    const std::optional<IOSDevice> &deleteSnapshotTarget() const { return m_deleteSnapshotTarget; }
    /** The open rename sheet, the open confirmation and the error alert, else nullptr. */
    NameSheet *renameSheet() const;
    QMessageBox *confirmation() const;
    QMessageBox *errorAlert() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildHeader();
    QWidget *buildRuntimeHint();
    SoftGroupBox *buildAddGroup();
    void showStatus();
    void showDevices();
    void showRuntimes();
    void showTypes();
    void showName();
    void nameAfterType();
    void openXcode();
    void confirmDeletion(const IOSDevice &device);
    void openRenameSheet(const IOSDevice &device);
    void confirmRollback(const IOSDevice &device);
    void confirmDeleteSnapshot(const IOSDevice &device);

    QPointer<IOSModel> m_model;
    PillActionButton *m_downloadXcode = nullptr;
    PillActionButton *m_openXcode = nullptr;
    PillActionButton *m_refresh = nullptr;
    QLabel *m_status = nullptr;
    QProgressBar *m_activity = nullptr;
    QWidget *m_hint = nullptr;
    QWidget *m_cardGroup = nullptr;
    QBoxLayout *m_cardColumn = nullptr;
    QList<IOSDeviceCard *> m_cards;
    QLineEdit *m_nameField = nullptr;
    QComboBox *m_runtimePicker = nullptr;
    QComboBox *m_typePicker = nullptr;
    PillActionButton *m_add = nullptr;
    bool m_refreshedOnce = false;

    std::optional<IOSDevice> m_deletion;
    std::optional<IOSDevice> m_rollbackTarget;
    std::optional<IOSDevice> m_deleteSnapshotTarget;
    QPointer<NameSheet> m_renameSheet;
    QPointer<QMessageBox> m_confirmation;
    ErrorAlert *m_errorAlert = nullptr;
};

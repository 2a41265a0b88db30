#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

class DeviceLogSheet;
class GlobalLogSheet;
class PillActionButton;
class QComboBox;
class QLabel;
class QSettings;
class SoftGroupBox;
class Stepper;
class ToggleSwitch;
class VMFleet;

/**
 * The settings page: appearance, the defaults of new Android devices, the shared memory budget, the
 * experimental phone tool and developer mode, and the way to the global log and the data folders.
 * Every control reads and writes the preference store directly and follows changes made elsewhere.
 */
class AppSettingsView : public QWidget
{
    Q_OBJECT

public:
    explicit AppSettingsView(VMFleet &fleet, QWidget *parent = nullptr);
    ~AppSettingsView() override;

    /** The section groups, top to bottom. */
    const QList<SoftGroupBox *> &sections() const { return m_sections; }
    QComboBox *themePicker() const { return m_theme; }
    QComboBox *accentPicker() const { return m_accent; }
    ToggleSwitch *animationsSwitch() const { return m_animations; }
    ToggleSwitch *glassSwitch() const { return m_glass; }
    Stepper *coresStepper() const { return m_cores; }
    Stepper *memoryStepper() const { return m_memory; }
    ToggleSwitch *softwareGPUSwitch() const { return m_softwareGPU; }
    Stepper *budgetStepper() const { return m_budget; }
    QLabel *budgetNote() const { return m_budgetNote; }
    ToggleSwitch *vphoneSwitch() const { return m_vphone; }
    ToggleSwitch *developerSwitch() const { return m_developer; }
    QLabel *toolStatus() const { return m_toolStatus; }
    QLabel *currentDevice() const { return m_currentDevice; }
    /** The sheets while they are open, else nullptr. */
    GlobalLogSheet *globalLogSheet() const;
    DeviceLogSheet *deviceLogSheet() const;

    /** Looks again whether the phone tool is in place. */
    void showToolStatus();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    SoftGroupBox *buildAppearance();
    SoftGroupBox *buildNewDevices();
    SoftGroupBox *buildBudget();
    SoftGroupBox *buildExperimental();
    SoftGroupBox *buildDiagnostics();
    void showPreferences();
    void showCurrentDevice();
    void onDeveloperModeToggled(bool on);
    void openGlobalLog();
    void openDeviceLog();

    VMFleet &m_fleet;
    std::unique_ptr<QSettings> m_store;
    QList<SoftGroupBox *> m_sections;
    QComboBox *m_theme = nullptr;
    QComboBox *m_accent = nullptr;
    ToggleSwitch *m_animations = nullptr;
    ToggleSwitch *m_glass = nullptr;
    Stepper *m_cores = nullptr;
    Stepper *m_memory = nullptr;
    ToggleSwitch *m_softwareGPU = nullptr;
    Stepper *m_budget = nullptr;
    QLabel *m_budgetNote = nullptr;
    ToggleSwitch *m_vphone = nullptr;
    ToggleSwitch *m_developer = nullptr;
    QLabel *m_toolStatus = nullptr;
    QLabel *m_currentDevice = nullptr;
    PillActionButton *m_openDevice = nullptr;
    PillActionButton *m_deviceLog = nullptr;
    QMetaObject::Connection m_deviceName;
    QPointer<GlobalLogSheet> m_globalLogSheet;
    QPointer<DeviceLogSheet> m_deviceLogSheet;
};

#pragma once

#include "ui/style/SoftGroupBox.h"

#include <QPointer>

#include <functional>

class ElidedLabel;
class LinuxModel;
class PillActionButton;
class QComboBox;
class Stepper;
class ToggleSwitch;
struct LinuxConfiguration;

/**
 * "虚拟机配置": processors, memory, disk size, resolution, the installer ISO and whether to attach it.
 * Every change goes into the model's configuration at once; the page decides whether to save it.
 */
class LinuxSettingsPanel : public SoftGroupBox
{
    Q_OBJECT

public:
    explicit LinuxSettingsPanel(LinuxModel &model, QWidget *parent = nullptr);

    Stepper *coresStepper() const { return m_cores; }
    Stepper *memoryStepper() const { return m_memory; }
    Stepper *diskStepper() const { return m_disk; }
    QComboBox *resolutionMenu() const { return m_resolution; }
    PillActionButton *chooseISOButton() const { return m_chooseISO; }
    ElidedLabel *isoName() const { return m_isoName; }
    ToggleSwitch *attachISOSwitch() const { return m_attachISO; }

private:
    void edit(const std::function<void(LinuxConfiguration &)> &change);
    void chooseResolution(int index);
    void showConfiguration();
    void showState();

    QPointer<LinuxModel> m_model;
    Stepper *m_cores;
    Stepper *m_memory;
    Stepper *m_disk;
    QComboBox *m_resolution;
    PillActionButton *m_chooseISO;
    ElidedLabel *m_isoName;
    ToggleSwitch *m_attachISO;
};

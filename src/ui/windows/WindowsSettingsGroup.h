#pragma once

#include "ui/style/SoftGroupBox.h"

#include <QPointer>

#include <functional>

class PillActionButton;
class Stepper;
class WindowsModel;
struct WindowsConfiguration;

/**
 * "新设备配置": the hardware of machines built from now on, stored at each step, and the button that
 * builds one from the checked ISO.
 */
class WindowsSettingsGroup : public SoftGroupBox
{
    Q_OBJECT

public:
    explicit WindowsSettingsGroup(WindowsModel &model, QWidget *parent = nullptr);

    Stepper *coresStepper() const { return m_cores; }
    Stepper *memoryStepper() const { return m_memory; }
    Stepper *diskStepper() const { return m_disk; }
    PillActionButton *createButton() const { return m_create; }

private:
    void edit(const std::function<void(WindowsConfiguration &)> &change);
    void showConfiguration();
    void showState();

    QPointer<WindowsModel> m_model;
    Stepper *m_cores;
    Stepper *m_memory;
    Stepper *m_disk;
    PillActionButton *m_create;
};

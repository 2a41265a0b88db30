#pragma once

#include "ui/style/SoftGroupBox.h"

#include <QPointer>

#include <functional>

class HardwareNumberField;
class QComboBox;
class QLabel;
class ToggleSwitch;
class VMModel;
struct VMConfiguration;

/**
 * The hardware group of the device detail: cores, memory, screen and compatible rendering. It edits the
 * device's configuration directly and can be changed only while the device is off and idle.
 */
class HardwareSettings : public SoftGroupBox
{
    Q_OBJECT

public:
    explicit HardwareSettings(VMModel &model, QWidget *parent = nullptr);

    HardwareNumberField *coresField() const { return m_cores; }
    HardwareNumberField *memoryField() const { return m_memory; }
    QLabel *coresHint() const { return m_coresHint; }
    QLabel *memoryHint() const { return m_memoryHint; }
    QComboBox *screenPicker() const { return m_screen; }
    ToggleSwitch *softwareRendering() const { return m_softwareGPU; }

    /** Takes what is typed but not yet confirmed, so an action that follows sees the numbers shown. */
    void commitPendingEdits();

private:
    void showConfiguration();
    void showState();
    void edit(const std::function<void(VMConfiguration &)> &change);

    QPointer<VMModel> m_model;
    HardwareNumberField *m_cores;
    HardwareNumberField *m_memory;
    QLabel *m_coresHint;
    QLabel *m_memoryHint;
    QComboBox *m_screen;
    ToggleSwitch *m_softwareGPU;
};

#include "ui/android/HardwareSettings.h"

#include "android/VMConfiguration.h"
#include "android/VMModel.h"
#include "platform/Host.h"
#include "ui/android/DeviceRules.h"
#include "ui/android/HardwareNumberField.h"
#include "ui/style/Controls.h"
#include "ui/style/SymbolLabel.h"
#include "ui/style/ToggleSwitch.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>

namespace {

constexpr qint64 mebibytesPerGibibyte = 1024;

} // namespace

HardwareSettings::HardwareSettings(VMModel &model, QWidget *parent)
    : SoftGroupBox(QStringLiteral("硬件配置"), parent)
    , m_model(&model)
{
    const Host &host = Host::current();
    const AppPreferences::Range cores = DeviceRules::coresRange(host.activeProcessorCount());
    const AppPreferences::Range memory = DeviceRules::memoryGBRange(host.physicalMemory());
    m_cores = new HardwareNumberField(QStringLiteral("CPU 核心数"), cores);
    m_memory = new HardwareNumberField(QStringLiteral("内存 GB"), memory);
    m_coresHint = Controls::caption(DeviceRules::coresHint(cores), Controls::CaptionSize::Body,
                                    Controls::CaptionWrap::SingleLine);
    m_memoryHint = Controls::caption(DeviceRules::memoryHint(memory), Controls::CaptionSize::Body,
                                     Controls::CaptionWrap::SingleLine);
    m_screen = new QComboBox;
    for (const VMConfiguration::ScreenPreset &preset : VMConfiguration::screenPresets()) {
        m_screen->addItem(preset.label);
    }
    m_softwareGPU = new ToggleSwitch;
    m_softwareGPU->setAccessibleName(QStringLiteral("兼容渲染"));

    auto *grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(12);
    grid->setColumnStretch(2, 1);
    const auto addRow = [grid](int row, const QString &symbol, const QString &title, QWidget *control,
                               QWidget *hint) {
        if (!symbol.isEmpty()) {
            grid->addWidget(new SymbolLabel(symbol), row, 0);
        }
        grid->addWidget(new QLabel(title), row, 1);
        grid->addWidget(control, row, 3, Qt::AlignRight);
        if (hint) {
            grid->addWidget(hint, row, 4);
        }
    };
    addRow(0, QStringLiteral("cpu"), QStringLiteral("CPU 核心"), m_cores, m_coresHint);
    addRow(1, QStringLiteral("memorychip"), QStringLiteral("运行内存"), m_memory, m_memoryHint);
    addRow(2, QStringLiteral("rectangle.expand.vertical"), QStringLiteral("屏幕尺寸"), m_screen, nullptr);
    addRow(3, QString(), QStringLiteral("兼容渲染"), m_softwareGPU, nullptr);
    auto *note = Controls::caption(QStringLiteral("黑屏或图形异常时开启；正常使用保持关闭。"));
    grid->addWidget(note, 4, 1, 1, 4);
    contentLayout()->addLayout(grid);

    connect(m_cores, &HardwareNumberField::valueEdited, this,
            [this](qint64 value) { edit([value](VMConfiguration &c) { c.cores = value; }); });
    connect(m_memory, &HardwareNumberField::valueEdited, this, [this](qint64 value) {
        edit([value](VMConfiguration &c) { c.memoryMB = value * mebibytesPerGibibyte; });
    });
    connect(m_screen, &QComboBox::activated, this, [this](int index) {
        const QString label = m_screen->itemText(index);
        edit([label](VMConfiguration &c) { c.screen = label; });
    });
    connect(m_softwareGPU, &QAbstractButton::toggled, this,
            [this](bool on) { edit([on](VMConfiguration &c) { c.softwareGPU = on; }); });

    connect(&model, &VMModel::configurationChanged, this, &HardwareSettings::showConfiguration);
    connect(&model, &VMModel::runningChanged, this, &HardwareSettings::showState);
    connect(&model, &VMModel::busyChanged, this, &HardwareSettings::showState);
    showConfiguration();
    showState();
}

void HardwareSettings::commitPendingEdits()
{
    m_cores->commit();
    m_memory->commit();
}

void HardwareSettings::edit(const std::function<void(VMConfiguration &)> &change)
{
    if (!m_model) {
        return;
    }
    // Locking the form takes the focus from a field, which commits what it held: too late, the device
    // is already starting or being copied with the settings it had.
    if (!DeviceRules::hardwareEditable(DeviceRules::State::of(*m_model))) {
        showConfiguration();
        return;
    }
    VMConfiguration configuration = m_model->configuration();
    change(configuration);
    m_model->setConfiguration(configuration);
}

void HardwareSettings::showConfiguration()
{
    if (!m_model) {
        return;
    }
    const VMConfiguration &configuration = m_model->configuration();
    m_cores->setValue(configuration.cores);
    m_memory->setValue(configuration.memoryMB / mebibytesPerGibibyte);
    m_screen->setCurrentIndex(m_screen->findText(VMConfiguration::screenPreset(configuration.screen).label));
    const QSignalBlocker quiet(m_softwareGPU);
    m_softwareGPU->setChecked(configuration.softwareGPU);
}

void HardwareSettings::showState()
{
    if (!m_model) {
        return;
    }
    const DeviceRules::State state = DeviceRules::State::of(*m_model);
    setEnabled(DeviceRules::hardwareEditable(state));
    setSubtitle(DeviceRules::hardwareSubtitle(state));
}

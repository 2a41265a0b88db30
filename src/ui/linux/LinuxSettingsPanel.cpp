#include "ui/linux/LinuxSettingsPanel.h"

#include "linux/LinuxModel.h"
#include "platform/Host.h"
#include "ui/linux/LinuxRules.h"
#include "ui/style/Controls.h"
#include "ui/style/ElidedLabel.h"
#include "ui/style/PillActionButton.h"
#include "ui/style/Stepper.h"
#include "ui/style/ToggleSwitch.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

LinuxSettingsPanel::LinuxSettingsPanel(LinuxModel &model, QWidget *parent)
    : SoftGroupBox(QStringLiteral("虚拟机配置"), parent)
    , m_model(&model)
{
    const Host &host = Host::current();
    m_cores = new Stepper(QStringLiteral("CPU："), QStringLiteral(" 核"),
                          LinuxRules::coresRange(host.activeProcessorCount()));
    m_memory = new Stepper(QStringLiteral("内存："), QStringLiteral(" GB"),
                           LinuxRules::memoryGBRange(host.physicalMemory()));
    m_disk = new Stepper(QStringLiteral("磁盘："), QStringLiteral(" GB"), LinuxRules::diskGBRange(),
                         LinuxRules::diskGBStep);
    auto *steppers = new QHBoxLayout;
    steppers->setSpacing(28);
    steppers->addWidget(m_cores);
    steppers->addWidget(m_memory);
    steppers->addWidget(m_disk);
    steppers->addStretch();

    m_resolution = new QComboBox;
    for (const LinuxRules::Resolution &choice : LinuxRules::resolutions()) {
        m_resolution->addItem(choice.label, choice.tag);
    }
    m_resolution->setAccessibleName(QStringLiteral("分辨率"));
    auto *resolution = new QHBoxLayout;
    resolution->setSpacing(10);
    resolution->addWidget(new QLabel(QStringLiteral("分辨率")));
    resolution->addWidget(m_resolution);
    resolution->addStretch();

    m_chooseISO = Controls::pill(QStringLiteral("选择 Linux ISO"));
    m_isoName = new ElidedLabel;
    auto *iso = new QHBoxLayout;
    iso->setSpacing(12);
    iso->addWidget(m_chooseISO);
    iso->addWidget(m_isoName, 1);

    m_attachISO = new ToggleSwitch;
    m_attachISO->setAccessibleName(QStringLiteral("启动时挂载安装 ISO"));
    auto *attach = new QHBoxLayout;
    attach->setSpacing(10);
    attach->addWidget(m_attachISO);
    attach->addWidget(new QLabel(QStringLiteral("启动时挂载安装 ISO")));
    attach->addStretch();

    auto *note =
        Controls::caption(QStringLiteral("安装完成并关机后，取消此选项，再从磁盘启动。ISO 文件保持在原位置；"
                                         "虚拟磁盘按实际写入占用空间，创建后不能在这里缩小。"));

    contentLayout()->addLayout(steppers);
    contentLayout()->addLayout(resolution);
    contentLayout()->addLayout(iso);
    contentLayout()->addLayout(attach);
    contentLayout()->addWidget(note);

    connect(m_cores, &Stepper::valueEdited, this,
            [this](qint64 value) { edit([value](LinuxConfiguration &c) { c.cores = value; }); });
    connect(m_memory, &Stepper::valueEdited, this,
            [this](qint64 value) { edit([value](LinuxConfiguration &c) { c.memoryGB = value; }); });
    connect(m_disk, &Stepper::valueEdited, this,
            [this](qint64 value) { edit([value](LinuxConfiguration &c) { c.diskGB = value; }); });
    connect(m_resolution, &QComboBox::activated, this, &LinuxSettingsPanel::chooseResolution);
    connect(m_chooseISO, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            m_model->chooseISO();
        }
    });
    connect(m_attachISO, &QAbstractButton::toggled, this,
            [this](bool on) { edit([on](LinuxConfiguration &c) { c.attachISO = on; }); });

    connect(&model, &LinuxModel::configurationChanged, this, &LinuxSettingsPanel::showConfiguration);
    for (auto signal : {&LinuxModel::runningChanged, &LinuxModel::busyChanged, &LinuxModel::preparedChanged,
                        &LinuxModel::snapshotBusyChanged}) {
        connect(&model, signal, this, &LinuxSettingsPanel::showState);
    }
    showConfiguration();
    showState();
}

void LinuxSettingsPanel::edit(const std::function<void(LinuxConfiguration &)> &change)
{
    if (!m_model) {
        return;
    }
    LinuxConfiguration configuration = m_model->configuration();
    change(configuration);
    m_model->setConfiguration(configuration);
}

void LinuxSettingsPanel::chooseResolution(int index)
{
    const std::optional<std::pair<qint64, qint64>> size =
        LinuxRules::parseResolutionTag(m_resolution->itemData(index).toString());
    if (!size) {
        return;
    }
    edit([size](LinuxConfiguration &c) {
        c.resolutionWidth = size->first;
        c.resolutionHeight = size->second;
    });
}

void LinuxSettingsPanel::showConfiguration()
{
    if (!m_model) {
        return;
    }
    const LinuxConfiguration &configuration = m_model->configuration();
    m_cores->setValue(configuration.cores);
    m_memory->setValue(configuration.memoryGB);
    m_disk->setValue(configuration.diskGB);
    // A size no entry offers (written by hand into the file) leaves the menu without a selection.
    m_resolution->setCurrentIndex(m_resolution->findData(
        LinuxRules::resolutionTag(configuration.resolutionWidth, configuration.resolutionHeight)));
    m_isoName->setText(LinuxRules::isoText(configuration.isoPath));
    const QSignalBlocker quiet(m_attachISO);
    m_attachISO->setChecked(configuration.attachISO);
}

void LinuxSettingsPanel::showState()
{
    if (!m_model) {
        return;
    }
    const LinuxRules::State state = LinuxRules::State::of(*m_model);
    setEnabled(LinuxRules::configurationEditable(state));
    m_disk->setEnabled(LinuxRules::diskEditable(state));
}

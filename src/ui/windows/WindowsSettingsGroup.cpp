#include "ui/windows/WindowsSettingsGroup.h"

#include "platform/Host.h"
#include "services/Tasks.h"
#include "ui/style/Controls.h"
#include "ui/style/PillActionButton.h"
#include "ui/style/Stepper.h"
#include "ui/style/SymbolLabel.h"
#include "ui/windows/WindowsRules.h"
#include "windows/WindowsModel.h"

#include <QGridLayout>
#include <QLabel>

WindowsSettingsGroup::WindowsSettingsGroup(WindowsModel &model, QWidget *parent)
    : SoftGroupBox(QStringLiteral("新设备配置"), parent)
    , m_model(&model)
    , m_cores(new Stepper(QStringLiteral("CPU："), QStringLiteral(" 核"),
                          WindowsRules::coresRange(Host::current().activeProcessorCount())))
    , m_memory(new Stepper(QStringLiteral("内存："), QStringLiteral(" GB"),
                           WindowsRules::memoryRange(Host::current().physicalMemory())))
    , m_disk(new Stepper(QStringLiteral("磁盘："), QStringLiteral(" GB"), WindowsRules::diskRange(),
                         WindowsRules::diskStep))
    , m_create(Controls::pill(QStringLiteral("创建本地 Windows 虚拟机…"), QStringLiteral("plus"),
                              Controls::PillStyle::Prominent))
{
    auto *grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    grid->setColumnStretch(2, 1);
    const QList<QPair<QString, Stepper *>> rows{{QStringLiteral("cpu"), m_cores},
                                                {QStringLiteral("memorychip"), m_memory},
                                                {QStringLiteral("internaldrive"), m_disk}};
    for (qsizetype row = 0; row < rows.size(); ++row) {
        grid->addWidget(new SymbolLabel(rows[row].first), int(row), 0);
        rows[row].second->setMinimumTextWidth(140);
        grid->addWidget(rows[row].second, int(row), 1);
    }
    contentLayout()->addLayout(grid);

    contentLayout()->addWidget(Controls::caption(
        QStringLiteral("上述设置用于新建设备；现有设备请在 UTM 关机后修改。不会覆盖磁盘。")));
    contentLayout()->addWidget(m_create, 0, Qt::AlignLeft);
    const QString withoutUTM = WindowsRules::withoutUTMNote(model.utmSupported());
    if (!withoutUTM.isEmpty()) {
        contentLayout()->addWidget(Controls::caption(withoutUTM));
    }

    connect(m_cores, &Stepper::valueEdited, this,
            [this](qint64 value) { edit([value](WindowsConfiguration &c) { c.cores = value; }); });
    connect(m_memory, &Stepper::valueEdited, this,
            [this](qint64 value) { edit([value](WindowsConfiguration &c) { c.memoryGB = value; }); });
    connect(m_disk, &Stepper::valueEdited, this,
            [this](qint64 value) { edit([value](WindowsConfiguration &c) { c.diskGB = value; }); });
    connect(m_create, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            startTask(m_model->create(), QStringLiteral("Windows"));
        }
    });

    connect(&model, &WindowsModel::configurationChanged, this, &WindowsSettingsGroup::showConfiguration);
    connect(&model, &WindowsModel::configurationChanged, this, &WindowsSettingsGroup::showState);
    connect(&model, &WindowsModel::confirmedARMChanged, this, &WindowsSettingsGroup::showState);
    showConfiguration();
    showState();
}

void WindowsSettingsGroup::edit(const std::function<void(WindowsConfiguration &)> &change)
{
    if (!m_model) {
        return;
    }
    WindowsConfiguration configuration = m_model->configuration();
    change(configuration);
    m_model->setConfiguration(configuration);
    m_model->save();
    m_model->refreshPreparation();
}

void WindowsSettingsGroup::showConfiguration()
{
    if (!m_model) {
        return;
    }
    const WindowsConfiguration &configuration = m_model->configuration();
    m_cores->setValue(configuration.cores);
    m_memory->setValue(configuration.memoryGB);
    m_disk->setValue(configuration.diskGB);
}

void WindowsSettingsGroup::showState()
{
    if (m_model) {
        m_create->setEnabled(WindowsRules::canCreate(
            m_model->confirmedARM(), m_model->configuration().isoPath, m_model->utmSupported()));
    }
}

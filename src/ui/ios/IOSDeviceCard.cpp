#include "ui/ios/IOSDeviceCard.h"

#include "ios/IOSModel.h"
#include "services/Tasks.h"
#include "ui/ios/IOSRules.h"
#include "ui/style/Appearance.h"
#include "ui/style/Controls.h"
#include "ui/style/EllipsisMenu.h"
#include "ui/style/PillActionButton.h"
#include "ui/style/SymbolLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const auto category = QStringLiteral("iPhone");

} // namespace

IOSDeviceCard::IOSDeviceCard(IOSModel &model, QWidget *parent)
    : GlassSurface(parent)
    , m_model(&model)
    , m_name(Controls::label())
    , m_state(Controls::label())
    , m_snapshot(Controls::label())
    , m_boot(Controls::pill(QStringLiteral("启动 iPhone"), QStringLiteral("play.fill")))
    , m_shutdown(Controls::pill(QStringLiteral("正常关闭"), QStringLiteral("stop.fill")))
    , m_forceQuit(Controls::pill(QStringLiteral("强制退出"), QStringLiteral("xmark.octagon.fill")))
    , m_delete(Controls::pill(QStringLiteral("删除设备"), QStringLiteral("trash")))
    , m_rename(Controls::pill(QStringLiteral("修改名称"), QStringLiteral("pencil")))
    , m_createSnapshot(Controls::pill(QStringLiteral("创建快照"), QString()))
    , m_rollback(Controls::pill(QStringLiteral("一键回滚"), QString()))
    , m_menu(EllipsisMenu::button(QStringLiteral("快照")))
{
    m_name->setFont(Appearance::font(16, QFont::DemiBold));
    m_state->setForegroundRole(QPalette::PlaceholderText);
    m_forceQuit->setTint(PillActionButton::destructiveTint());
    m_delete->setTint(PillActionButton::destructiveTint());

    auto *title = new QHBoxLayout;
    title->setSpacing(10);
    title->addWidget(new SymbolLabel(QStringLiteral("iphone"), 22));
    auto *naming = new QVBoxLayout;
    naming->setSpacing(2);
    naming->addWidget(m_name);
    naming->addWidget(m_state);
    title->addLayout(naming, 1);

    auto *actions = new QHBoxLayout;
    actions->setSpacing(8);
    for (PillActionButton *button : {m_boot, m_shutdown, m_forceQuit, m_delete, m_rename}) {
        actions->addWidget(button);
    }
    actions->addStretch();

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(20, 16, 20, 16);
    column->setSpacing(12);
    column->addLayout(title);
    column->addLayout(actions);
    column->addWidget(buildSnapshotLine());

    connect(m_boot, &QAbstractButton::clicked, this, [this] { operate(QStringLiteral("boot")); });
    connect(m_shutdown, &QAbstractButton::clicked, this, [this] { operate(QStringLiteral("shutdown")); });
    connect(m_forceQuit, &QAbstractButton::clicked, this, [this] { operate(QStringLiteral("force")); });
    connect(m_delete, &QAbstractButton::clicked, this, [this] { Q_EMIT deleteRequested(m_device); });
    connect(m_rename, &QAbstractButton::clicked, this, [this] { Q_EMIT renameRequested(m_device); });
    connect(m_createSnapshot, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            startTask(m_model->createSnapshot(m_device), category);
        }
    });
    connect(m_rollback, &QAbstractButton::clicked, this, [this] { Q_EMIT rollbackRequested(m_device); });
    connect(m_deleteSnapshot, &QAction::triggered, this,
            [this] { Q_EMIT deleteSnapshotRequested(m_device); });

    connect(&model, &IOSModel::busyChanged, this, &IOSDeviceCard::showState);
    connect(&model, &IOSModel::snapshotsChanged, this, &IOSDeviceCard::showState);
    showState();
}

QWidget *IOSDeviceCard::buildSnapshotLine()
{
    auto *line = new QWidget;
    auto *row = new QHBoxLayout(line);
    row->setContentsMargins(0, 4, 0, 0);
    row->setSpacing(8);
    auto *symbol = new SymbolLabel(QStringLiteral("clock.arrow.circlepath"));
    symbol->setTint(Appearance::instance().accent());
    connect(&Appearance::instance(), &Appearance::changed, symbol,
            [symbol] { symbol->setTint(Appearance::instance().accent()); });
    auto *heading = new QLabel(QStringLiteral("快照"));
    heading->setFont(Appearance::font(13, QFont::DemiBold));
    m_snapshot->setForegroundRole(QPalette::PlaceholderText);

    m_deleteSnapshot = m_menu->menu()->addAction(QStringLiteral("删除最近快照"));

    row->addWidget(symbol);
    row->addWidget(heading);
    row->addWidget(m_snapshot, 1);
    row->addWidget(m_createSnapshot);
    row->addWidget(m_rollback);
    row->addWidget(m_menu);
    return line;
}

void IOSDeviceCard::setDevice(const IOSDevice &device)
{
    m_device = device;
    setAccessibleName(device.name);
    showState();
}

void IOSDeviceCard::showState()
{
    if (!m_model) {
        return;
    }
    const std::optional<IOSSnapshotRecord> latest = m_model->latestSnapshot(m_device);
    m_name->setText(m_device.name);
    m_state->setText(IOSRules::stateText(m_device));
    m_snapshot->setText(IOSRules::snapshotText(latest));

    const IOSRules::DeviceActions actions =
        IOSRules::deviceActions(m_device, latest.has_value(), m_model->busy());
    m_boot->setEnabled(actions.boot);
    m_shutdown->setEnabled(actions.shutdown);
    m_forceQuit->setEnabled(actions.forceQuit);
    m_delete->setEnabled(actions.remove);
    m_rename->setEnabled(actions.rename);
    m_createSnapshot->setEnabled(actions.createSnapshot);
    m_rollback->setEnabled(actions.rollback);
    m_menu->setEnabled(actions.snapshotMenu);
    m_deleteSnapshot->setEnabled(actions.snapshotMenu);
}

void IOSDeviceCard::operate(const QString &action)
{
    if (m_model) {
        startTask(m_model->operate(m_device, action), category);
    }
}

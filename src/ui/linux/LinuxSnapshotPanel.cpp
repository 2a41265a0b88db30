#include "ui/linux/LinuxSnapshotPanel.h"

#include "linux/LinuxModel.h"
#include "platform/Host.h"
#include "services/Tasks.h"
#include "ui/linux/LinuxRules.h"
#include "ui/style/Alert.h"
#include "ui/style/Appearance.h"
#include "ui/style/EllipsisMenu.h"
#include "ui/style/PillActionButton.h"
#include "ui/style/SymbolLabel.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QToolButton>
#include <QUrl>

namespace {

const auto category = QStringLiteral("Linux");

} // namespace

LinuxSnapshotPanel::LinuxSnapshotPanel(LinuxModel &model, QWidget *parent)
    : SoftGroupBox(QStringLiteral("快照与一键回滚"), parent)
    , m_model(&model)
    , m_symbol(new SymbolLabel(QStringLiteral("clock.arrow.circlepath"), 18))
    , m_message(new QLabel)
    , m_busy(new QProgressBar)
    , m_create(new PillActionButton(QStringLiteral("创建快照")))
    , m_rollback(new PillActionButton(QStringLiteral("一键回滚")))
    , m_menu(EllipsisMenu::button(QStringLiteral("快照")))
{
    m_symbol->setColor(Appearance::instance().accent());
    connect(&Appearance::instance(), &Appearance::changed, m_symbol,
            [this] { m_symbol->setColor(Appearance::instance().accent()); });
    m_message->setForegroundRole(QPalette::PlaceholderText);
    m_message->setWordWrap(true);
    m_busy->setRange(0, 0);
    m_busy->setTextVisible(false);
    m_busy->setFixedSize(90, 6);
    m_create->setCompact(true);
    m_rollback->setCompact(true);

    m_delete = m_menu->menu()->addAction(QStringLiteral("删除最近快照"));
    m_openFolder = m_menu->menu()->addAction(QStringLiteral("打开快照目录"));

    auto *summary = new QHBoxLayout;
    summary->setSpacing(10);
    summary->addWidget(m_symbol);
    summary->addWidget(m_message, 1);
    summary->addWidget(m_busy);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addWidget(m_create);
    buttons->addWidget(m_rollback);
    buttons->addWidget(m_menu);
    buttons->addStretch();
    contentLayout()->addLayout(summary);
    contentLayout()->addLayout(buttons);

    connect(m_create, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            startTask(m_model->createSnapshot(), category);
        }
    });
    connect(m_rollback, &QAbstractButton::clicked, this, &LinuxSnapshotPanel::confirmRollback);
    connect(m_delete, &QAction::triggered, this, &LinuxSnapshotPanel::confirmDelete);
    connect(m_openFolder, &QAction::triggered, this, &LinuxSnapshotPanel::openFolder);

    for (auto signal : {&LinuxModel::snapshotMessageChanged, &LinuxModel::snapshotsChanged,
                        &LinuxModel::snapshotBusyChanged, &LinuxModel::runningChanged,
                        &LinuxModel::busyChanged, &LinuxModel::preparedChanged}) {
        connect(&model, signal, this, &LinuxSnapshotPanel::showState);
    }
    showState();
}

void LinuxSnapshotPanel::showState()
{
    if (!m_model) {
        return;
    }
    const LinuxRules::State state = LinuxRules::State::of(*m_model);
    m_message->setText(m_model->snapshotMessage());
    m_busy->setVisible(state.snapshotBusy);
    const LinuxRules::SnapshotActions actions = LinuxRules::snapshotActions(state);
    m_create->setEnabled(actions.create);
    m_rollback->setEnabled(actions.rollback);
    m_delete->setEnabled(actions.deleteLatest);
}

void LinuxSnapshotPanel::confirmRollback()
{
    QPointer<LinuxModel> model = m_model;
    m_confirmation = Alert::open(this, QStringLiteral("回滚 Linux 到最近快照？"),
                                 QStringLiteral("Linux 必须已完全关机。当前磁盘和 EFI 状态会被快照替换。"),
                                 {{QStringLiteral("一键回滚"), QMessageBox::DestructiveRole,
                                   [model] {
                                       if (model) {
                                           startTask(model->rollbackLatestSnapshot(), category);
                                       }
                                   }},
                                  {QStringLiteral("取消"), QMessageBox::RejectRole, {}}});
}

void LinuxSnapshotPanel::confirmDelete()
{
    QPointer<LinuxModel> model = m_model;
    m_confirmation = Alert::open(this, QStringLiteral("删除最近 Linux 快照？"), QString(),
                                 {{QStringLiteral("删除快照"), QMessageBox::DestructiveRole,
                                   [model] {
                                       if (model) {
                                           model->deleteLatestSnapshot();
                                       }
                                   }},
                                  {QStringLiteral("取消"), QMessageBox::RejectRole, {}}});
}

void LinuxSnapshotPanel::openFolder()
{
    if (!m_model) {
        return;
    }
    // A machine without snapshots has no folder yet; a file manager cannot open one that is missing.
    const QString folder = QFileInfo(m_model->settingsFile()).path() + QStringLiteral("/snapshots/linux");
    QDir().mkpath(folder);
    Host::current().openUrl(QUrl::fromLocalFile(folder));
}

QMessageBox *LinuxSnapshotPanel::confirmation() const
{
    return m_confirmation;
}

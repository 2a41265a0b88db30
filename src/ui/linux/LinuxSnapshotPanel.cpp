#include "ui/linux/LinuxSnapshotPanel.h"

#include "linux/LinuxModel.h"
#include "services/Tasks.h"
#include "ui/linux/LinuxRules.h"
#include "ui/style/Alert.h"
#include "ui/style/Appearance.h"
#include "ui/style/Controls.h"
#include "ui/style/DesktopOpen.h"
#include "ui/style/PillActionButton.h"
#include "ui/style/SymbolLabel.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

namespace {

const auto category = QStringLiteral("Linux");

} // namespace

LinuxSnapshotPanel::LinuxSnapshotPanel(LinuxModel &model, QWidget *parent)
    : SoftGroupBox(QStringLiteral("快照与一键回滚"), parent)
    , m_model(&model)
    , m_symbol(new SymbolLabel(QStringLiteral("clock.arrow.circlepath"), 18))
    , m_message(Controls::paragraph())
    , m_busy(new QProgressBar)
    , m_buttons(SnapshotButtons::make())
{
    m_symbol->setTint(Appearance::instance().accent());
    connect(&Appearance::instance(), &Appearance::changed, m_symbol,
            [this] { m_symbol->setTint(Appearance::instance().accent()); });
    m_message->setForegroundRole(QPalette::PlaceholderText);
    m_busy->setRange(0, 0);
    m_busy->setTextVisible(false);
    m_busy->setFixedSize(90, 6);
    auto *summary = new QHBoxLayout;
    summary->setSpacing(10);
    summary->addWidget(m_symbol);
    summary->addWidget(m_message, 1);
    summary->addWidget(m_busy);
    contentLayout()->addLayout(summary);
    contentLayout()->addLayout(m_buttons.row);

    connect(m_buttons.create, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            startTask(m_model->createSnapshot(), category);
        }
    });
    connect(m_buttons.rollback, &QAbstractButton::clicked, this, &LinuxSnapshotPanel::confirmRollback);
    connect(m_buttons.deleteLatest, &QAction::triggered, this, &LinuxSnapshotPanel::confirmDelete);
    connect(m_buttons.openFolder, &QAction::triggered, this, &LinuxSnapshotPanel::openFolder);

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
    m_buttons.create->setEnabled(actions.create);
    m_buttons.rollback->setEnabled(actions.rollback);
    m_buttons.deleteLatest->setEnabled(actions.deleteLatest);
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
    DesktopOpen::folder(this, folder);
}

QMessageBox *LinuxSnapshotPanel::confirmation() const
{
    return m_confirmation;
}

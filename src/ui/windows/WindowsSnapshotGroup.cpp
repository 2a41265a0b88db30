#include "ui/windows/WindowsSnapshotGroup.h"

#include "services/Tasks.h"
#include "ui/style/Alert.h"
#include "ui/style/Controls.h"
#include "ui/style/DesktopOpen.h"
#include "ui/style/PillActionButton.h"
#include "ui/windows/WindowsRules.h"
#include "windows/WindowsModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

namespace {

const auto category = QStringLiteral("Windows");

} // namespace

WindowsSnapshotGroup::WindowsSnapshotGroup(WindowsModel &model, QWidget *parent)
    : SoftGroupBox(QStringLiteral("快照与一键回滚"), parent)
    , m_model(&model)
    , m_message(Controls::paragraph())
    , m_buttons(SnapshotButtons::make())
    , m_progress(new QProgressBar)
{
    setSymbol(QStringLiteral("clock.arrow.circlepath"));
    auto *note = Controls::caption(QStringLiteral(
        "必须先在 UTM 中完全关闭 Windows 并关闭虚拟机窗口。快照保存在 .utm 同一磁盘；不支持 APFS "
        "克隆的磁盘会拒绝创建，不会退化为耗时的完整复制。"));
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->setFixedSize(72, 6);

    // The progress stands beside the buttons, before the row's closing stretch.
    m_buttons.row->insertWidget(m_buttons.row->count() - 1, m_progress);
    contentLayout()->addWidget(note);
    contentLayout()->addWidget(m_message);
    contentLayout()->addLayout(m_buttons.row);

    connect(m_buttons.create, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            startTask(m_model->createSnapshot(), category);
        }
    });
    connect(m_buttons.rollback, &QAbstractButton::clicked, this, &WindowsSnapshotGroup::askRollback);
    connect(m_buttons.deleteLatest, &QAction::triggered, this, &WindowsSnapshotGroup::askDelete);
    connect(m_buttons.openFolder, &QAction::triggered, this, &WindowsSnapshotGroup::openFolder);

    for (auto signal : {&WindowsModel::snapshotMessageChanged, &WindowsModel::snapshotsChanged,
                        &WindowsModel::busyChanged, &WindowsModel::configurationChanged}) {
        connect(&model, signal, this, &WindowsSnapshotGroup::showState);
    }
    showState();
}

void WindowsSnapshotGroup::showState()
{
    if (!m_model) {
        return;
    }
    m_message->setText(m_model->snapshotMessage());
    const WindowsRules::SnapshotActions actions = WindowsRules::snapshotActions(
        m_model->projectPath().has_value(), m_model->latestSnapshot().has_value(),
        m_model->snapshotCollection().has_value(), m_model->busy());
    m_buttons.create->setEnabled(actions.create);
    m_buttons.rollback->setEnabled(actions.rollback);
    m_buttons.menu->setEnabled(actions.menu);
    m_buttons.deleteLatest->setEnabled(actions.menu);
    m_buttons.openFolder->setVisible(actions.openFolder);
    m_progress->setVisible(actions.progress);
}

void WindowsSnapshotGroup::askRollback()
{
    m_confirmRollback = true;
    QPointer<WindowsSnapshotGroup> self(this);
    const auto close = [self] {
        if (self) {
            self->m_confirmRollback = false;
        }
    };
    m_confirmation = Alert::open(
        this, QStringLiteral("回滚 Windows 到最近快照？"),
        QStringLiteral("请确认 Windows 已在 UTM 中完全关机并关闭窗口。当前 .utm 数据会被最近快照替换。"),
        {{QStringLiteral("一键回滚"), QMessageBox::AcceptRole,
          [self, close] {
              close();
              if (self && self->m_model) {
                  startTask(self->m_model->rollbackLatestSnapshot(), category);
              }
          }},
         {QStringLiteral("取消"), QMessageBox::RejectRole, close}});
    // Dismissed without a button (its window closed) counts as cancelled too.
    connect(m_confirmation, &QObject::destroyed, this, close);
}

void WindowsSnapshotGroup::askDelete()
{
    m_confirmDeleteSnapshot = true;
    QPointer<WindowsSnapshotGroup> self(this);
    const auto close = [self] {
        if (self) {
            self->m_confirmDeleteSnapshot = false;
        }
    };
    m_confirmation = Alert::open(this, QStringLiteral("删除最近 Windows 快照？"), QString(),
                                 {{QStringLiteral("删除快照"), QMessageBox::DestructiveRole,
                                   [self, close] {
                                       close();
                                       if (self && self->m_model) {
                                           self->m_model->deleteLatestSnapshot();
                                       }
                                   }},
                                  {QStringLiteral("取消"), QMessageBox::RejectRole, close}});
    connect(m_confirmation, &QObject::destroyed, this, close);
}

void WindowsSnapshotGroup::openFolder()
{
    if (m_model) {
        if (const std::optional<QString> folder = m_model->snapshotCollection()) {
            DesktopOpen::folder(this, *folder);
        }
    }
}

QMessageBox *WindowsSnapshotGroup::confirmation() const
{
    return m_confirmation;
}

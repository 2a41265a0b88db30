#include "ui/windows/WindowsSnapshotGroup.h"

#include "platform/Host.h"
#include "services/Tasks.h"
#include "ui/style/Alert.h"
#include "ui/style/EllipsisMenu.h"
#include "ui/style/PillActionButton.h"
#include "ui/windows/WindowsRules.h"
#include "windows/WindowsModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QToolButton>
#include <QUrl>

namespace {

const auto category = QStringLiteral("Windows");

} // namespace

WindowsSnapshotGroup::WindowsSnapshotGroup(WindowsModel &model, QWidget *parent)
    : SoftGroupBox(QStringLiteral("快照与一键回滚"), parent)
    , m_model(&model)
    , m_message(new QLabel)
    , m_create(new PillActionButton(QStringLiteral("创建快照")))
    , m_rollback(new PillActionButton(QStringLiteral("一键回滚")))
    , m_menu(EllipsisMenu::button(QStringLiteral("快照")))
    , m_progress(new QProgressBar)
{
    setSymbol(QStringLiteral("clock.arrow.circlepath"));
    auto *note = new QLabel(QStringLiteral(
        "必须先在 UTM 中完全关闭 Windows 并关闭虚拟机窗口。快照保存在 .utm 同一磁盘；不支持 APFS "
        "克隆的磁盘会拒绝创建，不会退化为耗时的完整复制。"));
    note->setWordWrap(true);
    note->setForegroundRole(QPalette::PlaceholderText);
    m_message->setWordWrap(true);
    m_create->setCompact(true);
    m_rollback->setCompact(true);

    m_delete = m_menu->menu()->addAction(QStringLiteral("删除最近快照"));
    m_openFolder = m_menu->menu()->addAction(QStringLiteral("打开快照目录"));

    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->setFixedSize(72, 6);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addWidget(m_create);
    buttons->addWidget(m_rollback);
    buttons->addWidget(m_menu);
    buttons->addWidget(m_progress);
    buttons->addStretch();
    contentLayout()->addWidget(note);
    contentLayout()->addWidget(m_message);
    contentLayout()->addLayout(buttons);

    connect(m_create, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            startTask(m_model->createSnapshot(), category);
        }
    });
    connect(m_rollback, &QAbstractButton::clicked, this, &WindowsSnapshotGroup::askRollback);
    connect(m_delete, &QAction::triggered, this, &WindowsSnapshotGroup::askDelete);
    connect(m_openFolder, &QAction::triggered, this, &WindowsSnapshotGroup::openFolder);

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
    m_create->setEnabled(actions.create);
    m_rollback->setEnabled(actions.rollback);
    m_menu->setEnabled(actions.menu);
    m_delete->setEnabled(actions.menu);
    m_openFolder->setVisible(actions.openFolder);
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
            Host::current().openUrl(QUrl::fromLocalFile(*folder));
        }
    }
}

QMessageBox *WindowsSnapshotGroup::confirmation() const
{
    return m_confirmation;
}

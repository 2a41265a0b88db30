#include "ui/android/SnapshotPanel.h"

#include "android/VMModel.h"
#include "services/Tasks.h"
#include "ui/android/DeviceRules.h"
#include "ui/style/Alert.h"
#include "ui/style/Controls.h"
#include "ui/style/DesktopOpen.h"
#include "ui/style/PillActionButton.h"

#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const auto category = QStringLiteral("Android");

} // namespace

SnapshotPanel::SnapshotPanel(VMModel &model, QWidget *parent)
    : SoftGroupBox(QStringLiteral("快照"), parent)
    , m_model(&model)
    , m_message(Controls::paragraph())
    , m_buttons(SnapshotButtons::make())
{
    setSymbol(QStringLiteral("clock.arrow.circlepath"));
    contentLayout()->addWidget(m_message);
    contentLayout()->addLayout(m_buttons.row);

    connect(m_buttons.create, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            startTask(m_model->createSnapshot(), category);
        }
    });
    connect(m_buttons.rollback, &QAbstractButton::clicked, this, &SnapshotPanel::confirmRollback);
    connect(m_buttons.deleteLatest, &QAction::triggered, this, &SnapshotPanel::confirmDelete);
    connect(m_buttons.openFolder, &QAction::triggered, this, &SnapshotPanel::openFolder);

    for (auto signal : {&VMModel::snapshotMessageChanged, &VMModel::snapshotsChanged,
                        &VMModel::snapshotBusyChanged, &VMModel::runningChanged, &VMModel::busyChanged}) {
        connect(&model, signal, this, &SnapshotPanel::showState);
    }
    showState();
}

void SnapshotPanel::showState()
{
    if (!m_model) {
        return;
    }
    m_message->setText(m_model->snapshotMessage());
    const DeviceRules::SnapshotActions actions =
        DeviceRules::snapshotActions(DeviceRules::State::of(*m_model));
    m_buttons.create->setEnabled(actions.create);
    m_buttons.rollback->setEnabled(actions.rollback);
    m_buttons.menu->setEnabled(actions.menu);
}

void SnapshotPanel::confirmRollback()
{
    QPointer<VMModel> model = m_model;
    m_confirmation =
        Alert::open(this, QStringLiteral("回滚到最近快照？"),
                    QStringLiteral("当前设备数据将被最近快照替换。回滚前必须停止安卓；快照本身会继续保留。"),
                    {{QStringLiteral("一键回滚"), QMessageBox::AcceptRole,
                      [model] {
                          if (model) {
                              startTask(model->rollbackLatestSnapshot(), category);
                          }
                      }},
                     {QStringLiteral("取消"), QMessageBox::RejectRole, {}}});
}

void SnapshotPanel::confirmDelete()
{
    QPointer<VMModel> model = m_model;
    m_confirmation = Alert::open(this, QStringLiteral("删除最近快照？"),
                                 QStringLiteral("只删除快照，不影响当前安卓设备数据。"),
                                 {{QStringLiteral("删除快照"), QMessageBox::DestructiveRole,
                                   [model] {
                                       if (model) {
                                           model->deleteLatestSnapshot();
                                       }
                                   }},
                                  {QStringLiteral("取消"), QMessageBox::RejectRole, {}}});
}

void SnapshotPanel::openFolder()
{
    if (!m_model) {
        return;
    }
    // A device without snapshots has no folder yet; a file manager cannot open one that is missing.
    const QString folder = m_model->snapshotCollection();
    DesktopOpen::folder(this, folder);
}

#include "ui/ios/IOSView.h"

#include "ios/IOSModel.h"
#include "services/Tasks.h"
#include "ui/ios/IOSDeviceCard.h"
#include "ui/ios/IOSRules.h"
#include "ui/style/Alert.h"
#include "ui/style/Appearance.h"
#include "ui/style/Controls.h"
#include "ui/style/DesktopOpen.h"
#include "ui/style/DeviceGlassGroup.h"
#include "ui/style/ErrorAlert.h"
#include "ui/style/NameSheet.h"
#include "ui/style/PageScroll.h"
#include "ui/style/PillActionButton.h"
#include "ui/style/SoftGroupBox.h"
#include "ui/style/SymbolLabel.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QUrl>
#include <QVBoxLayout>

#include <utility>

namespace {

const auto category = QStringLiteral("iPhone");
const auto xcodeDownload = QStringLiteral("https://developer.apple.com/xcode/");
const auto xcodeApplication = QStringLiteral("/Applications/Xcode.app");

/** Replaces a picker's entries and selects `value`, without announcing it as the user's choice. */
void fillPicker(QComboBox *picker, const QList<IOSRules::Choice> &choices, const QString &value)
{
    const QSignalBlocker quiet(picker);
    picker->clear();
    for (const IOSRules::Choice &choice : choices) {
        picker->addItem(choice.label, choice.value);
    }
    picker->setCurrentIndex(std::max(0, picker->findData(value)));
    // A lone placeholder stands for nothing there is to choose.
    picker->setEnabled(!(choices.size() == 1 && choices.first().value.isEmpty()));
}

} // namespace

IOSView::IOSView(IOSModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(&model)
{
    QVBoxLayout *column = PageScroll::column(this, QMargins(0, 0, 8, 12));
    column->addWidget(buildHeader());

    column->addWidget(Controls::caption(QStringLiteral(
        "系统要求与前期准备：Apple Silicon Mac；安装 Xcode（建议最新版）；在 Xcode → Settings → Components "
        "中安装所需的 iOS Simulator Runtime；首次使用按提示接受 Xcode 许可。")));
    column->addWidget(Controls::caption(
        QStringLiteral("只管理从这里创建的 iOS 设备，不会删除你已有的 Xcode 模拟器。设备在 Apple Simulator "
                       "的独立窗口中运行，不提供安卓式 CPU / 内存分配。")));

    m_status = Controls::paragraph();
    m_status->setFont(Appearance::font(14, QFont::Medium));
    m_activity = new QProgressBar;
    m_activity->setRange(0, 0);
    m_activity->setTextVisible(false);
    m_activity->setFixedSize(72, 6);
    auto *status = new QHBoxLayout;
    status->setSpacing(10);
    status->addWidget(m_status, 1);
    status->addWidget(m_activity);
    column->addLayout(status);

    m_hint = buildRuntimeHint();
    column->addWidget(m_hint);

    auto *cardGroup = new DeviceGlassGroup(QBoxLayout::TopToBottom);
    m_cardGroup = cardGroup;
    m_cardColumn = cardGroup->groupLayout();
    column->addWidget(m_cardGroup);
    column->addWidget(buildAddGroup());
    column->addStretch();

    connect(&model, &IOSModel::statusChanged, this, &IOSView::showStatus);
    connect(&model, &IOSModel::busyChanged, this, &IOSView::showStatus);
    connect(&model, &IOSModel::loadedChanged, this, &IOSView::showStatus);
    connect(&model, &IOSModel::runtimesChanged, this, &IOSView::showStatus);
    connect(&model, &IOSModel::devicesChanged, this, &IOSView::showDevices);
    connect(&model, &IOSModel::runtimesChanged, this, &IOSView::showRuntimes);
    connect(&model, &IOSModel::runtimeChanged, this, &IOSView::showRuntimes);
    connect(&model, &IOSModel::typesChanged, this, &IOSView::showTypes);
    connect(&model, &IOSModel::typeChanged, this, &IOSView::showTypes);
    connect(&model, &IOSModel::typeChanged, this, &IOSView::nameAfterType);
    connect(&model, &IOSModel::nameChanged, this, &IOSView::showName);
    m_errorAlert = ErrorAlert::watch(this, model, QStringLiteral("iOS 提示"));
    showStatus();
    showDevices();
    showRuntimes();
    showTypes();
    showName();
}

QWidget *IOSView::buildHeader()
{
    auto *header = new QWidget;
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    auto *title = new QLabel(QStringLiteral("iOS Simulator"));
    title->setFont(Appearance::font(22, QFont::DemiBold));
    row->addWidget(new SymbolLabel(QStringLiteral("iphone"), 26));
    row->addWidget(title);
    row->addStretch();

    m_downloadXcode = Controls::pill(QStringLiteral("下载 Xcode"), QStringLiteral("arrow.down.circle.fill"));
    m_openXcode = Controls::pill(QStringLiteral("打开 Xcode"));
    m_refresh = Controls::pill(QStringLiteral("刷新"), QStringLiteral("arrow.clockwise"));
    connect(m_downloadXcode, &QAbstractButton::clicked, this,
            [this] { DesktopOpen::url(this, QUrl(xcodeDownload)); });
    connect(m_openXcode, &QAbstractButton::clicked, this, &IOSView::openXcode);
    connect(m_refresh, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            startTask(m_model->refresh(), category);
        }
    });
    row->addWidget(m_downloadXcode);
    row->addWidget(m_openXcode);
    row->addWidget(m_refresh);
    return header;
}

QWidget *IOSView::buildRuntimeHint()
{
    auto *hint = new SoftGroupBox(QStringLiteral("先在 Xcode 中安装 iOS 运行时"));
    hint->setSymbol(QStringLiteral("info.circle"));
    auto *steps = Controls::paragraph(
        QStringLiteral("打开 Xcode → Settings → Components，安装你需要的 iOS Simulator "
                       "运行时，然后回来点“刷新”。若没有 iOS 27，需要先安装支持它的 Xcode 版本。"));
    hint->contentLayout()->addWidget(steps);
    hint->contentLayout()->addWidget(
        Controls::caption(QStringLiteral("本 App 不会自动下载或替你接受 Xcode 许可。")));
    return hint;
}

SoftGroupBox *IOSView::buildAddGroup()
{
    auto *group = new SoftGroupBox(QStringLiteral("添加 iOS 设备"));
    group->setSymbol(QStringLiteral("plus"));
    m_nameField = new QLineEdit;
    m_nameField->setPlaceholderText(QStringLiteral("设备名称（默认使用机型）"));
    m_runtimePicker = new QComboBox;
    m_typePicker = new QComboBox;
    for (QComboBox *picker : {m_runtimePicker, m_typePicker}) {
        picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        picker->setMinimumWidth(220);
    }

    auto *form = new QFormLayout;
    form->setContentsMargins(0, 0, 0, 0);
    form->setHorizontalSpacing(14);
    form->setVerticalSpacing(10);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    m_nameField->setMinimumWidth(280);
    form->addRow(QStringLiteral("设备名称（默认使用机型）"), m_nameField);
    form->addRow(QStringLiteral("iOS 版本"), m_runtimePicker);
    form->addRow(QStringLiteral("设备型号"), m_typePicker);
    group->contentLayout()->addLayout(form);
    group->contentLayout()->addWidget(
        Controls::caption(QStringLiteral("所选型号须与运行时兼容；若 Xcode 提示不支持，请改选其他型号。")));

    m_add = Controls::pill(QStringLiteral("添加 iOS 设备"), QStringLiteral("plus"),
                           Controls::PillStyle::Prominent);
    group->contentLayout()->addWidget(m_add, 0, Qt::AlignLeft);

    connect(m_nameField, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (m_model) {
            m_model->setName(text);
        }
    });
    connect(m_runtimePicker, &QComboBox::activated, this, [this](int index) {
        if (m_model) {
            m_model->setRuntime(m_runtimePicker->itemData(index).toString());
        }
    });
    connect(m_typePicker, &QComboBox::activated, this, [this](int index) {
        if (m_model) {
            m_model->setType(m_typePicker->itemData(index).toString());
        }
    });
    connect(m_add, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            startTask(m_model->create(), category);
        }
    });
    return group;
}

void IOSView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_refreshedOnce && m_model) {
        m_refreshedOnce = true;
        startTask(m_model->refresh(), category);
    }
}

void IOSView::showStatus()
{
    if (!m_model) {
        return;
    }
    const bool busy = m_model->busy();
    m_status->setText(m_model->status());
    m_activity->setVisible(busy);
    m_hint->setVisible(IOSRules::showsRuntimeHint(m_model->loaded(), m_model->runtimes().isEmpty()));
    m_refresh->setEnabled(!busy);
    m_add->setEnabled(!busy);
}

void IOSView::showDevices()
{
    if (!m_model) {
        return;
    }
    const QList<IOSDevice> &devices = m_model->devices();
    // Cards are reused in order, so a refresh keeps the focus and the layout where they were.
    while (m_cards.size() > devices.size()) {
        IOSDeviceCard *card = m_cards.takeLast();
        card->hide();
        card->deleteLater();
    }
    while (m_cards.size() < devices.size()) {
        auto *card = new IOSDeviceCard(*m_model);
        connect(card, &IOSDeviceCard::deleteRequested, this, &IOSView::confirmDeletion);
        connect(card, &IOSDeviceCard::renameRequested, this, &IOSView::openRenameSheet);
        connect(card, &IOSDeviceCard::rollbackRequested, this, &IOSView::confirmRollback);
        connect(card, &IOSDeviceCard::deleteSnapshotRequested, this, &IOSView::confirmDeleteSnapshot);
        m_cardColumn->addWidget(card);
        m_cards.append(card);
    }
    for (qsizetype i = 0; i < devices.size(); ++i) {
        m_cards[i]->setDevice(devices[i]);
    }
    // An empty group would still take the column's spacing.
    m_cardGroup->setVisible(!devices.isEmpty());
}

void IOSView::showRuntimes()
{
    if (m_model) {
        fillPicker(m_runtimePicker, IOSRules::runtimeChoices(m_model->runtimes()), m_model->runtime());
    }
}

void IOSView::showTypes()
{
    if (m_model) {
        fillPicker(m_typePicker, IOSRules::typeChoices(m_model->types()), m_model->type());
    }
}

void IOSView::showName()
{
    // Only a change from elsewhere is written back, so the cursor stays where the user types.
    if (m_model && m_nameField->text() != m_model->name()) {
        m_nameField->setText(m_model->name());
    }
}

void IOSView::nameAfterType()
{
    if (!m_model) {
        return;
    }
    if (const std::optional<QString> name = IOSRules::typeName(m_model->types(), m_model->type())) {
        m_model->setName(*name);
    }
}

void IOSView::openXcode()
{
    DesktopOpen::url(this, QUrl::fromLocalFile(xcodeApplication));
}

void IOSView::confirmDeletion(const IOSDevice &device)
{
    m_deletion = device;
    QPointer<IOSView> self(this);
    m_confirmation =
        Alert::open(this, QStringLiteral("永久删除此 iOS 设备及其数据？"), QString(),
                    {{QStringLiteral("永久删除"), QMessageBox::DestructiveRole,
                      [self] {
                          if (self && self->m_deletion && self->m_model) {
                              const IOSDevice target = *std::exchange(self->m_deletion, {});
                              startTask(self->m_model->operate(target, QStringLiteral("delete")), category);
                          }
                      }},
                     {QStringLiteral("取消"), QMessageBox::RejectRole, [self] {
                          if (self) {
                              self->m_deletion.reset();
                          }
                      }}});
}

void IOSView::openRenameSheet(const IOSDevice &device)
{
    if (!m_model || m_renameSheet) {
        return;
    }
    // The sheet renames the device picked now, whatever the list shows by the time it is saved.
    QPointer<IOSModel> model = m_model;
    m_renameSheet = new NameSheet(
        device.name, QString(),
        [model, device](const QString &name) {
            if (model) {
                startTask(model->rename(device, name), QStringLiteral("iPhone"));
            }
        },
        this);
    m_renameSheet->setAttribute(Qt::WA_DeleteOnClose);
    m_renameSheet->open();
}

void IOSView::confirmRollback(const IOSDevice &device)
{
    m_rollbackTarget = device;
    QPointer<IOSView> self(this);
    m_confirmation =
        Alert::open(this, QStringLiteral("回滚 iPhone 到最近快照？"),
                    QStringLiteral("iPhone 必须处于已停止状态。系统会先从快照创建恢复设备，再替换当前设备。"),
                    {{QStringLiteral("一键回滚"), QMessageBox::AcceptRole,
                      [self] {
                          if (self && self->m_rollbackTarget && self->m_model) {
                              const IOSDevice target = *std::exchange(self->m_rollbackTarget, {});
                              startTask(self->m_model->rollback(target), category);
                          }
                      }},
                     {QStringLiteral("取消"), QMessageBox::RejectRole, [self] {
                          if (self) {
                              self->m_rollbackTarget.reset();
                          }
                      }}});
}

void IOSView::confirmDeleteSnapshot(const IOSDevice &device)
{
    m_deleteSnapshotTarget = device;
    QPointer<IOSView> self(this);
    m_confirmation = Alert::open(this, QStringLiteral("删除最近 iPhone 快照？"), QString(),
                                 {{QStringLiteral("删除快照"), QMessageBox::DestructiveRole,
                                   [self] {
                                       if (self && self->m_deleteSnapshotTarget && self->m_model) {
                                           const IOSDevice target =
                                               *std::exchange(self->m_deleteSnapshotTarget, {});
                                           startTask(self->m_model->deleteLatestSnapshot(target), category);
                                       }
                                   }},
                                  {QStringLiteral("取消"), QMessageBox::RejectRole, [self] {
                                       if (self) {
                                           self->m_deleteSnapshotTarget.reset();
                                       }
                                   }}});
}

NameSheet *IOSView::renameSheet() const
{
    return m_renameSheet;
}

QMessageBox *IOSView::confirmation() const
{
    return m_confirmation;
}

QMessageBox *IOSView::errorAlert() const
{
    return m_errorAlert->box();
}

#include "ui/android/FleetView.h"

#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "ui/android/ContentView.h"
#include "ui/android/FleetRules.h"
#include "ui/android/InstanceStatus.h"
#include "ui/style/Alert.h"
#include "ui/style/Appearance.h"
#include "ui/style/Controls.h"
#include "ui/style/DeviceGlassGroup.h"
#include "ui/style/ErrorAlert.h"
#include "ui/style/PageScroll.h"
#include "ui/style/PillActionButton.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPropertyAnimation>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

constexpr int transitionMs = 220;

} // namespace

FleetView::FleetView(VMFleet &fleet, QWidget *parent)
    : QWidget(parent)
    , m_fleet(fleet)
    , m_add(Controls::pill(QStringLiteral("添加安卓设备"), QStringLiteral("plus")))
    , m_duplicate(Controls::pill(QStringLiteral("复制设备"), QString()))
    , m_delete(Controls::pill(QStringLiteral("删除安卓设备"), QStringLiteral("trash")))
    , m_stack(new QStackedWidget)
    , m_row(new DeviceGlassGroup)
{
    m_delete->setTint(PillActionButton::destructiveTint());
    connect(m_add, &QAbstractButton::clicked, this, [this] { m_fleet.addDevice(); });
    connect(m_duplicate, &QAbstractButton::clicked, this, [this] { m_fleet.duplicate(); });
    connect(m_delete, &QAbstractButton::clicked, this, &FleetView::confirmDeletion);

    auto *rowArea = PageScroll::bareArea(m_row);
    rowArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    rowArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    rowArea->setFixedHeight(52);
    m_row->groupLayout()->addStretch();

    auto *top = new QHBoxLayout;
    top->setSpacing(6);
    top->addWidget(rowArea, 1);
    top->addWidget(m_add);
    top->addWidget(m_duplicate);
    top->addWidget(m_delete);

    auto *detailContent = new QWidget;
    auto *detailColumn = new QVBoxLayout(detailContent);
    detailColumn->setContentsMargins(0, 0, 8, 8);
    m_detail = PageScroll::bareArea(detailContent);
    m_detail->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    m_devices = new QWidget;
    auto *devices = new QVBoxLayout(m_devices);
    devices->setContentsMargins(0, 0, 0, 0);
    devices->addWidget(m_detail);
    m_emptyState = buildEmptyState();
    m_stack->addWidget(m_devices);
    m_stack->addWidget(m_emptyState);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(14);
    column->addLayout(top);
    column->addWidget(m_stack, 1);

    connect(&fleet, &VMFleet::modelsChanged, this, &FleetView::showDevices);
    connect(&fleet, &VMFleet::selectedChanged, this, &FleetView::showSelection);
    connect(&fleet, &VMFleet::creatingChanged, this, &FleetView::showActions);
    showDevices();
    m_errorAlert = ErrorAlert::watch(this, fleet, QStringLiteral("多开提示"));
}

QWidget *FleetView::buildEmptyState()
{
    auto *empty = new QWidget;
    auto *column = new QVBoxLayout(empty);
    column->addStretch();
    auto *message = new QLabel(QStringLiteral("暂无安卓设备"));
    message->setFont(Appearance::font(17, QFont::DemiBold));
    message->setForegroundRole(QPalette::PlaceholderText);
    column->addWidget(message, 0, Qt::AlignHCenter);
    auto *add = Controls::pill(QStringLiteral("添加安卓设备"), QStringLiteral("plus"),
                               Controls::PillStyle::Prominent);
    connect(add, &QAbstractButton::clicked, this, [this] { m_fleet.addDevice(); });
    column->addWidget(add, 0, Qt::AlignHCenter);
    column->addStretch();
    return empty;
}

void FleetView::showDevices()
{
    for (InstanceStatus *entry : std::as_const(m_entries)) {
        delete entry;
    }
    m_entries.clear();
    QBoxLayout *row = m_row->groupLayout();
    for (VMModel *model : m_fleet.models()) {
        auto *entry = new InstanceStatus(*model);
        const QString id = model->id();
        connect(entry, &QAbstractButton::clicked, this, [this, id] { m_fleet.setSelected(id); });
        // Before the stretch that keeps the entries at the start of the row.
        row->insertWidget(row->count() - 1, entry);
        m_entries.append(entry);
    }
    m_stack->setCurrentWidget(m_fleet.models().isEmpty() ? m_emptyState : m_devices);
    showSelection();
}

void FleetView::showSelection()
{
    const VMModel *current = m_fleet.current();
    for (InstanceStatus *entry : std::as_const(m_entries)) {
        entry->setSelected(entry->model() && entry->model()->id() == m_fleet.selected());
    }
    if ((current ? current->id() : QString()) != m_contentId || (current && !m_content)) {
        replaceContent();
    }
    showActions();
}

void FleetView::showActions()
{
    const FleetRules::FleetActions actions =
        FleetRules::actions(m_fleet.creating(), m_fleet.models().isEmpty());
    m_add->setEnabled(actions.add);
    m_duplicate->setEnabled(actions.duplicate);
    m_delete->setEnabled(actions.remove);
}

void FleetView::replaceContent()
{
    // The old device's sheets and alerts go with its detail.
    delete m_content;
    VMModel *current = m_fleet.current();
    m_contentId = current ? current->id() : QString();
    if (!current) {
        return;
    }
    m_content = new ContentView(*current);
    auto *column = static_cast<QVBoxLayout *>(m_detail->widget()->layout());
    column->insertWidget(0, m_content);
    if (!Appearance::instance().animationsAllowed() || !isVisible()) {
        return;
    }
    auto *fade = new QGraphicsOpacityEffect(m_content);
    m_content->setGraphicsEffect(fade);
    auto *animation = new QPropertyAnimation(fade, "opacity", m_content);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->setDuration(transitionMs);
    animation->setEasingCurve(QEasingCurve::OutCubic);
    QPointer<ContentView> content = m_content;
    connect(animation, &QAbstractAnimation::finished, this, [content] {
        // An effect renders the whole detail off screen on every paint; drop it once the fade is done.
        if (content) {
            content->setGraphicsEffect(nullptr);
        }
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void FleetView::confirmDeletion()
{
    m_deletionId = m_fleet.selected();
    std::optional<QString> name;
    for (const VMModel *model : m_fleet.models()) {
        if (model->id() == *m_deletionId) {
            name = model->name();
            break;
        }
    }
    QPointer<FleetView> self(this);
    m_confirmation = Alert::open(this, QStringLiteral("删除安卓设备？"), FleetRules::deletionMessage(name),
                                 {{QStringLiteral("删除设备并移到废纸篓"), QMessageBox::DestructiveRole,
                                   [self] {
                                       if (self && self->m_deletionId) {
                                           const QString id = *self->m_deletionId;
                                           self->m_deletionId.reset();
                                           self->m_fleet.deleteDevice(id);
                                       }
                                   }},
                                  {QStringLiteral("取消"), QMessageBox::RejectRole, [self] {
                                       if (self) {
                                           self->m_deletionId.reset();
                                       }
                                   }}});
}

ContentView *FleetView::contentView() const
{
    return m_content;
}

QMessageBox *FleetView::deleteConfirmation() const
{
    return m_confirmation;
}

QMessageBox *FleetView::errorAlert() const
{
    return m_errorAlert->box();
}

#include "ui/windows/WindowsView.h"

#include "services/Tasks.h"
#include "ui/style/Appearance.h"
#include "ui/style/Controls.h"
#include "ui/style/DesktopOpen.h"
#include "ui/style/ErrorAlert.h"
#include "ui/style/PageScroll.h"
#include "ui/style/PillActionButton.h"
#include "ui/style/SoftGroupBox.h"
#include "ui/style/SymbolLabel.h"
#include "ui/windows/WindowsRules.h"
#include "ui/windows/WindowsSettingsGroup.h"
#include "ui/windows/WindowsSnapshotGroup.h"
#include "windows/WindowsModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const auto category = QStringLiteral("Windows");
const QColor passedGreen(52, 168, 83);

QProgressBar *activity()
{
    auto *bar = new QProgressBar;
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    bar->setFixedSize(72, 6);
    return bar;
}

/** A line of text that opens a web page and does nothing else. */
QPushButton *linkButton(const WindowsRules::Link &link)
{
    auto *button = new QPushButton(link.text);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setToolTip(link.url.toString());
    button->setForegroundRole(QPalette::Link);
    button->setStyleSheet(
        QStringLiteral("QPushButton { color: palette(link); text-align: left; border: none; padding: 2px 0; }"
                       "QPushButton:hover { text-decoration: underline; }"));
    const QUrl url = link.url;
    QObject::connect(button, &QAbstractButton::clicked, button,
                     [button, url] { DesktopOpen::url(button, url); });
    return button;
}

} // namespace

WindowsView::WindowsView(WindowsModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(&model)
{
    QVBoxLayout *column = PageScroll::column(this, QMargins(0, 0, 8, 12));
    column->addWidget(buildTitle());
    // Two columns: the way to a machine on the left, what lies outside this program and the
    // snapshots on the right, so the whole page fits the window.
    auto *left = new QVBoxLayout;
    left->setSpacing(16);
    left->addWidget(buildPreparation());
    m_settings = new WindowsSettingsGroup(model);
    left->addWidget(m_settings);
    left->addWidget(buildProjectRow());
    left->addStretch();
    auto *right = new QVBoxLayout;
    right->setSpacing(16);
    right->addWidget(buildLinks());
    m_snapshots = new WindowsSnapshotGroup(model);
    right->addWidget(m_snapshots);
    right->addStretch();
    auto *columns = new QHBoxLayout;
    columns->setSpacing(16);
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);
    column->addLayout(columns);
    column->addStretch();

    for (auto signal : {&WindowsModel::messageChanged, &WindowsModel::preparationChanged,
                        &WindowsModel::isoCheckChanged, &WindowsModel::confirmedARMChanged,
                        &WindowsModel::busyChanged, &WindowsModel::configurationChanged}) {
        connect(&model, signal, this, &WindowsView::showState);
    }
    m_errorAlert = ErrorAlert::watch(this, model, QStringLiteral("Windows 虚拟机"));
    showState();
}

QWidget *WindowsView::buildTitle()
{
    auto *title = new QWidget;
    auto *column = new QVBoxLayout(title);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    auto *name = new QLabel(QStringLiteral("Windows 虚拟机"));
    name->setFont(Appearance::font(22, QFont::DemiBold));
    m_message = Controls::paragraph();
    m_message->setFont(Appearance::font(14, QFont::Medium));
    column->addWidget(name);
    column->addWidget(Controls::caption(QStringLiteral("Apple 芯片 · Windows 11 ARM64 · UTM / QEMU 引擎")));
    column->addSpacing(4);
    column->addWidget(m_message);
    return title;
}

QWidget *WindowsView::buildPreparation()
{
    auto *group = new SoftGroupBox(QStringLiteral("准备检查（不会自动下载）"));
    m_preparation = Controls::paragraph();
    m_preparation->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_refresh = Controls::pill(QStringLiteral("刷新检查"), QStringLiteral("arrow.clockwise"));
    connect(m_refresh, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            m_model->refreshPreparation();
        }
    });
    auto *top = new QHBoxLayout;
    top->setSpacing(12);
    top->addWidget(m_preparation, 1);
    top->addWidget(m_refresh, 0, Qt::AlignTop | Qt::AlignRight);
    group->contentLayout()->addLayout(top);

    m_isoPath = Controls::paragraph();
    m_isoPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    group->contentLayout()->addWidget(m_isoPath);

    m_chooseISO = Controls::pill(QStringLiteral("选择本地 ISO"));
    m_findISO =
        Controls::pill(QStringLiteral("从下载目录查找 ISO"), QStringLiteral("arrow.down.circle.fill"));
    m_recheck = Controls::pill(QStringLiteral("重新检查镜像"), QStringLiteral("arrow.clockwise"));
    connect(m_chooseISO, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            startTask(m_model->chooseISO(), category);
        }
    });
    connect(m_findISO, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            startTask(m_model->findDownloadedISO(), category);
        }
    });
    connect(m_recheck, &QAbstractButton::clicked, this, [this] {
        if (m_model && !m_model->configuration().isoPath.isEmpty()) {
            startTask(m_model->useISO(m_model->configuration().isoPath), category);
        }
    });
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addWidget(m_chooseISO);
    buttons->addWidget(m_findISO);
    buttons->addWidget(m_recheck);
    buttons->addStretch();
    group->contentLayout()->addLayout(buttons);

    m_isoCheckSymbol = new SymbolLabel(QStringLiteral("info.circle"));
    m_isoCheck = Controls::paragraph();
    auto *check = new QHBoxLayout;
    check->setSpacing(8);
    check->addWidget(m_isoCheckSymbol, 0, Qt::AlignTop);
    check->addWidget(m_isoCheck, 1);
    group->contentLayout()->addLayout(check);
    return group;
}

QWidget *WindowsView::buildLinks()
{
    auto *group = new SoftGroupBox(QStringLiteral("稍后自行准备"));
    group->setSymbol(QStringLiteral("link"));
    auto *links = new QVBoxLayout;
    links->setSpacing(2);
    for (const WindowsRules::Link &link : WindowsRules::preparationLinks()) {
        QPushButton *button = linkButton(link);
        links->addWidget(button, 0, Qt::AlignLeft);
        m_links.append(button);
    }
    group->contentLayout()->addLayout(links);
    group->contentLayout()->addWidget(Controls::caption(QStringLiteral(
        "建议至少 80GB 空闲空间，可保存到外置 SSD。Windows 许可需自行准备。网卡和动态分辨率可能需要安装 UTM "
        "Guest Tools；本版默认不配置音频、剪贴板或目录共享。\n\n创建后在 UTM "
        "点击运行。首次安装完成后，请在 UTM 中弹出安装 ISO。Windows 的运行、暂停和关机由 UTM "
        "管理；关闭此工具不会关闭 Windows。本页不轮询、不监控下载，也不包含自动下载代码。")));

    auto *download = Controls::pill(QStringLiteral("微软官方下载 Windows 11 ARM64"),
                                    QStringLiteral("arrow.down.circle.fill"), Controls::PillStyle::Prominent);
    download->setToolTip(WindowsRules::windowsDownload().toString());
    connect(download, &QAbstractButton::clicked, this,
            [this] { DesktopOpen::url(this, WindowsRules::windowsDownload()); });
    group->contentLayout()->addWidget(download, 0, Qt::AlignLeft);
    m_links.append(download);
    return group;
}

QWidget *WindowsView::buildProjectRow()
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    m_open = Controls::pill(QStringLiteral("在 UTM 中打开设备"), QStringLiteral("play.fill"),
                            Controls::PillStyle::Regular);
    m_associate = Controls::pill(QStringLiteral("关联已有 .utm 设备"), QStringLiteral("link"),
                                 Controls::PillStyle::Regular);
    m_projectProgress = activity();
    connect(m_open, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            m_model->openProject();
        }
    });
    connect(m_associate, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            startTask(m_model->chooseProject(), category);
        }
    });
    layout->addWidget(m_open);
    layout->addWidget(m_associate);
    layout->addWidget(m_projectProgress);
    layout->addStretch();
    return row;
}

void WindowsView::showState()
{
    if (!m_model) {
        return;
    }
    const bool busy = m_model->busy();
    const QString &isoPath = m_model->configuration().isoPath;
    m_message->setText(m_model->message());
    m_preparation->setText(m_model->preparation());
    m_preparation->setVisible(!m_model->preparation().isEmpty());
    m_isoPath->setText(WindowsRules::isoPathText(isoPath));
    m_isoPath->setForegroundRole(isoPath.isEmpty() ? QPalette::PlaceholderText : QPalette::WindowText);
    // A file chosen while a check runs would be dropped by the model without a word.
    m_chooseISO->setEnabled(!busy);
    m_findISO->setEnabled(!busy);
    m_recheck->setEnabled(!busy);
    m_recheck->setVisible(WindowsRules::showsRecheck(isoPath));

    const bool passed = m_model->confirmedARM();
    m_isoCheck->setText(m_model->isoCheck());
    m_isoCheckSymbol->setSymbol(passed ? QStringLiteral("checkmark.circle.fill")
                                       : QStringLiteral("info.circle"));
    m_isoCheckSymbol->setTint(passed ? passedGreen : QColor());

    const WindowsRules::ProjectActions actions =
        WindowsRules::projectActions(m_model->projectPath().has_value(), busy, m_model->utmSupported());
    m_open->setEnabled(actions.open);
    m_associate->setEnabled(actions.associate);
    m_projectProgress->setVisible(actions.progress);
}

QMessageBox *WindowsView::errorAlert() const
{
    return m_errorAlert->box();
}

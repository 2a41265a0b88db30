#include "ui/settings/AppSettingsView.h"

#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "ios/vphone/VPhoneTool.h"
#include "platform/Host.h"
#include "preferences/AppPreferences.h"
#include "preferences/PreferenceNotifier.h"
#include "services/AppLog.h"
#include "ui/settings/DeviceLogSheet.h"
#include "ui/settings/GlobalLogSheet.h"
#include "ui/style/Controls.h"
#include "ui/style/DesktopOpen.h"
#include "ui/style/PageScroll.h"
#include "ui/style/PillActionButton.h"
#include "ui/style/SoftGroupBox.h"
#include "ui/style/Stepper.h"
#include "ui/style/ToggleSwitch.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

using P = AppPreferences;

/** A title on the left, its control on the right. */
QWidget *row(const QString &title, QWidget *control)
{
    auto *line = new QWidget;
    auto *layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(title));
    layout->addStretch();
    layout->addWidget(control);
    return line;
}

Stepper *settingsStepper(const QString &prefix, const QString &suffix, P::Range range)
{
    auto *stepper = new Stepper(prefix, suffix, range);
    stepper->setButtonsAtTrailingEdge(true);
    return stepper;
}

ToggleSwitch *toggle(const QString &name)
{
    auto *control = new ToggleSwitch;
    control->setAccessibleName(name);
    return control;
}

QComboBox *picker(const QList<std::pair<QString, QString>> &choices)
{
    auto *control = new QComboBox;
    for (const auto &[text, value] : choices) {
        control->addItem(text, value);
    }
    control->setMinimumWidth(140);
    return control;
}

QString budgetNoteText(qint64 maximum)
{
    return QStringLiteral("最多 ") + QString::number(maximum) +
           QStringLiteral(" GB，为 macOS 至少保留 4 GB。此上限统计本 App 启动的安卓和 Linux，不包括 Windows "
                          "和其他应用。修改后只限制新的启动，不停止现有设备。");
}

} // namespace

AppSettingsView::AppSettingsView(VMFleet &fleet, QWidget *parent)
    : QWidget(parent)
    , m_fleet(fleet)
    , m_store(AppPreferences::openStore())
{
    m_sections = {buildAppearance(), buildNewDevices(), buildBudget(), buildExperimental(),
                  buildDiagnostics()};

    QVBoxLayout *column = PageScroll::column(this, QMargins(0, 0, 8, 8));
    for (SoftGroupBox *section : std::as_const(m_sections)) {
        column->addWidget(section);
    }
    column->addStretch();

    connect(PreferenceNotifier::instance(), &PreferenceNotifier::changed, this,
            &AppSettingsView::showPreferences);
    connect(&m_fleet, &VMFleet::modelsChanged, this, &AppSettingsView::showCurrentDevice);
    connect(&m_fleet, &VMFleet::selectedChanged, this, &AppSettingsView::showCurrentDevice);
    showPreferences();
    showCurrentDevice();
    showToolStatus();
}

AppSettingsView::~AppSettingsView() = default;

GlobalLogSheet *AppSettingsView::globalLogSheet() const
{
    return m_globalLogSheet;
}

DeviceLogSheet *AppSettingsView::deviceLogSheet() const
{
    return m_deviceLogSheet;
}

SoftGroupBox *AppSettingsView::buildAppearance()
{
    auto *group = new SoftGroupBox(QStringLiteral("整体外观"));
    m_theme = picker({{QStringLiteral("跟随系统"), QStringLiteral("system")},
                      {QStringLiteral("浅色"), QStringLiteral("light")},
                      {QStringLiteral("深色"), QStringLiteral("dark")}});
    m_accent = picker({{QStringLiteral("蓝色"), QStringLiteral("blue")},
                       {QStringLiteral("紫色"), QStringLiteral("purple")},
                       {QStringLiteral("绿色"), QStringLiteral("green")},
                       {QStringLiteral("橙色"), QStringLiteral("orange")}});
    m_animations = toggle(QStringLiteral("过渡动画"));
    m_glass = toggle(QStringLiteral("液态玻璃 / 半透明材质"));
    connect(m_theme, &QComboBox::activated, this, [this](int index) {
        P::write(*m_store, P::appearanceTheme, m_theme->itemData(index).toString());
    });
    connect(m_accent, &QComboBox::activated, this, [this](int index) {
        P::write(*m_store, P::appearanceAccent, m_accent->itemData(index).toString());
    });
    connect(m_animations, &QAbstractButton::toggled, this,
            [this](bool on) { P::write(*m_store, P::appearanceAnimations, on); });
    connect(m_glass, &QAbstractButton::toggled, this,
            [this](bool on) { P::write(*m_store, P::appearanceGlass, on); });

    QVBoxLayout *content = group->contentLayout();
    content->addWidget(row(QStringLiteral("主题"), m_theme));
    content->addWidget(row(QStringLiteral("强调色"), m_accent));
    content->addWidget(row(QStringLiteral("过渡动画"), m_animations));
    content->addWidget(row(QStringLiteral("液态玻璃 / 半透明材质"), m_glass));
    content->addWidget(
        Controls::caption(QStringLiteral("外观即时生效。系统的“减少动态效果”和“减少透明度”设置优先。"
                                         "仅改变 Mac 启动器外观，不改变安卓主题。"),
                          Controls::CaptionSize::Small));
    return group;
}

SoftGroupBox *AppSettingsView::buildNewDevices()
{
    const Host &host = Host::current();
    auto *group = new SoftGroupBox(QStringLiteral("新设备默认配置"));
    m_cores = settingsStepper(QStringLiteral("CPU："), QStringLiteral(" 核"),
                              P::newDeviceCoresRange(host.activeProcessorCount()));
    m_memory = settingsStepper(QStringLiteral("内存："), QStringLiteral(" GB"),
                               P::newDeviceMemoryGBRange(host.physicalMemory()));
    m_softwareGPU = toggle(QStringLiteral("默认使用兼容渲染"));
    connect(m_cores, &Stepper::valueEdited, this,
            [this](qint64 value) { P::write(*m_store, P::newDeviceCores, value); });
    connect(m_memory, &Stepper::valueEdited, this,
            [this](qint64 value) { P::write(*m_store, P::newDeviceMemoryGB, value); });
    connect(m_softwareGPU, &QAbstractButton::toggled, this,
            [this](bool on) { P::write(*m_store, P::newDeviceSoftwareGPU, on); });

    QVBoxLayout *content = group->contentLayout();
    content->addWidget(m_cores);
    content->addWidget(m_memory);
    content->addWidget(row(QStringLiteral("默认使用兼容渲染"), m_softwareGPU));
    content->addWidget(
        Controls::caption(QStringLiteral("只影响今后添加的设备；复制设备保留源设备的渲染设置，CPU "
                                         "和内存使用这里的默认值。现有设备不变。"),
                          Controls::CaptionSize::Small));
    return group;
}

SoftGroupBox *AppSettingsView::buildBudget()
{
    auto *group = new SoftGroupBox(QStringLiteral("高级 · 多开资源"));
    const P::Range range = P::multiMemoryGBRange(Host::current().physicalMemory());
    m_budget = settingsStepper(QStringLiteral("安卓 + Linux 总内存上限："), QStringLiteral(" GB"), range);
    m_budgetNote = Controls::caption(budgetNoteText(range.maximum), Controls::CaptionSize::Small);
    connect(m_budget, &Stepper::valueEdited, this,
            [this](qint64 value) { P::setMultiMemoryGB(*m_store, value); });
    group->contentLayout()->addWidget(m_budget);
    group->contentLayout()->addWidget(m_budgetNote);
    return group;
}

SoftGroupBox *AppSettingsView::buildExperimental()
{
    auto *group = new SoftGroupBox(QStringLiteral("实验性功能 · vphone-cli"));
    m_vphone = toggle(QStringLiteral("启用 vphone-cli 实验入口"));
    m_developer = toggle(QStringLiteral("开发者模式"));
    connect(m_vphone, &QAbstractButton::toggled, this,
            [this](bool on) { P::write(*m_store, P::experimentalVPhoneEnabled, on); });
    connect(m_developer, &QAbstractButton::toggled, this, &AppSettingsView::onDeveloperModeToggled);

    m_toolStatus = Controls::paragraph();
    auto *openFolderButton = Controls::pill(QStringLiteral("打开工具目录"));
    connect(openFolderButton, &QAbstractButton::clicked, this,
            [this] { DesktopOpen::folder(this, VPhoneTool::folder()); });
    auto *actions = new QHBoxLayout;
    actions->setSpacing(14);
    actions->addWidget(openFolderButton);
    actions->addWidget(Controls::link(QStringLiteral("查看项目主页"), VPhoneTool::projectPage()));
    actions->addStretch();

    QVBoxLayout *content = group->contentLayout();
    content->addWidget(row(QStringLiteral("启用 vphone-cli 实验入口"), m_vphone));
    content->addWidget(row(QStringLiteral("开发者模式"), m_developer));
    content->addWidget(Controls::caption(
        QStringLiteral("开启后，主窗口右侧显示实时日志边栏。左侧设备界面和操作逻辑保持不变，"
                       "点击操作、后台命令与错误会立即写入边栏。"),
        Controls::CaptionSize::Small));
    content->addWidget(m_toolStatus);
    content->addWidget(
        Controls::caption(QStringLiteral("实验功能不会自动修改 SIP、AMFI 或 authenticated-root。"
                                         "当前入口仅用于隔离检测，工具无法启动时不会影响其他虚拟机。"),
                          Controls::CaptionSize::Small));
    content->addLayout(actions);
    return group;
}

SoftGroupBox *AppSettingsView::buildDiagnostics()
{
    auto *group = new SoftGroupBox(QStringLiteral("数据与诊断"));
    auto *globalLog =
        Controls::pill(QStringLiteral("查看全局日志"), QStringLiteral("doc.text.magnifyingglass"));
    auto *allData = Controls::pill(QStringLiteral("打开全部设备数据目录"));
    m_currentDevice = Controls::label();
    m_openDevice = Controls::pill(QStringLiteral("打开当前设备目录"));
    m_deviceLog = Controls::pill(QStringLiteral("查看当前设备日志"));
    connect(globalLog, &QAbstractButton::clicked, this, &AppSettingsView::openGlobalLog);
    connect(allData, &QAbstractButton::clicked, this,
            [this] { DesktopOpen::folder(this, m_fleet.shared().root()); });
    connect(m_openDevice, &QAbstractButton::clicked, this, [this] {
        if (VMModel *device = m_fleet.current()) {
            DesktopOpen::folder(this, device->paths().root());
        }
    });
    connect(m_deviceLog, &QAbstractButton::clicked, this, &AppSettingsView::openDeviceLog);

    auto *data = new QHBoxLayout;
    data->setSpacing(8);
    data->addWidget(globalLog);
    data->addWidget(allData);
    data->addStretch();
    auto *device = new QHBoxLayout;
    device->setSpacing(8);
    device->addWidget(m_openDevice);
    device->addWidget(m_deviceLog);
    device->addStretch();

    QVBoxLayout *content = group->contentLayout();
    content->addLayout(data);
    content->addWidget(m_currentDevice);
    content->addLayout(device);
    content->addWidget(Controls::caption(QStringLiteral("查看日志不会启动设备，也不会上传数据。"),
                                         Controls::CaptionSize::Small));
    return group;
}

void AppSettingsView::showPreferences()
{
    const QSettings &store = *m_store;
    const QList<QWidget *> controls{m_theme,  m_accent,      m_animations, m_glass,  m_cores,
                                    m_memory, m_softwareGPU, m_budget,     m_vphone, m_developer};
    std::vector<std::unique_ptr<QSignalBlocker>> blockers;
    for (QWidget *control : controls) {
        blockers.push_back(std::make_unique<QSignalBlocker>(control));
    }
    // An unknown stored value selects nothing rather than pretending to be one of the choices.
    m_theme->setCurrentIndex(m_theme->findData(P::read(store, P::appearanceTheme)));
    m_accent->setCurrentIndex(m_accent->findData(P::read(store, P::appearanceAccent)));
    m_animations->setChecked(P::read(store, P::appearanceAnimations));
    m_glass->setChecked(P::read(store, P::appearanceGlass));
    m_cores->setValue(P::read(store, P::newDeviceCores));
    m_memory->setValue(P::read(store, P::newDeviceMemoryGB));
    m_softwareGPU->setChecked(P::read(store, P::newDeviceSoftwareGPU));
    m_budget->setValue(P::multiMemoryGB(store));
    m_vphone->setChecked(P::read(store, P::experimentalVPhoneEnabled));
    m_developer->setChecked(P::read(store, P::developerModeEnabled));

    // A number stored beyond this host's range (by another machine, or by hand) shows brought into the
    // range; the value shown is the one in force, so it is stored too. Each write calls this again,
    // which then finds nothing left to change.
    if (m_cores->value() != P::read(store, P::newDeviceCores)) {
        P::write(*m_store, P::newDeviceCores, m_cores->value());
    } else if (m_memory->value() != P::read(store, P::newDeviceMemoryGB)) {
        P::write(*m_store, P::newDeviceMemoryGB, m_memory->value());
    } else if (m_budget->value() != P::multiMemoryGB(store)) {
        P::setMultiMemoryGB(*m_store, m_budget->value());
    }
}

void AppSettingsView::onDeveloperModeToggled(bool on)
{
    P::write(*m_store, P::developerModeEnabled, on);
    AppLog::info(QStringLiteral("开发者模式"),
                 on ? QStringLiteral("用户已开启开发者模式") : QStringLiteral("用户已关闭开发者模式"));
}

void AppSettingsView::showToolStatus()
{
    if (VPhoneTool::found()) {
        m_toolStatus->setText(QStringLiteral("已检测到 vphone-cli：") + VPhoneTool::bundlePath());
        m_toolStatus->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        m_toolStatus->setForegroundRole(QPalette::WindowText);
    } else {
        m_toolStatus->setText(QStringLiteral("未检测到 vphone-cli，请先放置官方工具。"));
        m_toolStatus->setTextInteractionFlags(Qt::NoTextInteraction);
        m_toolStatus->setForegroundRole(QPalette::PlaceholderText);
    }
}

void AppSettingsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    showToolStatus();
}

void AppSettingsView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // The user places the tool with the file browser and comes back to the window.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        showToolStatus();
    }
}

void AppSettingsView::showCurrentDevice()
{
    disconnect(m_deviceName);
    VMModel *device = m_fleet.current();
    m_currentDevice->setText(QStringLiteral("当前设备：") + (device ? device->name() : QString()));
    m_openDevice->setEnabled(device != nullptr);
    m_deviceLog->setEnabled(device != nullptr);
    if (device) {
        m_deviceName = connect(device, &VMModel::nameChanged, this, &AppSettingsView::showCurrentDevice);
    }
}

void AppSettingsView::openGlobalLog()
{
    AppLog::info(QStringLiteral("设置"), QStringLiteral("打开全局日志"));
    if (m_globalLogSheet) {
        m_globalLogSheet->raise();
        return;
    }
    m_globalLogSheet = new GlobalLogSheet(this);
    m_globalLogSheet->setAttribute(Qt::WA_DeleteOnClose);
    m_globalLogSheet->open();
}

void AppSettingsView::openDeviceLog()
{
    VMModel *device = m_fleet.current();
    if (!device) {
        return;
    }
    device->refreshLog();
    // The sheet shows the log as it is now; the device may write on while it is open.
    const QString logTitle = device->name();
    const QString logText = device->logText();
    if (m_deviceLogSheet) {
        m_deviceLogSheet->close();
    }
    m_deviceLogSheet = new DeviceLogSheet(logTitle, logText, this);
    m_deviceLogSheet->setAttribute(Qt::WA_DeleteOnClose);
    m_deviceLogSheet->open();
}

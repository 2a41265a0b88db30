#include "ui/shell/CorvaneApp.h"

#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "ios/IOSModel.h"
#include "ios/vphone/VPhoneModel.h"
#include "linux/LinuxModel.h"
#include "linux/engine/QemuEngine.h"
#include "platform/Host.h"
#include "preferences/AppPreferences.h"
#include "preferences/PreferenceNotifier.h"
#include "services/AppLog.h"
#include "ui/android/FleetView.h"
#include "ui/ios/IOSView.h"
#include "ui/linux/LinuxDisplayWindow.h"
#include "ui/linux/LinuxView.h"
#include "ui/logs/DeveloperLogSidebar.h"
#include "ui/settings/AppSettingsView.h"
#include "ui/shell/AppDelegate.h"
#include "ui/shell/DialogInteraction.h"
#include "ui/shell/InteractionLogMonitor.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/Tabs.h"
#include "ui/style/Appearance.h"
#include "ui/vphone/VPhoneBetaView.h"
#include "ui/windows/WindowsView.h"
#include "windows/WindowsModel.h"

#include <QPointer>
#include <QSettings>

namespace {
/** The fleet counts the Linux machine `linux` gives, while it runs or starts, against the budget. */
VMFleet::Options fleetOptions(const VMTiming &timing, std::function<const LinuxModel *()> linux)
{
    VMFleet::Options options;
    options.timing = timing;
    options.externalMemoryMB = [linux = std::move(linux)]() -> qint64 {
        const LinuxModel *machine = linux();
        if (!machine || !(machine->running() || machine->busy())) {
            return 0;
        }
        return machine->configuration().memoryGB * 1024;
    };
    return options;
}

/** The Linux machine starts only when it fits in the budget beside the fleet's running or busy devices. */
LinuxModel::Options linuxOptions(QPointer<VMFleet> fleet)
{
    LinuxModel::Options options;
    options.canAllocate = [fleet = std::move(fleet)](qint64 requestMB) {
        qint64 total = requestMB;
        if (fleet) {
            for (const VMModel *device : fleet->models()) {
                if (device->running() || device->busy()) {
                    total += device->configuration().memoryMB;
                }
            }
        }
        const auto store = AppPreferences::openStore();
        return AppPreferences::memoryBudgetMB(*store) >= total;
    };
    return options;
}

} // namespace

CorvaneApp::CorvaneApp(std::unique_ptr<VirtualMachineEngine> engine, Options options, QObject *parent)
    : QObject(parent)
    , m_preferences(AppPreferences::openStore())
    , m_engine(engine ? std::move(engine) : std::make_unique<QemuEngine>())
    , m_delegate(std::make_unique<AppDelegate>())
    // The Linux machine is made after the fleet: looked up at each start, not captured now.
    , m_fleet(std::make_unique<VMFleet>(
          QString(), fleetOptions(options.android,
                                  [self = QPointer<CorvaneApp>(this)]() -> const LinuxModel * {
                                      return self ? self->m_linux.get() : nullptr;
                                  })))
    , m_windows(std::make_unique<WindowsModel>(Host::dataRoot(), std::move(options.windows)))
    , m_linux(std::make_unique<LinuxModel>(*m_engine, QString(), linuxOptions(m_fleet.get())))
    , m_ios(std::make_unique<IOSModel>(QString(), std::move(options.ios)))
    , m_vphone(std::make_unique<VPhoneModel>())
    , m_monitor(std::make_unique<InteractionLogMonitor>())
{
    connect(PreferenceNotifier::instance(), &PreferenceNotifier::changed, this,
            &CorvaneApp::onPreferenceChanged);
}

CorvaneApp::~CorvaneApp()
{
    if (Interaction::current() == m_interaction.get()) {
        Interaction::install(nullptr);
    }
}

void CorvaneApp::show()
{
    Appearance::instance().apply();
    m_window = std::make_unique<MainWindow>(*m_preferences, *m_delegate);
    // Only the selected page is made before the first frame; the others follow it.
    m_window->addPage(QStringLiteral("android"), [this]() -> QWidget * { return new FleetView(*m_fleet); });
    m_window->addPage(QStringLiteral("ios"), [this]() -> QWidget * { return new IOSView(*m_ios); });
    m_window->addPage(QStringLiteral("windows"),
                      [this]() -> QWidget * { return new WindowsView(*m_windows); });
    m_window->addPage(QStringLiteral("linux"), [this]() -> QWidget * {
        auto *linuxView = new LinuxView(*m_linux);
        connect(linuxView, &LinuxView::openSeparateWindowRequested, this, &CorvaneApp::openLinuxDisplay);
        return linuxView;
    });
    m_window->addPage(QStringLiteral("vphone-beta"),
                      [this]() -> QWidget * { return new VPhoneBetaView(*m_vphone); });
    m_window->addPage(QStringLiteral("settings"),
                      [this]() -> QWidget * { return new AppSettingsView(*m_fleet); });
    m_window->setSidebarFactory([] { return new DeveloperLogSidebar; });
    m_interaction = std::make_unique<DialogInteraction>(m_window.get());
    Interaction::install(m_interaction.get());
    startUp();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void CorvaneApp::openLinuxDisplay()
{
    if (!m_linuxDisplay) {
        m_linuxDisplay = std::make_unique<LinuxDisplayWindow>(*m_linux);
    }
    m_linuxDisplay->show();
    m_linuxDisplay->raise();
    m_linuxDisplay->activateWindow();
}

QString CorvaneApp::selectedTab() const
{
    return AppPreferences::read(*m_preferences, AppPreferences::selectedVMTab);
}

void CorvaneApp::startUp()
{
    if (m_started) {
        return;
    }
    m_started = true;
    m_delegate->setModels(m_fleet.get(), m_windows.get(), m_linux.get(), m_ios.get());
    if (selectedTab() == QLatin1String("logs")) {
        AppPreferences::write(*m_preferences, AppPreferences::selectedVMTab, QStringLiteral("settings"));
    }
    if (AppPreferences::read(*m_preferences, AppPreferences::developerModeEnabled)) {
        startInteractionLogging();
    }
    AppLog::info(QStringLiteral("应用"), QStringLiteral("Corvane Beta 已启动"));
}

void CorvaneApp::startInteractionLogging()
{
    QPointer<CorvaneApp> self(this);
    m_monitor->start([self] { return self ? Tabs::tabName(self->selectedTab()) : QString(); });
}

void CorvaneApp::onPreferenceChanged(const QString &key)
{
    if (key == QLatin1String("experimentalVPhoneEnabled")) {
        if (!AppPreferences::read(*m_preferences, AppPreferences::experimentalVPhoneEnabled) &&
            selectedTab() == QLatin1String("vphone-beta")) {
            if (m_window) {
                m_window->selectTab(QStringLiteral("ios"));
            } else {
                AppPreferences::write(*m_preferences, AppPreferences::selectedVMTab, QStringLiteral("ios"));
            }
        }
    } else if (key == QLatin1String("developerModeEnabled")) {
        if (AppPreferences::read(*m_preferences, AppPreferences::developerModeEnabled)) {
            startInteractionLogging();
        } else {
            m_monitor->stop();
        }
    } else if (key == QLatin1String("selectedVMTab") &&
               AppPreferences::read(*m_preferences, AppPreferences::developerModeEnabled)) {
        AppLog::info(QStringLiteral("导航"), QStringLiteral("切换到 ") + Tabs::tabName(selectedTab()));
    }
    if (key.startsWith(QLatin1String("appearance"))) {
        Appearance::instance().refresh();
    }
    if (m_window) {
        m_window->applyPreferences();
    }
}

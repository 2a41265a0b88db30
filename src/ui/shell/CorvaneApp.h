#pragma once

#include "android/VMTiming.h"
#include "ios/IOSSimctl.h"
#include "linux/engine/VirtualMachineEngine.h"
#include "windows/WindowsModel.h"

#include <QObject>

#include <memory>

class AppDelegate;
class DialogInteraction;
class InteractionLogMonitor;
class IOSModel;
class LinuxDisplayWindow;
class LinuxModel;
class MainWindow;
class QSettings;
class VMFleet;
class VPhoneModel;

/**
 * The application: one model of each guest kind for the life of the process, the main window over
 * them, the shared memory budget wired between Android and Linux as they are made, and the quit guard.
 */
class CorvaneApp : public QObject
{
    Q_OBJECT

public:
    /** How the models are made; the system's own programs unless a test chooses stand-ins. */
    struct Options
    {
        /** How the Android devices time their polls. */
        VMTiming android;
        IOSSimctl::Options ios;
        WindowsModelOptions windows;
    };

    /** `engine` runs the Linux machine; QEMU unless a test hands in another. */
    explicit CorvaneApp(std::unique_ptr<VirtualMachineEngine> engine = nullptr, Options options = {},
                        QObject *parent = nullptr);
    ~CorvaneApp() override;

    /** Builds the window, runs the start-up steps and shows it; call once. */
    void show();
    /** The start-up steps that wire the models; show() runs them, later calls do nothing. */
    void startUp();

    VMFleet &fleet() const { return *m_fleet; }
    WindowsModel &windows() const { return *m_windows; }
    LinuxModel &linux() const { return *m_linux; }
    IOSModel &ios() const { return *m_ios; }
    VPhoneModel &vphone() const { return *m_vphone; }
    InteractionLogMonitor &interactionLogMonitor() const { return *m_monitor; }
    AppDelegate &delegate() const { return *m_delegate; }
    MainWindow *window() const { return m_window.get(); }
    /** The separate window of the Linux machine's screen, once it has been opened. */
    LinuxDisplayWindow *linuxDisplayWindow() const { return m_linuxDisplay.get(); }
    /** Opens (or brings forward) the separate window of the Linux machine's screen. */
    void openLinuxDisplay();

private:
    void onPreferenceChanged(const QString &key);
    void startInteractionLogging();
    QString selectedTab() const;

    std::unique_ptr<QSettings> m_preferences;
    std::unique_ptr<VirtualMachineEngine> m_engine;
    std::unique_ptr<AppDelegate> m_delegate;
    std::unique_ptr<VMFleet> m_fleet;
    std::unique_ptr<WindowsModel> m_windows;
    std::unique_ptr<LinuxModel> m_linux;
    std::unique_ptr<IOSModel> m_ios;
    std::unique_ptr<VPhoneModel> m_vphone;
    std::unique_ptr<InteractionLogMonitor> m_monitor;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<LinuxDisplayWindow> m_linuxDisplay;
    std::unique_ptr<DialogInteraction> m_interaction;
    bool m_started = false;
};

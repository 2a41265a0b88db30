#pragma once

#include <QCoroTask>
#include <QObject>
#include <QPointer>

class IOSModel;
class LinuxModel;
class VMFleet;
class WindowsModel;

/**
 * The quit guard. It refuses to quit while any guest is in the middle of work, asks before stopping a
 * running Linux machine, and stops Linux and every Android device before the process ends. It holds
 * the models weakly; the application owns them.
 */
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    enum class Reply { TerminateNow, Cancel, TerminateLater };

    using QObject::QObject;

    void setModels(VMFleet *fleet, WindowsModel *windows, LinuxModel *linux, IOSModel *ios);

    /** Decides whether the application may quit now, must not, or may once the guests have stopped. */
    QCoro::Task<Reply> applicationShouldTerminate();
    /** Stops Linux, then every Android device in turn; false when Linux would not stop. */
    QCoro::Task<bool> stopGuestsForTermination();
    /** The whole answer to a quit request: true when the application may end now. */
    QCoro::Task<bool> requestTermination();

private:
    QPointer<VMFleet> m_fleet;
    QPointer<WindowsModel> m_windows;
    QPointer<LinuxModel> m_linux;
    QPointer<IOSModel> m_ios;
};

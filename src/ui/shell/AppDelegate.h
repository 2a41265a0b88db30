#pragma once

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <optional>

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
    Q_PROPERTY(bool quitting READ quitting NOTIFY quittingChanged)
    Q_PROPERTY(QString stoppingGuest READ stoppingGuest NOTIFY stoppingGuestChanged)

public:
    enum class Reply { TerminateNow, Cancel, TerminateLater };

    using QObject::QObject;

    void setModels(VMFleet *fleet, WindowsModel *windows, LinuxModel *linux, IOSModel *ios);

    /** Whether the guests are being stopped for the quit; the window takes no new work meanwhile. */
    bool quitting() const { return m_quitting; }
    /** The name of the guest being stopped for the quit, or empty between two. */
    const QString &stoppingGuest() const { return m_stoppingGuest; }

    /** Decides whether the application may quit now, must not, or may once the guests have stopped. */
    QCoro::Task<Reply> applicationShouldTerminate();
    /**
     * Stops Linux, then every Android device in turn, then looks at every guest again; false when
     * Linux would not stop or a guest was set to work meanwhile, which keeps the application open.
     */
    QCoro::Task<bool> stopGuestsForTermination();
    /** The whole answer to a quit request: true when the application may end now. */
    QCoro::Task<bool> requestTermination();

Q_SIGNALS:
    void quittingChanged();
    void stoppingGuestChanged();

private:
    struct Refusal
    {
        QString title;
        QString text;
        QStringList buttons;
    };

    /** The first check of the guard that holds: some guest is in the middle of work. */
    std::optional<Refusal> busyWork() const;
    /** Whether Linux or any Android device runs. */
    bool guestsRunning() const;
    /** Ends the stopping without a quit. */
    void abandonQuit(const QString &reason);
    void setQuitting(bool quitting);
    void setStoppingGuest(const QString &name);

    QPointer<VMFleet> m_fleet;
    QPointer<WindowsModel> m_windows;
    QPointer<LinuxModel> m_linux;
    QPointer<IOSModel> m_ios;
    bool m_quitting = false;
    QString m_stoppingGuest;
};

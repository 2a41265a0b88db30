#pragma once

#include "linux/engine/QemuInstallation.h"
#include "linux/engine/VirtualMachineEngine.h"
#include "platform/ChildLifetime.h"

#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QProcess>
#include <QSet>
#include <QStringList>

#include <chrono>
#include <coroutine>
#include <memory>
#include <vector>

class QLocalServer;
class QTemporaryDir;

namespace detail {
class QmpClient;
}

/**
 * A machine run by QEMU, one process per start. QEMU starts paused and connects to a monitor socket
 * this machine listens on; the guest runs only then, so nothing it does goes unheard. Both sockets
 * live in a private folder (mode 0700) that is removed when the process has ended.
 */
class QemuMachine : public VirtualMachine
{
    Q_OBJECT

public:
    /** From launch to a running guest; past it the start is given up and QEMU killed. */
    static constexpr std::chrono::seconds startTimeout{60};
    /** How long QEMU may take to honour `quit` before it is killed. */
    static constexpr std::chrono::seconds quitTimeout{10};

    QemuMachine(QemuInstallation installation, MachineConfiguration configuration,
                OrphanGuard orphanGuard = defaultOrphanGuard, QObject *parent = nullptr);
    /** Kills a QEMU that still runs, without waiting for it. */
    ~QemuMachine() override;

    QCoro::Task<> start() override;
    bool canRequestStop() const override;
    QCoro::Task<> requestStop() override;
    bool canStop() const override;
    QCoro::Task<> stop() override;
    QString displayEndpoint() const override;

    /** QEMU's arguments for the current or the last run; empty before the first start. */
    QStringList arguments() const { return m_arguments; }
    /** QEMU's process id while it runs, else 0. */
    qint64 processId() const;

private:
    enum class State { Stopped, Starting, Running, Stopping };

    /** What one run of QEMU left to explain its end. */
    struct Run
    {
        bool processEnded = false;
        bool timedOut = false;
        bool abandoned = false;
        QProcess::ProcessError processError = QProcess::UnknownError;
        QString processErrorText;
        QProcess::ExitStatus exitStatus = QProcess::NormalExit;
        int exitCode = 0;
        QString shutdownReason;
        QByteArray output;
    };

    struct Reply
    {
        QJsonValue value;
        QString error;
    };

    class Change;
    Change nextChange();
    void wakeWaiting();

    void launch();
    void release();
    void onMonitorConnection();
    void onReplied(qint64 id, const QJsonValue &value, const QString &error);
    void onEvent(const QString &name, const QJsonObject &data);
    void onOutput();
    void onProcessEnded();
    void scheduleConclusion();
    void concludeIfEnded();

    QCoro::Task<> untilMonitorReady();
    QCoro::Task<QJsonValue> execute(QString command);
    QString endDescription() const;
    QString outputTail() const;

    QemuInstallation m_installation;
    MachineConfiguration m_configuration;
    OrphanGuard m_orphanGuard;
    State m_state = State::Stopped;
    Run m_run;
    QStringList m_arguments;
    QString m_displaySocket;
    std::unique_ptr<QTemporaryDir> m_runtime;
    QLocalServer *m_monitorServer = nullptr;
    detail::QmpClient *m_monitor = nullptr;
    QProcess *m_process = nullptr;
    std::unique_ptr<ChildLifetime> m_lifetime;
    QSet<qint64> m_awaitedReplies;
    QHash<qint64, Reply> m_replies;
    std::vector<std::coroutine_handle<>> m_waiting;
};

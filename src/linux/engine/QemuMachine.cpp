#include "linux/engine/QemuMachine.h"

#include "linux/engine/detail/QemuCommandLine.h"
#include "linux/engine/detail/QmpClient.h"
#include "platform/Error.h"
#include "services/AppLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

namespace {

const auto category = QStringLiteral("Linux");
constexpr qsizetype outputKept = qsizetype(8) * 1024;
constexpr qsizetype linesShown = 12;
// A unix socket path must fit sun_path: 104 bytes on macOS, 108 on Linux.
constexpr qsizetype longestSocketPath = 100;
constexpr std::chrono::milliseconds exitGrace{2000};

QString releasedMessage()
{
    return QStringLiteral("虚拟机已被释放。");
}

std::unique_ptr<QTemporaryDir> makeRuntimeFolder()
{
    const QStringList bases{QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation),
                            QDir::tempPath(), QStringLiteral("/tmp")};
    for (const QString &base : bases) {
        if (base.isEmpty()) {
            continue;
        }
        auto folder = std::make_unique<QTemporaryDir>(base + QStringLiteral("/corvane-qemu-XXXXXX"));
        if (!folder->isValid() ||
            QFile::encodeName(folder->filePath(QStringLiteral("monitor.sock"))).size() > longestSocketPath) {
            continue;
        }
        // Whoever can enter this folder can watch the screen and steer the machine.
        QFile::setPermissions(folder->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return folder;
    }
    throw VMFailure(QStringLiteral("无法创建虚拟机的运行目录。"));
}

} // namespace

// Suspends a task of this machine until its state next changes. The resume is posted from the event
// loop, never made inside a signal, so whoever the task hands control to may destroy the machine.
class QemuMachine::Change
{
public:
    explicit Change(QemuMachine &machine)
        : m_machine(machine)
    {}
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> waiting) { m_machine.m_waiting.push_back(waiting); }
    void await_resume() const noexcept {}

private:
    QemuMachine &m_machine;
};

QemuMachine::QemuMachine(QemuInstallation installation, MachineConfiguration configuration,
                         OrphanGuard orphanGuard, QObject *parent)
    : VirtualMachine(parent)
    , m_installation(std::move(installation))
    , m_configuration(std::move(configuration))
    , m_orphanGuard(orphanGuard)
{}

QemuMachine::~QemuMachine()
{
    release();
    // Waiting tasks resume, find the machine gone and end.
    wakeWaiting();
}

QemuMachine::Change QemuMachine::nextChange()
{
    return Change(*this);
}

void QemuMachine::wakeWaiting()
{
    for (const std::coroutine_handle<> waiting : std::exchange(m_waiting, {})) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [waiting] { waiting.resume(); }, Qt::QueuedConnection);
    }
}

QCoro::Task<> QemuMachine::start()
{
    if (m_state != State::Stopped) {
        throw VMFailure(QStringLiteral("虚拟机已在运行。"));
    }
    launch();
    m_state = State::Starting;
    QPointer<QemuMachine> self(this);

    QTimer deadline;
    deadline.setSingleShot(true);
    // A coarse timer may fire 5 % early: three seconds off a one-minute start.
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, this, [this] {
        m_run.timedOut = true;
        if (m_process) {
            m_process->kill();
        }
    });
    deadline.start(startTimeout);

    std::optional<QString> failure;
    try {
        co_await untilMonitorReady();
        co_await execute(QStringLiteral("cont"));
        const QJsonValue status = co_await execute(QStringLiteral("query-status"));
        const QString state = status.toObject().value(QStringLiteral("status")).toString();
        if (state != QStringLiteral("running")) {
            throw VMFailure(QStringLiteral("QEMU 没有让虚拟机运行起来（状态：%1）。").arg(state));
        }
    } catch (const Error &error) {
        failure = error.description();
    }
    if (!self) {
        throw VMFailure(releasedMessage());
    }
    deadline.stop();
    if (!failure) {
        m_state = State::Running;
        co_return;
    }

    // QEMU goes whatever went wrong. One that closed the monitor is on its way out: its exit status
    // and last words explain the failure better than anything seen here, so it gets a moment.
    if (m_state != State::Stopped) {
        const bool leaving = !m_monitor || !m_monitor->isOpen();
        QTimer grace;
        grace.setSingleShot(true);
        connect(&grace, &QTimer::timeout, this, [this] {
            m_run.abandoned = true;
            if (m_process) {
                m_process->kill();
            }
        });
        grace.start(leaving ? exitGrace : std::chrono::milliseconds(0));
        while (m_state != State::Stopped) {
            co_await nextChange();
            if (!self) {
                throw VMFailure(releasedMessage());
            }
        }
    }
    QString description;
    if (m_run.timedOut) {
        description = QStringLiteral("QEMU 没有在 %1 秒内让虚拟机运行起来。").arg(startTimeout.count());
    } else if (m_run.abandoned) {
        description = *failure;
    } else {
        throw VMFailure(endDescription());
    }
    const QString tail = outputTail();
    throw VMFailure(tail.isEmpty() ? description : description + QLatin1Char('\n') + tail);
}

bool QemuMachine::canRequestStop() const
{
    return m_state == State::Running && m_monitor && m_monitor->isReady();
}

QCoro::Task<> QemuMachine::requestStop()
{
    if (!canRequestStop()) {
        throw VMFailure(QStringLiteral("虚拟机没有在运行，无法请求关机。"));
    }
    // The ACPI power button: the guest decides, and a power-off is reported when it happens. QEMU's
    // answer says only whether the button was pressed, so a refusal reaches whoever asked.
    co_await execute(QStringLiteral("system_powerdown"));
}

bool QemuMachine::canStop() const
{
    return m_state == State::Running;
}

QCoro::Task<> QemuMachine::stop()
{
    if (!canStop()) {
        throw VMFailure(QStringLiteral("虚拟机没有在运行，无法停止。"));
    }
    QPointer<QemuMachine> self(this);
    m_state = State::Stopping;

    QTimer escalation;
    escalation.setSingleShot(true);
    // QEMU gets all of its time to quit, not the 5 % less a coarse timer may give.
    escalation.setTimerType(Qt::PreciseTimer);
    connect(&escalation, &QTimer::timeout, this, [this] {
        if (m_process) {
            m_process->kill();
        }
    });
    if (m_monitor && m_monitor->isReady()) {
        m_monitor->send(QStringLiteral("quit"));
        escalation.start(quitTimeout);
    } else if (m_process) {
        m_process->kill();
    }
    while (m_state != State::Stopped) {
        co_await nextChange();
        if (!self) {
            co_return;
        }
    }
}

QString QemuMachine::displayEndpoint() const
{
    return m_state == State::Running ? m_displaySocket : QString();
}

qint64 QemuMachine::processId() const
{
    return m_process ? m_process->processId() : 0;
}

void QemuMachine::launch()
{
    m_run = Run{};
    m_replies.clear();
    m_awaitedReplies.clear();
    try {
        m_runtime = makeRuntimeFolder();
        const detail::QemuSockets sockets{m_runtime->filePath(QStringLiteral("monitor.sock")),
                                          m_runtime->filePath(QStringLiteral("display.sock"))};
        m_monitorServer = new QLocalServer(this);
        m_monitorServer->setSocketOptions(QLocalServer::UserAccessOption);
        if (!m_monitorServer->listen(sockets.monitor)) {
            throw SystemError(m_monitorServer->errorString());
        }
        connect(m_monitorServer, &QLocalServer::newConnection, this, &QemuMachine::onMonitorConnection);
        m_arguments = detail::qemuArguments(m_installation, m_configuration, sockets);
        m_displaySocket = sockets.display;

        m_process = new QProcess(this);
        m_process->setProgram(m_installation.program);
        m_process->setArguments(m_arguments);
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->setStandardInputFile(QProcess::nullDevice());
        m_lifetime = std::make_unique<ChildLifetime>(m_orphanGuard);
        m_lifetime->apply(*m_process);
    } catch (...) {
        release();
        throw;
    }
    connect(m_process, &QProcess::readyReadStandardOutput, this, &QemuMachine::onOutput);
    // Queued, so QProcess has settled the exit status and finished its own signals first.
    connect(
        m_process, &QProcess::stateChanged, this,
        [this, process = QPointer<QProcess>(m_process)] {
            if (process && process == m_process && process->state() == QProcess::NotRunning) {
                onProcessEnded();
            }
        },
        Qt::QueuedConnection);
    AppLog::info(category,
                 QStringLiteral("启动 QEMU：") + AppLog::command(m_installation.program, m_arguments));
    m_process->start();
}

void QemuMachine::release()
{
    if (m_monitorServer) {
        m_monitorServer->disconnect(this);
        m_monitorServer->close();
        m_monitorServer->deleteLater();
        m_monitorServer = nullptr;
    }
    if (m_monitor) {
        m_monitor->disconnect(this);
        m_monitor->deleteLater();
        m_monitor = nullptr;
    }
    if (m_process) {
        QProcess *process = std::exchange(m_process, nullptr);
        process->disconnect(this);
        if (process->state() == QProcess::NotRunning) {
            process->deleteLater();
        } else {
            // Reaped and deleted once it has died; nothing here waits for that.
            process->setParent(nullptr);
            connect(process, &QProcess::stateChanged, process, [process](QProcess::ProcessState state) {
                if (state == QProcess::NotRunning) {
                    process->deleteLater();
                }
            });
            process->kill();
        }
    }
    m_lifetime.reset();
    m_runtime.reset();
}

void QemuMachine::onMonitorConnection()
{
    QLocalSocket *socket = m_monitorServer ? m_monitorServer->nextPendingConnection() : nullptr;
    if (!socket) {
        return;
    }
    if (m_monitor) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    // QEMU connects once; nobody else gets to.
    m_monitorServer->close();
    m_monitor = new detail::QmpClient(socket, this);
    connect(m_monitor, &detail::QmpClient::ready, this, &QemuMachine::wakeWaiting);
    connect(m_monitor, &detail::QmpClient::replied, this, &QemuMachine::onReplied);
    connect(m_monitor, &detail::QmpClient::eventArrived, this, &QemuMachine::onEvent);
    connect(m_monitor, &detail::QmpClient::closed, this, [this] {
        scheduleConclusion();
        wakeWaiting();
    });
    wakeWaiting();
}

void QemuMachine::onReplied(qint64 id, const QJsonValue &value, const QString &error)
{
    if (!m_awaitedReplies.remove(id)) {
        if (!error.isEmpty()) {
            AppLog::warn(category, QStringLiteral("QEMU 拒绝了请求：") + error);
        }
        return;
    }
    m_replies.insert(id, Reply{value, error});
    wakeWaiting();
}

void QemuMachine::onEvent(const QString &name, const QJsonObject &data)
{
    // A guest reset restarts the machine in place; only SHUTDOWN precedes QEMU's own exit.
    if (name == QStringLiteral("SHUTDOWN")) {
        m_run.shutdownReason = data.value(QStringLiteral("reason")).toString();
    }
}

void QemuMachine::onOutput()
{
    if (!m_process) {
        return;
    }
    m_run.output.append(m_process->readAllStandardOutput());
    if (m_run.output.size() > outputKept) {
        m_run.output.remove(0, m_run.output.size() - outputKept);
        // Whole lines only.
        m_run.output.remove(0, m_run.output.indexOf('\n') + 1);
    }
}

void QemuMachine::onProcessEnded()
{
    if (m_run.processEnded) {
        return;
    }
    onOutput();
    m_run.processEnded = true;
    m_run.processError = m_process->error();
    m_run.processErrorText = m_process->errorString();
    m_run.exitStatus = m_process->exitStatus();
    m_run.exitCode = m_process->exitCode();
    m_lifetime->childEnded();
    scheduleConclusion();
    wakeWaiting();
}

void QemuMachine::scheduleConclusion()
{
    // Posted: the conclusion may hand control to code that destroys this machine.
    QMetaObject::invokeMethod(this, &QemuMachine::concludeIfEnded, Qt::QueuedConnection);
}

void QemuMachine::concludeIfEnded()
{
    // The monitor's last words (the SHUTDOWN event) arrive before its connection closes.
    if (m_state == State::Stopped || !m_run.processEnded || (m_monitor && m_monitor->isOpen())) {
        return;
    }
    const State endedIn = m_state;
    const bool poweredOffByGuest = m_run.processError != QProcess::FailedToStart &&
                                   m_run.exitStatus == QProcess::NormalExit && m_run.exitCode == 0 &&
                                   m_run.shutdownReason == QStringLiteral("guest-shutdown");
    const QString description = endDescription();
    release();
    m_state = State::Stopped;
    wakeWaiting();
    // A start and a stop() learn of the end through their own tasks.
    if (endedIn != State::Running) {
        return;
    }
    if (poweredOffByGuest) {
        Q_EMIT guestDidStop();
    } else {
        Q_EMIT didStopWithError(description);
    }
}

QCoro::Task<> QemuMachine::untilMonitorReady()
{
    QPointer<QemuMachine> self(this);
    while (!m_monitor || !m_monitor->isReady()) {
        if (m_run.processEnded || (m_monitor && !m_monitor->isOpen())) {
            throw VMFailure(QStringLiteral("QEMU 没有建立监控连接。"));
        }
        co_await nextChange();
        if (!self) {
            throw VMFailure(releasedMessage());
        }
    }
}

QCoro::Task<QJsonValue> QemuMachine::execute(QString command)
{
    QPointer<QemuMachine> self(this);
    const qint64 id = m_monitor ? m_monitor->send(command) : -1;
    if (id < 0) {
        throw VMFailure(QStringLiteral("与 QEMU 的监控连接已断开。"));
    }
    m_awaitedReplies.insert(id);
    while (!m_replies.contains(id)) {
        if (!m_monitor || !m_monitor->isOpen()) {
            throw VMFailure(QStringLiteral("与 QEMU 的监控连接已断开。"));
        }
        co_await nextChange();
        if (!self) {
            throw VMFailure(releasedMessage());
        }
    }
    const Reply reply = m_replies.take(id);
    if (!reply.error.isEmpty()) {
        throw VMFailure(QStringLiteral("QEMU 拒绝了“%1”：%2").arg(command, reply.error));
    }
    co_return reply.value;
}

QString QemuMachine::endDescription() const
{
    QString description;
    if (m_run.processError == QProcess::FailedToStart) {
        description = QStringLiteral("无法运行 QEMU（%1）：%2")
                          .arg(QDir::toNativeSeparators(m_installation.program), m_run.processErrorText);
    } else if (m_run.exitStatus == QProcess::CrashExit) {
        description = QStringLiteral("QEMU 被信号 %1 终止。").arg(m_run.exitCode);
    } else if (m_run.exitCode != 0) {
        description = QStringLiteral("QEMU 以退出码 %1 结束。").arg(m_run.exitCode);
    } else if (m_run.shutdownReason == QStringLiteral("host-signal")) {
        description = QStringLiteral("QEMU 收到终止信号后退出。");
    } else if (!m_run.shutdownReason.isEmpty()) {
        description = QStringLiteral("QEMU 已退出（%1）。").arg(m_run.shutdownReason);
    } else {
        description = QStringLiteral("QEMU 自行退出。");
    }
    const QString tail = outputTail();
    return tail.isEmpty() ? description : description + QLatin1Char('\n') + tail;
}

QString QemuMachine::outputTail() const
{
    QStringList lines;
    for (const QString &line : QString::fromLocal8Bit(m_run.output).split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty()) {
            lines << line.trimmed();
        }
    }
    return lines.mid(std::max<qsizetype>(0, lines.size() - linesShown)).join(QLatin1Char('\n'));
}

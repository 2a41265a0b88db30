#include "android/VMModel.h"

#include "android/detail/EmulatorPorts.h"
#include "platform/ChildLifetime.h"
#include "platform/Error.h"
#include "platform/Host.h"
#include "platform/Tools.h"
#include "services/AppLog.h"
#include "services/Command.h"
#include "services/FileIO.h"
#include "services/InstanceLock.h"
#include "services/Interaction.h"
#include "services/ProcessWait.h"
#include "services/PropertyField.h"
#include "services/Tasks.h"

#include <QCoroTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

namespace {

const auto category = QStringLiteral("Android");
constexpr qint64 logTailBytes = 64000;

QString gigabytes(qint64 memoryMB)
{
    return QString::number(memoryMB / 1024);
}

// The emulator names what it lacks (KVM) but not how a user gets it.
QString withAccelerationAdvice(const QString &emulatorWords)
{
    const Host &host = Host::current();
    if (!Tools::androidVariant(host.androidHost()).usesKvm) {
        return emulatorWords;
    }
    const QString advice = Tools::kvmAdvice(host.kvmDevice());
    return advice.isEmpty() ? emulatorWords : emulatorWords.trimmed() + u'\n' + advice;
}

} // namespace

VMModel::VMModel(VMPaths paths, QString id, QString name, Options options, QObject *parent)
    : QObject(parent)
    , m_paths(std::move(paths))
    , m_id(std::move(id))
    , m_timing(options.timing)
    , m_canStart(std::move(options.canStart))
    , m_configuration(this, VMConfiguration::load(m_paths.configurationFile()).validated())
    , m_installed(this, m_paths.installed())
    , m_name(this, std::move(name))
    , m_installation(*this, std::move(options.manifest))
{
    m_status.set(m_installed ? QStringLiteral("安卓环境已就绪")
                             : QStringLiteral("首次使用 · 需要安装安卓环境"));
    m_installation.removeLeftovers();
    loadSnapshots();
}

VMModel::~VMModel()
{
    cancelBootMonitor();
    if (m_process) {
        // The emulator must not outlive the model that supervises it; QProcess reaps it when destroyed.
        m_process->disconnect(this);
        m_process->kill();
    }
    releaseClaim();
}

qint64 VMModel::processId() const
{
    return m_process ? m_process->processId() : 0;
}

bool VMModel::portsAvailable(std::optional<int> port) const
{
    return EmulatorPorts::available(port.value_or(m_port));
}

void VMModel::start()
{
    if (!m_installed || m_running || m_busy || snapshotBusy() || m_forceQuitting) {
        return;
    }
    if (m_canStart && !m_canStart(*this)) {
        return;
    }
    for (const int candidate : EmulatorPorts::candidates()) {
        if (EmulatorPorts::reserved().contains(candidate) || !portsAvailable(candidate)) {
            continue;
        }
        try {
            m_paths.createDirectories();
        } catch (const Error &failure) {
            setError(failure.description());
            return;
        }
        const InstanceLock::Attempt lock = InstanceLock::acquire(m_paths.lockFile());
        if (lock.outcome == InstanceLock::Outcome::CannotOpen) {
            setError(QStringLiteral("无法锁定实例数据目录。"));
            return;
        }
        if (lock.outcome == InstanceLock::Outcome::HeldElsewhere) {
            setError(QStringLiteral("此实例已在另一个窗口运行，请复制实例后多开。"));
            return;
        }
        m_instanceLock = lock.descriptor;
        m_port = candidate;
        EmulatorPorts::reserved().insert(candidate);

        save();
        setError(QString());
        setBusy(true);
        setStatus(QStringLiteral("检查虚拟化环境…"));
        AppLog::info(category, QStringLiteral("请求启动 ") + m_name.get() + QStringLiteral(" · 端口 ") +
                                   QString::number(m_port) + QStringLiteral(" · ") +
                                   QString::number(m_configuration->cores) + QStringLiteral(" 核 · ") +
                                   gigabytes(m_configuration->memoryMB) + QStringLiteral("GB"));
        startTask(runStart(), category);
        return;
    }
    setError(QStringLiteral("没有可用的模拟器端口，请关闭不使用的实例。"));
}

QCoro::Task<> VMModel::runStart()
{
    QPointer self(this);
    try {
        const qint64 free = Host::current().availableCapacity(m_paths.root());
        if (free < 0 || free <= minimumFreeBytes) {
            throw VMFailure(QStringLiteral("剩余磁盘不足 3GB，请释放空间后启动，以免安卓数据写入失败。"));
        }
        if (!portsAvailable()) {
            throw VMFailure(QStringLiteral("端口被其他程序抢占，请重试以重新分配。"));
        }
        const QMap<QString, QString> environment = m_paths.environment();
        const QStringList accelCheck{QStringLiteral("-accel-check")};
        QString accel;
        try {
            accel = co_await Command::run(m_paths.emulatorExecutable(), accelCheck, environment, 60);
        } catch (const VMFailure &refused) {
            throw VMFailure(withAccelerationAdvice(refused.message()));
        }
        if (!self) {
            co_return;
        }
        setDetail(accel.trimmed());
        m_paths.configure(m_configuration);

        const QStringList startServer{QStringLiteral("-P"), QString::number(VMPaths::adbServerPort),
                                      QStringLiteral("start-server")};
        co_await Command::run(m_paths.adbExecutable(), startServer, environment, 60);
        if (!self) {
            co_return;
        }

        QFile log(m_paths.emulatorLog());
        if (!log.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            throw SystemError(log.errorString());
        }
        log.close();

        auto *process = new QProcess(this);
        process->setProgram(m_paths.emulatorExecutable());
        process->setArguments(m_configuration->arguments(m_port));
        QProcessEnvironment complete;
        for (auto it = environment.cbegin(); it != environment.cend(); ++it) {
            complete.insert(it.key(), it.value());
        }
        process->setProcessEnvironment(complete);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->setStandardOutputFile(m_paths.emulatorLog(), QIODevice::Append);
        process->setStandardInputFile(QProcess::nullDevice());
        try {
            // An emulator left behind by a killed application would hold the device's folder, and
            // the next start would fail on it.
            ChildLifetime::attach(*process);
        } catch (...) {
            process->deleteLater();
            throw;
        }
        process->start();
        co_await ProcessStateWait::started(*process);
        if (!self) {
            co_return;
        }
        if (process->state() != QProcess::Running) {
            process->deleteLater();
            if (process->error() == QProcess::FailedToStart) {
                throw SystemError(process->errorString());
            }
            // It ran and has already ended, before this task could look: the same end as a later one.
            reportEnd(process->exitCode(), process->exitStatus() == QProcess::CrashExit, false);
        } else {
            // Connected only now: an end seen before this point is reported above, and only once.
            connect(process, &QProcess::finished, this,
                    [this, process](int exitCode, QProcess::ExitStatus status) {
                        onProcessFinished(process, exitCode, status == QProcess::CrashExit);
                    });
            m_process = process;
            m_running.set(true);
            m_booted.set(false);
            setStatus(QStringLiteral("安卓启动中…"));
            setDetail(QStringLiteral("安卓会出现在独立窗口中。首次开机通常需要 1–3 分钟。"));
            m_bootCancelled = std::make_shared<bool>(false);
            startTask(monitorBoot(m_bootCancelled), category);
        }
    } catch (...) {
        const QString description = describe(std::current_exception());
        if (self) {
            setStatus(QStringLiteral("无法启动"));
            setError(description);
            AppLog::error(category, m_name.get() + QStringLiteral(" 启动失败：") + description);
        }
    }
    if (!self) {
        co_return;
    }
    setBusy(m_forceQuitting);
    if (!m_running && !m_forceQuitting) {
        releaseClaim();
    }
}

QCoro::Task<> VMModel::monitorBoot(std::shared_ptr<bool> cancelled)
{
    QPointer self(this);
    const QStringList getprop{QStringLiteral("shell"), QStringLiteral("getprop"),
                              QStringLiteral("sys.boot_completed")};
    for (int attempt = 0;;) {
        if (!self || *cancelled || !m_running) {
            co_return;
        }
        QString answer;
        try {
            answer = co_await adb(getprop, 10);
        } catch (...) {
            // Not booted far enough to answer yet; poll again.
        }
        if (!self || *cancelled || !m_running) {
            co_return;
        }
        if (answer.trimmed() == QLatin1String("1")) {
            if (!m_stopping) {
                m_booted.set(true);
                setStatus(QStringLiteral("安卓正在运行"));
                setDetail(QString::number(m_configuration->cores) + QStringLiteral(" 核 CPU · ") +
                          gigabytes(m_configuration->memoryMB) + QStringLiteral("GB 内存 · Android 14"));
            }
            co_return;
        }
        co_await QCoro::sleepFor(m_timing.bootPollInterval);
        if (!self || *cancelled || !m_running) {
            co_return;
        }
        if (++attempt >= m_timing.bootAttempts) {
            setStatus(QStringLiteral("开机耗时较长"));
            setDetail(QStringLiteral("请查看安卓窗口或运行日志，必要时停止后切换兼容渲染。"));
            co_return;
        }
    }
}

QCoro::Task<QString> VMModel::adb(QStringList arguments, double timeoutSeconds)
{
    QStringList full{QStringLiteral("-P"), QString::number(VMPaths::adbServerPort), QStringLiteral("-s"),
                     QStringLiteral("emulator-") + QString::number(m_port)};
    full += arguments;
    const QString executable = m_paths.adbExecutable();
    const QMap<QString, QString> environment = m_paths.environment();
    co_return co_await Command::run(executable, full, environment, timeoutSeconds);
}

void VMModel::installAPK()
{
    if (!m_booted) {
        return;
    }
    startTask(runInstallAPK(), category);
}

QCoro::Task<> VMModel::runInstallAPK()
{
    QPointer self(this);
    const QStringList filters{QStringLiteral("Android 应用 (*.apk)")};
    const QString file =
        co_await Interaction::current()->chooseFile(QStringLiteral("选择要安装的 APK"), filters);
    if (!self || file.isEmpty() || !m_booted || m_busy) {
        co_return;
    }
    const QString fileName = QFileInfo(file).fileName();
    setBusy(true);
    setDetail(QStringLiteral("正在安装 ") + fileName + QStringLiteral("…"));
    try {
        const QStringList install{QStringLiteral("install"), QStringLiteral("-r"), file};
        const QString output = co_await adb(install, 180);
        if (!self) {
            co_return;
        }
        if (output.contains(QLatin1String("Success"))) {
            setDetail(QStringLiteral("已安装：") + fileName + QStringLiteral("。请在安卓应用列表中打开。"));
        } else {
            setError(output);
        }
    } catch (...) {
        if (!self) {
            co_return;
        }
        setError(describe(std::current_exception()));
    }
    setBusy(false);
}

void VMModel::save()
{
    setConfiguration(m_configuration->validated());
    try {
        saveConfiguration(m_paths, m_configuration);
    } catch (const Error &failure) {
        setError(failure.description());
    }
}

void VMModel::saveName()
{
    const QString trimmed = m_name->trimmed();
    if (trimmed.isEmpty()) {
        return;
    }
    setName(trimmed);
    try {
        FileIO::writeAtomically(m_paths.instanceNameFile(), trimmed.toUtf8());
    } catch (const Error &) {
        // The name still shows; it is stored again on the next rename.
    }
}

void VMModel::refreshLog()
{
    const std::optional<QByteArray> tail = FileIO::readTail(m_paths.emulatorLog(), logTailBytes);
    m_logText.set(tail ? QString::fromUtf8(*tail) : QStringLiteral("暂无运行日志。"));
}

void VMModel::cancelBootMonitor()
{
    if (m_bootCancelled) {
        *m_bootCancelled = true;
        m_bootCancelled.reset();
    }
}

void VMModel::releaseClaim()
{
    // The port is this device's only while it holds the lock: with none, the number may be another's.
    if (m_instanceLock < 0) {
        return;
    }
    EmulatorPorts::reserved().remove(m_port);
    InstanceLock::release(m_instanceLock);
}

void VMModel::refreshInstalled()
{
    m_installed.set(m_paths.installed());
}

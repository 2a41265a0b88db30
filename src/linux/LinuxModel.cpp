#include "linux/LinuxModel.h"

#include "linux/LinuxISO.h"
#include "platform/Error.h"
#include "platform/Host.h"
#include "services/AppLog.h"
#include "services/FileIO.h"
#include "services/Interaction.h"
#include "services/PropertyField.h"
#include "services/Tasks.h"

#include <QFileInfo>
#include <QPointer>

namespace {

const auto category = QStringLiteral("Linux");

} // namespace

LinuxModel::LinuxModel(VirtualMachineEngine &engine, QString root, Options options, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_base(QFileInfo(root.isEmpty() ? Host::dataRoot() : root).absoluteFilePath())
    , m_paths(m_base + QStringLiteral("/Linux"))
    , m_settingsFile(m_base + QStringLiteral("/linux-configuration.json"))
    , m_canAllocate(std::move(options.canAllocate))
    , m_configuration(this, LinuxConfiguration::load(m_settingsFile, engine).validated())
    , m_status(this, QStringLiteral("选择 ARM64 Linux ISO 后启动安装"))
{
    recoverSnapshots();
    m_prepared.set(m_paths.prepared());
    if (m_prepared) {
        m_status.set(QStringLiteral("Linux 虚拟硬件已就绪 · 是否已安装系统取决于磁盘内容"));
    }
    loadSnapshots();
}

LinuxModel::~LinuxModel()
{
    // The machine goes with its model; the lock must not outlive either.
    m_machine.reset();
    InstanceLock::release(m_lockFD);
}

bool LinuxModel::hasUsableISO() const
{
    if (m_configuration->isoPath.isEmpty()) {
        return false;
    }
    try {
        LinuxISO::validateFile(m_configuration->isoPath);
        return true;
    } catch (const Error &) {
        return false;
    }
}

void LinuxModel::chooseISO()
{
    if (m_running || m_busy) {
        return;
    }
    startTask(runChooseISO(), category);
}

QCoro::Task<> LinuxModel::runChooseISO()
{
    QPointer self(this);
    const QStringList filters{QStringLiteral("Linux ISO (*.iso *.ISO)")};
    const QString title = QStringLiteral("选择 ARM64 / aarch64 Linux ISO。安装器必须支持 UEFI 和 Virtio。");
    const QString file = co_await Interaction::current()->chooseFile(title, filters);
    // The dialog does not block the window: a start may have begun while it was open.
    if (!self || file.isEmpty() || m_running || m_busy) {
        co_return;
    }
    try {
        LinuxISO::validateFile(file);
    } catch (const Error &failure) {
        setError(failure.description());
        co_return;
    }
    LinuxConfiguration chosen = m_configuration;
    chosen.isoPath = QFileInfo(file).absoluteFilePath();
    chosen.attachISO = true;
    setConfiguration(chosen);
    save();
}

void LinuxModel::save()
{
    if (m_running) {
        return;
    }
    setConfiguration(m_configuration->validated());
    try {
        FileIO::createFolder(m_base);
        FileIO::writeAtomically(m_settingsFile, m_configuration->toJson());
    } catch (const Error &failure) {
        setError(failure.description());
    }
}

QCoro::Task<> LinuxModel::start()
{
    if (m_running || m_busy || snapshotBusy()) {
        co_return;
    }
    QPointer self(this);
    setBusy(true);
    setError(QString());
    AppLog::info(category, QStringLiteral("请求启动 · ") + QString::number(m_configuration->cores) +
                               QStringLiteral(" 核 · ") + QString::number(m_configuration->memoryGB) +
                               QStringLiteral("GB"));
    try {
        if (!m_engine.isSupported()) {
            throw VMFailure(QStringLiteral("本机不支持 Apple 虚拟化。"));
        }
        m_engine.requireInstallation();
        setConfiguration(m_configuration->validated());
        if (m_canAllocate && !m_canAllocate(m_configuration->memoryGB * 1024)) {
            throw VMFailure(QStringLiteral("Linux 与安卓合计内存超过安全上限，请减少分配或停止其他设备。"));
        }
        if (!m_configuration->attachISO) {
            if (!m_paths.prepared()) {
                throw VMFailure(QStringLiteral("首次启动需要选择并挂载 Linux ISO。"));
            }
        } else {
            LinuxISO::validateFile(m_configuration->isoPath);
        }
        save();

        const qint64 free = Host::current().availableCapacity(m_base);
        if (free < 0 || free <= minimumFreeBytes) {
            throw VMFailure(QStringLiteral("至少需要 5GB 可用空间才能启动，安装过程中可能需要更多。"));
        }

        const InstanceLock::Attempt lock = InstanceLock::acquire(lockFile());
        if (lock.outcome == InstanceLock::Outcome::CannotOpen) {
            throw VMFailure(QStringLiteral("无法锁定 Linux 数据盘。"));
        }
        if (lock.outcome == InstanceLock::Outcome::HeldElsewhere) {
            throw VMFailure(QStringLiteral("Linux 设备正在另一个 App 窗口运行。"));
        }
        m_lockFD = lock.descriptor;

        co_await m_paths.initialize(m_configuration->diskGB, m_engine);
        if (!self) {
            co_return;
        }
        setPrepared(true);

        const MachineConfiguration hardware = m_paths.makeVMConfiguration(m_configuration, m_engine);
        adopt(m_engine.createMachine(hardware));
        VirtualMachine *machine = m_machine.get();
        const QPointer<VirtualMachine> watched(machine);
        setStatus(QStringLiteral("正在启动 Linux 虚拟硬件…"));
        co_await machine->start();
        if (!self) {
            co_return;
        }
        // A stop reported while the machine came up has already ended this run.
        if (watched && m_machine.get() == watched) {
            m_running.set(true);
            setStatus(hardware.installerImage ? QStringLiteral("安装镜像已挂载 · 请在下方完成安装")
                                              : QStringLiteral("虚拟机运行中 · 正在从磁盘启动"));
        }
    } catch (...) {
        const QString description = describe(std::current_exception());
        if (self) {
            releaseMachine();
            InstanceLock::release(m_lockFD);
            setStatus(QStringLiteral("无法启动 Linux"));
            setError(description);
            AppLog::error(category, QStringLiteral("启动失败：") + description);
        }
    }
    if (self) {
        setBusy(false);
    }
}

void LinuxModel::requestStop()
{
    AppLog::info(category, QStringLiteral("请求正常关闭"));
    if (!m_machine || !m_machine->canRequestStop()) {
        setError(QStringLiteral("系统暂不响应关机请求，可以使用右侧强制退出。"));
        return;
    }
    startTask(runRequestStop(), category);
}

QCoro::Task<> LinuxModel::runRequestStop()
{
    QPointer self(this);
    const QPointer<VirtualMachine> machine(m_machine.get());
    try {
        co_await machine->requestStop();
        // The guest may already have powered off, and its report ended the run.
        if (self && machine && m_machine.get() == machine) {
            setStatus(QStringLiteral("已请求关机，等待 Linux 响应…"));
        }
    } catch (...) {
        const QString description = describe(std::current_exception());
        if (self && machine && m_machine.get() == machine) {
            setError(description);
            AppLog::error(category, QStringLiteral("关机请求失败：") + description);
        }
    }
}

QCoro::Task<> LinuxModel::forceStop()
{
    if (!m_machine || !m_machine->canStop() || m_busy) {
        co_return;
    }
    QPointer self(this);
    AppLog::warn(category, QStringLiteral("请求强制退出"));
    setBusy(true);
    VirtualMachine *machine = m_machine.get();
    const QPointer<VirtualMachine> watched(machine);
    try {
        co_await machine->stop();
        if (!self) {
            co_return;
        }
        // The guest may have powered off first; that report already ended the run.
        if (watched && m_machine.get() == watched) {
            finish(QStringLiteral("Linux 已强制退出 · 已写入数据保留"));
        }
    } catch (...) {
        const QString description = describe(std::current_exception());
        if (self) {
            setError(description);
        }
    }
    if (self) {
        setBusy(false);
    }
}

void LinuxModel::finish(const QString &text)
{
    m_running.set(false);
    releaseMachine();
    InstanceLock::release(m_lockFD);
    setStatus(text);
    AppLog::info(category, text);
}

void LinuxModel::adopt(std::unique_ptr<VirtualMachine> machine)
{
    VirtualMachine *raw = machine.get();
    // Queued: the engine may report from deep inside its own code, and the model may end the machine.
    // The pointer is watched so a report about a machine already gone, or replaced, is recognised.
    connect(
        raw, &VirtualMachine::guestDidStop, this,
        [this, watched = QPointer<VirtualMachine>(raw)] { onGuestDidStop(watched.data()); },
        Qt::QueuedConnection);
    connect(
        raw, &VirtualMachine::didStopWithError, this,
        [this, watched = QPointer<VirtualMachine>(raw)](const QString &description) {
            onDidStopWithError(watched.data(), description);
        },
        Qt::QueuedConnection);
    m_machine = std::move(machine);
    Q_EMIT machineChanged();
}

void LinuxModel::releaseMachine()
{
    if (!m_machine) {
        return;
    }
    std::unique_ptr<VirtualMachine> ended = std::move(m_machine);
    Q_EMIT machineChanged();
    // A start or forced stop may still be awaiting this machine; it must live until that resumes.
    if (m_busy) {
        m_retired.push_back(std::move(ended));
    } else {
        ended.release()->deleteLater();
    }
}

void LinuxModel::onGuestDidStop(VirtualMachine *machine)
{
    if (machine == nullptr || machine != m_machine.get()) {
        return;
    }
    finish(QStringLiteral("Linux 已关闭"));
}

void LinuxModel::onDidStopWithError(VirtualMachine *machine, const QString &description)
{
    if (machine == nullptr || machine != m_machine.get()) {
        return;
    }
    finish(QStringLiteral("Linux 异常停止"));
    setError(description);
    AppLog::error(category, description);
}

void LinuxModel::setBusy(bool value)
{
    if (!value) {
        for (std::unique_ptr<VirtualMachine> &ended : m_retired) {
            ended.release()->deleteLater();
        }
        m_retired.clear();
    }
    m_busy.set(value);
}

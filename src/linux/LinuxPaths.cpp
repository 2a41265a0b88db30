#include "linux/LinuxPaths.h"

#include "linux/LinuxConfiguration.h"
#include "linux/engine/VirtualMachineEngine.h"
#include "platform/Error.h"
#include "services/Background.h"
#include "services/FileIO.h"

#include <QCoroFuture>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qint64 GiB = qint64(1) << 30;

/** Removes the staging folder however initialize() is left; a finished one has been renamed away. */
class StagingFolder
{
public:
    explicit StagingFolder(QString path)
        : m_path(std::move(path))
    {}
    ~StagingFolder() { FileIO::removeIfPresent(m_path); }
    StagingFolder(const StagingFolder &) = delete;
    StagingFolder &operator=(const StagingFolder &) = delete;

    const QString &path() const { return m_path; }

private:
    QString m_path;
};

void createSparseDisk(const QString &path, qint64 bytes)
{
    if (FileIO::exists(path)) {
        throw VMFailure(QStringLiteral("目标磁盘已存在，不会覆盖。"));
    }
    // O_EXCL: a disk that appeared since the check above is still never truncated.
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        throw VMFailure(QStringLiteral("无法创建虚拟磁盘。"));
    }
    // Setting the length writes no data, so even the largest disk costs no space until the guest writes.
    const int result = ::ftruncate(descriptor, off_t(bytes));
    const int error = errno;
    ::close(descriptor);
    if (result != 0) {
        throw SystemError::fromErrno(error);
    }
}

int pixels(qint64 value)
{
    // The engine judges whether the size is sensible; only keep it from wrapping on the way there.
    return int(std::clamp<qint64>(value, 0, INT_MAX));
}

} // namespace

LinuxPaths::LinuxPaths(QString root)
    : m_root(std::move(root))
{}

QString LinuxPaths::disk() const
{
    return m_root + QStringLiteral("/Disk.img");
}

QString LinuxPaths::efiVariableStore() const
{
    return m_root + QStringLiteral("/EFIStore");
}

QString LinuxPaths::machineIdentifier() const
{
    return m_root + QStringLiteral("/MachineIdentifier");
}

bool LinuxPaths::prepared() const
{
    return FileIO::exists(disk()) && FileIO::exists(efiVariableStore()) &&
           FileIO::exists(machineIdentifier());
}

QCoro::Task<> LinuxPaths::initialize(qint64 diskGB, const VirtualMachineEngine &engine) const
{
    if (prepared()) {
        // Every later start: nothing to make, and no trip to a worker.
        co_return;
    }
    // Copies, taken before the first suspension: this object and the reference may be gone by then.
    const LinuxPaths paths = *this;
    const VirtualMachineEngine *machineEngine = &engine;
    QFuture<Background::Outcome<void>> preparing =
        Background::start([paths, diskGB, machineEngine] { paths.prepare(diskGB, *machineEngine); });
    Background::take(co_await preparing);
}

void LinuxPaths::prepare(qint64 diskGB, const VirtualMachineEngine &engine) const
{
    if (FileIO::exists(m_root)) {
        if (prepared()) {
            return;
        }
        throw VMFailure(
            QStringLiteral("Linux 设备目录不完整。为保护已有数据，不会覆盖；请在数据目录中检查。"));
    }
    const QString base = QFileInfo(m_root).absolutePath();
    const StagingFolder staging(base + QStringLiteral("/.linux-preparing-") +
                                QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    FileIO::createFolder(staging.path());
    const LinuxPaths staged(staging.path());
    createSparseDisk(staged.disk(), std::clamp<qint64>(diskGB, 16, 256) * GiB);
    engine.createEFIVariableStore(staged.efiVariableStore());
    FileIO::writeAtomically(staged.machineIdentifier(), engine.createMachineIdentifier());
    FileIO::rename(staging.path(), m_root);
}

MachineConfiguration LinuxPaths::makeVMConfiguration(const LinuxConfiguration &configuration,
                                                     const VirtualMachineEngine &engine) const
{
    const LinuxConfiguration settings = configuration.validated();
    MachineConfiguration machine;
    machine.cpuCount = int(settings.cores);
    machine.memoryBytes = settings.memoryGB * GiB;

    // An identifier is a few bytes; whatever cannot be read as one is as damaged as a wrong one.
    const std::optional<QByteArray> identifier = FileIO::readSmallFile(machineIdentifier(), qint64(64) * 1024);
    if (!identifier || !engine.isValidMachineIdentifier(*identifier)) {
        throw VMFailure(QStringLiteral("Linux 设备标识损坏。"));
    }
    machine.machineIdentifier = *identifier;

    machine.efiVariableStore = efiVariableStore();
    machine.disk = disk();
    if (settings.attachISO) {
        if (settings.isoPath.isEmpty()) {
            throw VMFailure(QStringLiteral("请先选择 ARM64 Linux ISO，或取消挂载安装镜像。"));
        }
        machine.installerImage = QFileInfo(settings.isoPath).absoluteFilePath();
    }
    machine.displayWidth = pixels(settings.resolutionWidth);
    machine.displayHeight = pixels(settings.resolutionHeight);
    if (!engine.isValidMACAddress(settings.macAddress)) {
        throw VMFailure(QStringLiteral("Linux 网卡地址无效。"));
    }
    machine.macAddress = settings.macAddress;
    return machine;
}

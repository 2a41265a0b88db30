#include "linux/engine/QemuEngine.h"

#include "linux/engine/QemuMachine.h"
#include "platform/Error.h"
#include "platform/FileCopy.h"
#include "services/Background.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringList>
#include <QUuid>

#include <array>
#include <cstring>
#include <mutex>
#include <optional>

namespace {

constexpr qint64 mebibyte = qint64(1024) * 1024;
constexpr qint64 smallestMemory = 128 * mebibyte;
// QEMU's virt machine with a version 3 interrupt controller takes at most this many processors.
constexpr int mostProcessors = 512;
constexpr int largestScanout = 16384;
constexpr qint64 sectorSize = 512;

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

void requireFile(const QString &path, const QString &missing)
{
    if (!QFileInfo(path).isFile()) {
        throw VMFailure(missing.arg(nativePath(path)));
    }
}

/** Where a firmware template holds anything but zeros, for the version of the file it was read at. */
struct TemplateLayout
{
    QByteArray version;
    qint64 size = 0;
    /** Offset and length of each run of blocks that are not all zeros. */
    QList<std::pair<qint64, qint64>> data;
};

// Debian's store template is 64 MiB of zeros, not sparse on disk: reading it is most of a first start's
// own work. It is read once per process, ahead of the start where the page lets it, and held here while
// it is read, so a start waits for a reading under way instead of doing it again.
std::mutex s_layoutGuard;
std::optional<TemplateLayout> s_layout;

/**
 * Reads `source` block by block, writing the blocks that are not zero to the same offsets of `target`
 * when there is one, and returns where they are.
 */
TemplateLayout readTemplate(QFile &source, QFile *target)
{
    constexpr qint64 blockSize = qint64(64) * 1024;
    QByteArray block(blockSize, Qt::Uninitialized);
    // Compared a block at a time: a byte-by-byte test spends tens of milliseconds on a 64 MiB store.
    static const QByteArray zeros(blockSize, '\0');
    TemplateLayout layout{FileCopy::version(source.handle()), 0, {}};
    if (!source.seek(0)) {
        throw SystemError(source.errorString());
    }
    while (true) {
        const qint64 count = source.read(block.data(), blockSize);
        if (count < 0) {
            throw SystemError(source.errorString());
        }
        if (count == 0) {
            break;
        }
        if (std::memcmp(block.constData(), zeros.constData(), size_t(count)) != 0) {
            if (target && (!target->seek(layout.size) || target->write(block.constData(), count) != count)) {
                throw SystemError(target->errorString());
            }
            if (!layout.data.isEmpty() &&
                layout.data.last().first + layout.data.last().second == layout.size) {
                layout.data.last().second += count;
            } else {
                layout.data.append({layout.size, count});
            }
        }
        layout.size += count;
    }
    return layout;
}

/** Writes the template's blocks that are not zero, as `layout` found them, to `target`. */
void copyData(QFile &source, QFile &target, const TemplateLayout &layout)
{
    QByteArray block;
    for (const auto &[offset, length] : layout.data) {
        block.resize(length);
        if (!source.seek(offset) || source.read(block.data(), length) != length) {
            throw SystemError(source.errorString());
        }
        if (!target.seek(offset) || target.write(block) != length) {
            throw SystemError(target.errorString());
        }
    }
}

/** A copy of the template at `source`, sparse where it is zero; the layout is learnt once. */
void copySparse(QFile &source, QFile &target)
{
    const std::lock_guard lock(s_layoutGuard);
    const QByteArray version = FileCopy::version(source.handle());
    if (s_layout && !version.isEmpty() && s_layout->version == version) {
        copyData(source, target, *s_layout);
    } else {
        s_layout = readTemplate(source, &target);
    }
    // Zero blocks were skipped, not written: the length alone makes them read back as zeros.
    if (!target.resize(s_layout->size) || !target.flush()) {
        throw SystemError(target.errorString());
    }
}

} // namespace

QemuEngine::QemuEngine()
    : QemuEngine(QemuInstallation::locate())
{}

QemuEngine::QemuEngine(QemuInstallation installation)
    : m_installation(std::move(installation))
{}

bool QemuEngine::isSupported() const
{
    return true;
}

void QemuEngine::requireInstallation() const
{
    m_installation.requireUsable();
}

std::unique_ptr<VirtualMachine> QemuEngine::createMachine(const MachineConfiguration &configuration)
{
    requireInstallation();
    validate(configuration);
    return std::make_unique<QemuMachine>(m_installation, configuration);
}

void QemuEngine::validate(const MachineConfiguration &configuration) const
{
    if (configuration.cpuCount < 1 || configuration.cpuCount > mostProcessors) {
        throw VMFailure(QStringLiteral("处理器数量无效：%1（可用 1–%2）。")
                            .arg(configuration.cpuCount)
                            .arg(mostProcessors));
    }
    if (configuration.memoryBytes < smallestMemory || configuration.memoryBytes % mebibyte != 0) {
        throw VMFailure(QStringLiteral("内存大小无效：%1 字节（至少 128 MiB，且按 MiB 计）。")
                            .arg(configuration.memoryBytes));
    }
    if (!isValidMachineIdentifier(configuration.machineIdentifier)) {
        throw VMFailure(QStringLiteral("Linux 设备标识损坏。"));
    }
    if (!isValidMACAddress(configuration.macAddress)) {
        throw VMFailure(QStringLiteral("网卡地址无效：%1").arg(configuration.macAddress));
    }
    if (configuration.displayWidth < 1 || configuration.displayWidth > largestScanout ||
        configuration.displayHeight < 1 || configuration.displayHeight > largestScanout) {
        throw VMFailure(QStringLiteral("显示分辨率无效：%1 × %2。")
                            .arg(configuration.displayWidth)
                            .arg(configuration.displayHeight));
    }

    requireFile(configuration.efiVariableStore, QStringLiteral("找不到 EFI 变量存储：%1"));
    const QFileInfo store(configuration.efiVariableStore);
    if (store.size() != QemuInstallation::flashSize) {
        throw VMFailure(QStringLiteral("EFI 变量存储大小不对（应为 64 MiB），可能已损坏：%1")
                            .arg(nativePath(store.filePath())));
    }
    if (!store.isWritable()) {
        throw VMFailure(QStringLiteral("EFI 变量存储不可写：%1").arg(nativePath(store.filePath())));
    }

    requireFile(configuration.disk, QStringLiteral("找不到虚拟磁盘：%1"));
    const QFileInfo diskFile(configuration.disk);
    if (diskFile.size() == 0 || diskFile.size() % sectorSize != 0) {
        throw VMFailure(QStringLiteral("虚拟磁盘大小无效（%1 字节）：%2")
                            .arg(diskFile.size())
                            .arg(nativePath(diskFile.filePath())));
    }
    if (!diskFile.isWritable()) {
        throw VMFailure(QStringLiteral("虚拟磁盘不可写：%1").arg(nativePath(diskFile.filePath())));
    }

    if (configuration.installerImage) {
        requireFile(*configuration.installerImage, QStringLiteral("找不到安装镜像：%1"));
        const QFileInfo installer(*configuration.installerImage);
        if (installer.size() == 0) {
            throw VMFailure(QStringLiteral("安装镜像是空文件：%1").arg(nativePath(installer.filePath())));
        }
        if (!installer.isReadable()) {
            throw VMFailure(QStringLiteral("无法读取安装镜像：%1").arg(nativePath(installer.filePath())));
        }
    }
}

QString QemuEngine::randomLocallyAdministeredMACAddress() const
{
    std::array<quint8, 6> octets{};
    for (quint8 &octet : octets) {
        octet = quint8(QRandomGenerator::system()->bounded(256));
    }
    // Locally administered (bit 1 set), unicast (bit 0 clear).
    octets[0] = quint8((octets[0] | 0x02) & ~0x01);
    QStringList parts;
    for (const quint8 octet : octets) {
        parts << QStringLiteral("%1").arg(octet, 2, 16, QLatin1Char('0'));
    }
    return parts.join(QLatin1Char(':'));
}

bool QemuEngine::isValidMACAddress(const QString &text) const
{
    static const QRegularExpression form(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9A-Fa-f]{2}(:[0-9A-Fa-f]{2}){5}")));
    if (!form.match(text).hasMatch()) {
        return false;
    }
    // A group address, or no address at all, cannot name one network card.
    const bool multicast = (text.left(2).toUInt(nullptr, 16) & 0x01) != 0;
    return !multicast && text != QStringLiteral("00:00:00:00:00:00");
}

QByteArray QemuEngine::createMachineIdentifier() const
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1();
}

bool QemuEngine::isValidMachineIdentifier(const QByteArray &data) const
{
    const QUuid uuid = QUuid::fromString(QLatin1StringView(data));
    return !uuid.isNull() && uuid.toString(QUuid::WithoutBraces).toLatin1() == data.toLower();
}

void QemuEngine::prepareFirstStart() const
{
    const QString path = m_installation.firmwareVariables;
    // Fire and forget: a start finds the layout, or waits for this reading to finish.
    Background::start([path] {
        QFile source(path);
        if (!source.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            return; // the start reports what is missing
        }
        const std::lock_guard lock(s_layoutGuard);
        if (!s_layout || s_layout->version != FileCopy::version(source.handle())) {
            s_layout = readTemplate(source, nullptr);
        }
    });
}

void QemuEngine::createEFIVariableStore(const QString &path) const
{
    if (!QFileInfo(m_installation.firmwareVariables).isFile()) {
        throw VMFailure(QStringLiteral("找不到 UEFI 固件的变量存储模板。"));
    }
    QFile source(m_installation.firmwareVariables);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        throw SystemError(source.errorString());
    }
    if (QFileInfo::exists(path)) {
        throw VMFailure(QStringLiteral("EFI 变量存储已存在，不会覆盖：%1").arg(nativePath(path)));
    }
    QFile target(path);
    if (!target.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        throw SystemError(target.errorString());
    }
    try {
        copySparse(source, target);
        target.close();
        if (target.error() != QFileDevice::NoError) {
            throw SystemError(target.errorString());
        }
    } catch (...) {
        target.close();
        target.remove();
        throw;
    }
}

#include "linux/engine/detail/QemuCommandLine.h"

#include "linux/engine/QemuInstallation.h"
#include "linux/engine/VirtualMachineEngine.h"

namespace detail {
namespace {

constexpr qint64 mebibyte = qint64(1024) * 1024;

// QEMU splits option values at commas; a comma that belongs to a value is written twice.
QString escaped(QString value)
{
    return value.replace(QLatin1Char(','), QStringLiteral(",,"));
}

enum class Access { ReadOnly, ReadWrite };

QString rawImage(const QString &node, const QString &path, Access access)
{
    QString image = QStringLiteral("node-name=") + node + QStringLiteral(",driver=raw,read-only=")
        + (access == Access::ReadOnly ? QStringLiteral("on") : QStringLiteral("off"))
        + QStringLiteral(",file.driver=file,file.filename=") + escaped(path);
    if (access == Access::ReadWrite) {
        // Blocks the guest trims become holes again, so the disk keeps taking only what it holds.
        image += QStringLiteral(",discard=unmap");
    }
    return image;
}

} // namespace

QStringList qemuArguments(const QemuInstallation &installation, const MachineConfiguration &configuration,
                          const QemuSockets &sockets)
{
    const bool emulated = installation.accelerator == QStringLiteral("tcg");
    QStringList arguments{
        QStringLiteral("-name"), QStringLiteral("Linux"),
        QStringLiteral("-nodefaults"), QStringLiteral("-no-user-config"),
        QStringLiteral("-machine"), QStringLiteral("virt,gic-version=max,pflash0=firmware,pflash1=variables"),
        QStringLiteral("-accel"), installation.accelerator,
        // Pointer authentication with QEMU's own cheap algorithm: the architected one costs a
        // guest kernel much of its speed under emulation.
        QStringLiteral("-cpu"), emulated ? QStringLiteral("max,pauth-impdef=on") : QStringLiteral("host"),
        QStringLiteral("-smp"), QString::number(configuration.cpuCount),
        QStringLiteral("-m"), QString::number(configuration.memoryBytes / mebibyte) + QLatin1Char('M'),
        QStringLiteral("-uuid"), QString::fromLatin1(configuration.machineIdentifier),
        QStringLiteral("-blockdev"), rawImage(QStringLiteral("firmware"), installation.firmwareCode, Access::ReadOnly),
        QStringLiteral("-blockdev"), rawImage(QStringLiteral("variables"), configuration.efiVariableStore, Access::ReadWrite),
        QStringLiteral("-blockdev"), rawImage(QStringLiteral("disk"), configuration.disk, Access::ReadWrite),
        // Boot indexes keep the firmware to the disk and then the installer: without them it also
        // tries network boots, minutes of timeouts before it gives up on a machine with no system.
        QStringLiteral("-device"), QStringLiteral("virtio-blk-pci,id=disk0,drive=disk,bootindex=0"),
        QStringLiteral("-device"), QStringLiteral("qemu-xhci,id=usb"),
    };
    if (configuration.installerImage) {
        arguments << QStringLiteral("-blockdev")
                  << rawImage(QStringLiteral("installer"), *configuration.installerImage, Access::ReadOnly)
                  << QStringLiteral("-device")
                  << QStringLiteral("usb-storage,id=installer0,bus=usb.0,drive=installer,removable=on,bootindex=1");
    }
    arguments << QStringLiteral("-device") << QStringLiteral("usb-kbd,id=keyboard,bus=usb.0")
              << QStringLiteral("-device") << QStringLiteral("usb-tablet,id=tablet,bus=usb.0")
              << QStringLiteral("-device")
              << QStringLiteral("virtio-gpu-pci,id=gpu,max_outputs=1,xres=%1,yres=%2")
                     .arg(configuration.displayWidth)
                     .arg(configuration.displayHeight)
              << QStringLiteral("-netdev") << QStringLiteral("user,id=net")
              // The firmware drives the card itself; an option ROM would only add network boot.
              << QStringLiteral("-device")
              << QStringLiteral("virtio-net-pci,id=nic,netdev=net,mac=%1,romfile=").arg(configuration.macAddress)
              << QStringLiteral("-device") << QStringLiteral("virtio-rng-pci,id=rng")
              << QStringLiteral("-device") << QStringLiteral("virtio-balloon-pci,id=balloon")
              << QStringLiteral("-display") << QStringLiteral("none")
              << QStringLiteral("-vnc") << QStringLiteral("unix:") + escaped(sockets.display)
              << QStringLiteral("-chardev") << QStringLiteral("socket,id=monitor,path=") + escaped(sockets.monitor)
              << QStringLiteral("-mon") << QStringLiteral("chardev=monitor,mode=control")
              << QStringLiteral("-S");
    return arguments;
}

} // namespace detail

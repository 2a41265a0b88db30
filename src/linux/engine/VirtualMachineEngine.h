#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

/** The hardware of one machine, as the Linux model asks for it. Every path is absolute. */
struct MachineConfiguration
{
    int cpuCount = 1;
    qint64 memoryBytes = 0;
    /** The generic machine identifier's data representation (read from "MachineIdentifier"). */
    QByteArray machineIdentifier;
    /** UEFI boot with the variable store at this path ("EFIStore"). */
    QString efiVariableStore;
    /** The system disk: a raw image on a virtio block device, read-write. */
    QString disk;
    /** The installer: a raw image on a USB mass-storage device, read-only; none when not attached. */
    std::optional<QString> installerImage;
    /** One virtio graphics scanout of this size. */
    int displayWidth = 1280;
    int displayHeight = 800;
    /** A virtio network card with this address on NAT. */
    QString macAddress;
};

/**
 * One virtual machine of an engine. Signals arrive on the GUI thread.
 *
 * Besides the devices above, every machine has a USB keyboard, a USB tablet (absolute pointer), a
 * virtio entropy device and a virtio memory balloon.
 */
class VirtualMachine : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    /** Completes once the machine runs; throws Error when it cannot start. */
    virtual QCoro::Task<> start() = 0;
    virtual bool canRequestStop() const = 0;
    /**
     * Asks the guest to shut down (the ACPI power button). Completes once the machine has taken the
     * request; throws Error when it refuses it or cannot be asked.
     */
    virtual QCoro::Task<> requestStop() = 0;
    virtual bool canStop() const = 0;
    /** Stops the machine at once; completes when it has stopped; throws Error when it cannot. */
    virtual QCoro::Task<> stop() = 0;
    /** Where the machine's screen can be read (a VNC unix socket for QEMU); empty when not running. */
    virtual QString displayEndpoint() const = 0;

Q_SIGNALS:
    /** The guest powered the machine off. */
    void guestDidStop();
    /** The machine stopped for another reason than a guest power-off or a stop() asked here. */
    void didStopWithError(const QString &description);
};

/** A virtual-machine monitor: what the Linux model needs of one, and nothing more. */
class VirtualMachineEngine
{
public:
    virtual ~VirtualMachineEngine() = default;

    /** Whether this host can run virtual machines at all. */
    virtual bool isSupported() const = 0;
    /** Throws VMFailure naming what this engine needs from the host and does not find, and how to get it. */
    virtual void requireInstallation() const = 0;
    /** Builds a machine from a configuration the engine has validated; throws Error when it rejects it. */
    virtual std::unique_ptr<VirtualMachine> createMachine(const MachineConfiguration &configuration) = 0;

    /** A new random, locally administered, unicast MAC address in the form "a2:4f:01:9c:de:03". */
    virtual QString randomLocallyAdministeredMACAddress() const = 0;
    virtual bool isValidMACAddress(const QString &text) const = 0;
    /** A new generic machine identifier's data representation. */
    virtual QByteArray createMachineIdentifier() const = 0;
    virtual bool isValidMachineIdentifier(const QByteArray &data) const = 0;
    /** Creates a new, empty EFI variable store at `path`; throws Error. */
    virtual void createEFIVariableStore(const QString &path) const = 0;
    /** Reads ahead, on a worker, what the first createEFIVariableStore will need; a hint, no more. */
    virtual void prepareFirstStart() const {}
};

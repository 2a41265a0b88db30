#pragma once

#include "linux/engine/QemuInstallation.h"
#include "linux/engine/VirtualMachineEngine.h"

/**
 * The QEMU engine: each machine is a `qemu-system-aarch64 -machine virt` process booting UEFI,
 * supervised over its monitor protocol, its screen served by VNC on a private socket.
 *
 * Machine identifiers are textual UUIDs ("1b4e28ba-2fa1-11d2-883f-0016d3cca427"), given to the
 * guest as its SMBIOS system UUID.
 */
class QemuEngine : public VirtualMachineEngine
{
public:
    /** The installation this system offers. */
    QemuEngine();
    explicit QemuEngine(QemuInstallation installation);

    const QemuInstallation &installation() const { return m_installation; }

    /** Always: where no accelerator is available QEMU emulates the guest's processor. */
    bool isSupported() const override;
    /** Throws VMFailure naming a missing or unfit QEMU program or firmware image. */
    void requireInstallation() const override;
    std::unique_ptr<VirtualMachine> createMachine(const MachineConfiguration &configuration) override;

    QString randomLocallyAdministeredMACAddress() const override;
    /** Six colon-separated hexadecimal octets of a unicast address other than all zeros. */
    bool isValidMACAddress(const QString &text) const override;
    QByteArray createMachineIdentifier() const override;
    bool isValidMachineIdentifier(const QByteArray &data) const override;
    /** A copy of the firmware's empty store, sparse where the template is zero; never replaces a file. */
    void createEFIVariableStore(const QString &path) const override;
    /** Learns where the store template is not zero, so the first store is written without reading it. */
    void prepareFirstStart() const override;

    /** Throws VMFailure naming the first part of `configuration` that QEMU could not run as asked. */
    void validate(const MachineConfiguration &configuration) const;

private:
    QemuInstallation m_installation;
};

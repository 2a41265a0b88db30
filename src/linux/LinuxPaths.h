#pragma once

#include <QCoroTask>
#include <QString>

struct LinuxConfiguration;
struct MachineConfiguration;
class VirtualMachineEngine;

/**
 * The Linux machine's folder and its three files: the sparse system disk, the EFI variable store and
 * the machine identifier. The folder is created once, complete, and never repaired or overwritten.
 */
class LinuxPaths
{
public:
    explicit LinuxPaths(QString root);

    /** The machine folder ("Linux" in the data root). */
    const QString &root() const { return m_root; }
    QString disk() const;
    QString efiVariableStore() const;
    QString machineIdentifier() const;
    /** True when all three files exist. */
    bool prepared() const;

    /**
     * Creates the machine folder with a sparse disk of `diskGB` GiB (clamped to 16…256), a new EFI
     * variable store and a new machine identifier. The files are made in a hidden sibling folder
     * that is renamed into place only once all three exist. An existing complete folder is kept as it
     * is; an incomplete one is refused. Throws Error. The copying and syncing happen on a worker
     * thread; `engine` must outlive the task.
     */
    QCoro::Task<> initialize(qint64 diskGB, const VirtualMachineEngine &engine) const;

    /** The hardware of a start with `configuration` (validated first); throws VMFailure or SystemError. */
    MachineConfiguration makeVMConfiguration(const LinuxConfiguration &configuration,
                                             const VirtualMachineEngine &engine) const;

private:
    void prepare(qint64 diskGB, const VirtualMachineEngine &engine) const;
    QString m_root;
};

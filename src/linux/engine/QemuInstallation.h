#pragma once

#include <QString>

/** Where this host keeps QEMU and its UEFI firmware, and how QEMU accelerates a guest here. */
struct QemuInstallation
{
    /** What QEMU's virt machine maps per flash device; both firmware images must be exactly this size. */
    static constexpr qint64 flashSize = qint64(64) * 1024 * 1024;

    /** qemu-system-aarch64. */
    QString program;
    /** The firmware's code, mapped read-only into the first flash device. */
    QString firmwareCode;
    /** The firmware's empty variable store: the template of every new machine's store. */
    QString firmwareVariables;
    /** "kvm", "hvf" or "tcg". */
    QString accelerator;

    /** The program can be run and both firmware images fit the flash devices. */
    bool isUsable() const;
    /** Throws VMFailure naming the first of them that is missing or unfit, and what to install for it. */
    void requireUsable() const;

    /** What the usual places of this system hold; paths are empty where nothing usable was found. */
    static QemuInstallation locate();
};

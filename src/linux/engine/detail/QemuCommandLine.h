#pragma once

#include <QString>
#include <QStringList>

struct MachineConfiguration;
struct QemuInstallation;

namespace detail {

/** The private sockets of one running machine. */
struct QemuSockets
{
    /** QEMU connects here to offer its monitor protocol; this application listens. */
    QString monitor;
    /** QEMU's VNC server listens here. */
    QString display;
};

/** The arguments that make QEMU build exactly the machine `configuration` describes, paused before its first instruction. */
QStringList qemuArguments(const QemuInstallation &installation, const MachineConfiguration &configuration,
                          const QemuSockets &sockets);

} // namespace detail

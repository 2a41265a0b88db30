#pragma once

#include "TestFiles.h"
#include "linux/engine/QemuInstallation.h"
#include "linux/engine/VirtualMachineEngine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QStringList>
#include <QTimer>

#include <csignal>

/**
 * QEMU's side of the machine's monitor connection, for a shell script standing in for QEMU: it greets,
 * answers each command as QEMU does, refuses the one command it is told to, and closes the connection
 * once the process it speaks for has gone, as QEMU's own end would close.
 */
class QmpPeer : public QObject
{
public:
    /** Connects to the monitor of QEMU's "-chardev socket,id=monitor,path=…" (",," is a comma). */
    explicit QmpPeer(const QStringList &qemuArguments)
    {
        connect(&m_socket, &QLocalSocket::readyRead, this, &QmpPeer::answer);
        const QString prefix = QStringLiteral("socket,id=monitor,path=");
        const QString chardev = qemuArguments.filter(prefix).value(0);
        m_socket.connectToServer(
            chardev.mid(prefix.size()).replace(QStringLiteral(",,"), QStringLiteral(",")));
        if (m_socket.waitForConnected(5000)) {
            send({{"QMP", QJsonObject{{"version", QJsonObject{}}, {"capabilities", QJsonArray()}}}});
        }
    }

    /** The command answered with QEMU's error object, and its description. */
    QString refused;
    QString refusal = QStringLiteral("this machine cannot be powered down now");
    /** Every command received, in order. */
    QStringList received;

    bool connected() const { return m_socket.state() == QLocalSocket::ConnectedState; }

    /** Closes the connection as soon as `pid` has ended. */
    void closeWhenGone(qint64 pid)
    {
        auto *watch = new QTimer(this);
        connect(watch, &QTimer::timeout, this, [this, watch, pid] {
            if (::kill(pid_t(pid), 0) != 0) {
                watch->stop();
                m_socket.abort();
            }
        });
        watch->start(20);
    }

private:
    void send(const QJsonObject &message)
    {
        m_socket.write(QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n');
        m_socket.flush();
    }

    void answer()
    {
        while (m_socket.canReadLine()) {
            const QJsonObject command = QJsonDocument::fromJson(m_socket.readLine()).object();
            const QString name = command.value("execute").toString();
            received << name;
            QJsonObject reply{{"id", command.value("id")}};
            if (name == refused) {
                reply.insert("error", QJsonObject{{"class", "GenericError"}, {"desc", refusal}});
            } else {
                const bool status = name == "query-status";
                reply.insert("return",
                             status ? QJsonObject{{"status", "running"}, {"running", true}} : QJsonObject());
            }
            send(reply);
        }
    }

    QLocalSocket m_socket;
};

/** QEMU as a shell script in `folder`, beside firmware files of the size QEMU's flash takes. */
inline QemuInstallation scriptedQemu(const QString &folder, const QByteArray &script)
{
    const QemuInstallation installation{
        folder + QStringLiteral("/qemu-system-aarch64"),
        makeSparseFile(folder + QStringLiteral("/CODE.fd"), QemuInstallation::flashSize),
        makeSparseFile(folder + QStringLiteral("/VARS.fd"), QemuInstallation::flashSize),
        QStringLiteral("tcg")};
    writeExecutable(installation.program, script);
    return installation;
}

/** A valid machine whose files live in `folder`. */
inline MachineConfiguration describedMachine(const QString &folder)
{
    MachineConfiguration configuration;
    configuration.cpuCount = 3;
    configuration.memoryBytes = qint64(3) << 30;
    configuration.machineIdentifier = QByteArrayLiteral("1b4e28ba-2fa1-11d2-883f-0016d3cca427");
    configuration.efiVariableStore = folder + QStringLiteral("/EFIStore");
    configuration.disk = folder + QStringLiteral("/Disk.img");
    configuration.displayWidth = 1440;
    configuration.displayHeight = 900;
    configuration.macAddress = QStringLiteral("a2:4f:01:9c:de:03");
    return configuration;
}

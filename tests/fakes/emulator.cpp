// Stands in for the Android Emulator. It finds and locks the AVD like the real one, binds the console port
// and the ADB port above it, reports a completed boot after a delay and answers the stand-in adb. No guest,
// no window.
//
// Usage: emulator -accel-check | -version
//        emulator -avd NAME [-port P] [-cores N] [-memory MB] [-gpu MODE] [-no-snapshot] [-no-boot-anim]
//                 [-no-metrics]
//
// Console port P (telnet-like, as the real console): "kill".
// ADB port P+1 (spoken by the stand-in adb), one request line, one reply line "OKAY text" or "FAIL text":
//   "shell COMMAND…"                          only "getprop NAME" is known to this guest
//   "install REFUSAL NAME"                    REFUSAL is "-" or the failure the package manager must report
//
// Knobs: FAKE_EMULATOR_ACCEL_FAIL, FAKE_EMULATOR_BOOT_DELAY_MS (300), FAKE_EMULATOR_NEVER_BOOT,
// FAKE_EMULATOR_IGNORE_SIGTERM, FAKE_EMULATOR_IGNORE_KILL, FAKE_EMULATOR_EXIT_AFTER_MS with
// FAKE_EMULATOR_EXIT_STATUS (1), FAKE_ANDROID_RECORD (one line per call, shared with adb; see stand_in.h).
#include "stand_in.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <csignal>
#include <sys/file.h>
#include <tuple>

using StandIn::fail;
using StandIn::say;

namespace {

const QStringList flags{"-no-snapshot", "-no-boot-anim", "-no-metrics"};
const QStringList gpuModes{"auto",           "host",  "software", "swiftshader_indirect",
                           "angle_indirect", "guest", "off"};

// Lowest and highest value of each numeric option.
const QHash<QString, std::pair<int, int>> numbers{
    {"-port", {1024, 65534}}, {"-cores", {1, 64}}, {"-memory", {128, 131072}}};

void info(const QString &text)
{
    say(stdout, "INFO    | " + text);
}

// Every value is checked, so a caller that swaps or drops an argument is told at once. Flags are accepted
// without effect: this stand-in keeps no snapshots, shows nothing and reports nothing anyway.
QString parse(const QStringList &arguments, QHash<QString, QString> &options)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &name = arguments[i];
        if (flags.contains(name)) {
            continue;
        }
        if (name != "-avd" && name != "-gpu" && !numbers.contains(name)) {
            return "ERROR   | unknown option: " + name;
        }
        if (++i == arguments.size()) {
            return QStringLiteral("ERROR   | option %1 needs a value").arg(name);
        }
        const QString &value = options[name] = arguments[i];
        bool ok = false;
        const int number = value.toInt(&ok);
        const auto [low, high] = numbers.value(name, {0, 0});
        if (numbers.contains(name) && (!ok || number < low || number > high)) {
            return QStringLiteral("ERROR   | option %1 expects an integer from %2 to %3")
                .arg(name)
                .arg(low)
                .arg(high);
        }
        if (name == "-port" && number % 2 != 0) {
            return "ERROR   | option -port must be followed by an even integer, not " + value;
        }
        if (name == "-gpu" && !gpuModes.contains(value)) {
            return QStringLiteral("ERROR   | unknown -gpu mode '%1'; use one of %2")
                .arg(value, gpuModes.join(", "));
        }
    }
    return options.value("-avd").isEmpty()
               ? "ERROR   | No AVD given. Use '-avd foo' to launch a virtual device named 'foo'"
               : QString();
}

// The launcher names the AVD folder itself; the real emulator's fall-backs to the user's own folders
// would hide a launcher that forgot to.
QString avdHome()
{
    return qEnvironmentVariable("ANDROID_AVD_HOME");
}

QHash<QString, QString> readIni(const QString &path)
{
    QHash<QString, QString> values;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (const qsizetype equals = line.indexOf('='); equals > 0) {
                values.insert(QString::fromUtf8(line.left(equals).trimmed()),
                              QString::fromUtf8(line.mid(equals + 1).trimmed()));
            }
        }
    }
    return values;
}

// The AVD's content folder when NAME.ini points at one holding a config.ini, else empty.
QString contentFolder(const QString &avd)
{
    const QString path = readIni(avdHome() + u'/' + avd + ".ini").value("path");
    return !path.isEmpty() && QFileInfo(path + "/config.ini").isFile() ? path : QString();
}

class Emulator
{
public:
    explicit Emulator(const QHash<QString, QString> &options)
        : avd(options.value("-avd"))
        , port(options.value("-port", "5554").toInt())
    {
        uptime.start();
    }

    int start()
    {
        folder = contentFolder(avd);
        if (folder.isEmpty()) {
            return fail(QStringLiteral("PANIC: Unknown AVD name [%1].\n"
                                       "HINT: there is no %1.ini naming a folder with config.ini in %2")
                            .arg(avd, avdHome()));
        }
        lockFd = ::open(QFile::encodeName(lockPath()).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (lockFd < 0 || ::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
            return fail("ERROR   | Running multiple emulators with the same AVD is an experimental feature.\n"
                        "Please use -read-only flag to enable this feature.");
        }
        for (const auto &[server, name, number] :
             {std::tuple(&console, "console", port), std::tuple(&adb, "ADB", port + 1)}) {
            if (!server->listen(QHostAddress::LocalHost, static_cast<quint16>(number))) {
                return fail(QStringLiteral("ERROR   | %1 port %2 is unavailable: %3")
                                .arg(QLatin1String(name), QString::number(number), server->errorString()));
            }
        }
        QObject::connect(&console, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = console.nextPendingConnection()) {
                serveConsole(socket);
            }
        });
        QObject::connect(&adb, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = adb.nextPendingConnection()) {
                serveAdb(socket);
            }
        });
        info(QStringLiteral("Serial number of this emulator (for ADB): emulator-%1").arg(port));

        if (!StandIn::flag("FAKE_EMULATOR_NEVER_BOOT")) {
            QTimer::singleShot(StandIn::knob("FAKE_EMULATOR_BOOT_DELAY_MS", 300), [this] { booted = true; });
        }
        if (const int after = StandIn::knob("FAKE_EMULATOR_EXIT_AFTER_MS", -1); after >= 0) {
            QTimer::singleShot(after, [this] { crash(StandIn::knob("FAKE_EMULATOR_EXIT_STATUS", 1)); });
        }
        return 0;
    }

private:
    QString lockPath() const { return folder + "/multiinstance.lock"; }

    void serveConsole(QTcpSocket *socket)
    {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->write("Android Console: type 'help' for a list of commands\r\nOK\r\n");
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            while (socket->canReadLine()) {
                const QByteArray command = socket->readLine().simplified();
                if (command == "kill") {
                    socket->write("OK: killing emulator, bye bye\r\n");
                    socket->flush();
                    kill();
                } else if (!command.isEmpty()) {
                    socket->write("KO: unknown command, try 'help'\r\n");
                }
            }
        });
    }

    void serveAdb(QTcpSocket *socket)
    {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            while (socket->canReadLine()) {
                const QStringList words = QString::fromUtf8(socket->readLine()).trimmed().split(u' ');
                if (words.size() >= 3 && words[0] == "install") {
                    socket->write(install(words[1] == "-" ? QString() : words[1]).toUtf8() + '\n');
                } else if (words.size() >= 2 && words[0] == "shell") {
                    socket->write(shell(words.mid(1)).toUtf8() + '\n');
                } else {
                    socket->write("FAIL unknown request\n");
                }
            }
        });
    }

    // Unknown properties read as empty, as on a real device.
    QString shell(const QStringList &command) const
    {
        if (command[0] != "getprop") {
            return "FAIL /system/bin/sh: " + command[0] + ": inaccessible or not found";
        }
        if (command.size() != 2) {
            return "FAIL usage: getprop NAME";
        }
        return command[1] == "sys.boot_completed" && booted ? "OKAY 1" : "OKAY ";
    }

    // Before boot the package manager is not up, exactly when the real guest cannot install either.
    QString install(const QString &refusal) const
    {
        if (!booted) {
            return "FAIL cmd: Can't find service: package";
        }
        return refusal.isEmpty() ? QStringLiteral("OKAY Success") : QString("FAIL Failure [" + refusal + "]");
    }

    void kill()
    {
        if (StandIn::flag("FAKE_EMULATOR_IGNORE_KILL") || finishing) {
            return;
        }
        say(stdout,
            QStringLiteral("emulator: Saving state on exit with session uptime %1 ms").arg(uptime.elapsed()));
        // Late enough for the console reply to reach the caller.
        QTimer::singleShot(100, [this] { finish(0); });
    }

    void crash(int status)
    {
        if (status == 0) {
            info(QStringLiteral("Guest powered off; session uptime %1 ms").arg(uptime.elapsed()));
        } else {
            say(stderr, QStringLiteral("FATAL   | emulator: guest kernel panic; QEMU exited with status %1")
                            .arg(status));
        }
        finish(status);
    }

    // A crash leaves the lock file behind as the real one does; the lock itself goes with the process.
    void finish(int status)
    {
        if (finishing) {
            return;
        }
        finishing = true;
        console.close();
        adb.close();
        if (status == 0) {
            QFile::remove(lockPath());
        }
        QCoreApplication::exit(status);
    }

    const QString avd;
    const int port;
    QString folder;
    QElapsedTimer uptime;
    QTcpServer console;
    QTcpServer adb;
    int lockFd = -1;
    bool booted = false;
    bool finishing = false;
};

} // namespace

int main(int argc, char *argv[])
{
    const QStringList arguments = StandIn::arguments(argc, argv);
    StandIn::record("FAKE_ANDROID_RECORD", arguments);
    if (arguments == QStringList{"-accel-check"}) {
        if (StandIn::flag("FAKE_EMULATOR_ACCEL_FAIL")) {
            say(stdout, "accel:\n8\n/dev/kvm is not found: VT disabled in BIOS or KVM kernel module not "
                        "loaded\naccel");
            return 1;
        }
        say(stdout, "accel:\n0\nKVM (version 12) is installed and usable.\naccel");
        return 0;
    }
    if (arguments == QStringList{"-version"}) {
        say(stdout, "Android emulator version 35.1.4.0 (build_id 11996232) (CL:N/A)\n"
                    "Copyright (C) 2006-2024 The Android Open Source Project and many others.");
        return 0;
    }
    QHash<QString, QString> options;
    if (const QString error = parse(arguments, options); !error.isEmpty()) {
        return fail(error);
    }
    // A caller whose log reader went away must not kill the emulator by SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    if (StandIn::flag("FAKE_EMULATOR_IGNORE_SIGTERM")) {
        std::signal(SIGTERM, SIG_IGN);
    }
    QCoreApplication app(argc, argv);
    Emulator emulator(options);
    if (const int status = emulator.start(); status != 0) {
        return status;
    }
    return QCoreApplication::exec();
}

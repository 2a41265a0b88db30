// Stands in for adb. Instead of a server it talks straight to the stand-in emulator named by "-s emulator-P":
// "emu" commands go to the console port P, "shell" and "install" to the ADB port P+1.
//
// Usage: adb version
//        adb -P PORT start-server
//        adb -P PORT -s emulator-P shell getprop NAME
//        adb -P PORT -s emulator-P emu COMMAND…
//        adb -P PORT -s emulator-P install -r FILE.apk
//
// Knobs: FAKE_ADB_DELAY_MS (every call), FAKE_ADB_INSTALL_REFUSE, FAKE_ANDROID_RECORD (as the emulator).
#include "stand_in.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>

#include <memory>

using StandIn::fail;
using StandIn::say;

namespace {

// The emulator named by an "emulator-P" serial: its console is port P, its guest's adb daemon P+1.
class Device
{
public:
    explicit Device(const QString &serial)
        : serial(serial)
    {
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^emulator-(\\d{1,5})$")).match(serial);
        port = match.hasMatch() ? match.captured(1).toInt() : 0;
    }

    int notFound() const { return fail(QStringLiteral("adb: device '%1' not found").arg(serial)); }

    // The socket to the console (offset 0) or to the guest's adb daemon (offset 1); null when unreachable.
    std::unique_ptr<QTcpSocket> open(int offset) const
    {
        if (port == 0 || port + offset > 65535) {
            return nullptr;
        }
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port + offset));
        return socket->waitForConnected(3000) ? std::move(socket) : nullptr;
    }

    // One line without its line end; nullopt when the device goes away first.
    static std::optional<QString> readLine(QTcpSocket &socket, int timeoutMs)
    {
        while (!socket.canReadLine()) {
            if (!socket.waitForReadyRead(timeoutMs)) {
                return std::nullopt;
            }
        }
        return QString::fromUtf8(socket.readLine()).remove(u'\r').remove(u'\n');
    }

    QString serial;
    int port = 0;
};

int shell(const Device &device, const QStringList &command)
{
    const std::unique_ptr<QTcpSocket> socket = device.open(1);
    if (!socket) {
        return device.notFound();
    }
    socket->write("shell " + command.join(u' ').toUtf8() + '\n');
    const std::optional<QString> reply = Device::readLine(*socket, 10000);
    if (!reply) {
        return fail(QStringLiteral("adb: error: closed"));
    }
    const bool okay = reply->startsWith(QLatin1String("OKAY"));
    say(okay ? stdout : stderr, reply->section(u' ', 1));
    return okay ? 0 : 1;
}

// The console greets with lines ending in "OK"; each command's answer ends with a line starting "OK" or "KO".
int emu(const Device &device, const QStringList &command)
{
    const std::unique_ptr<QTcpSocket> socket = device.open(0);
    if (!socket) {
        return device.notFound();
    }
    for (std::optional<QString> line; (line = Device::readLine(*socket, 3000)) != QStringLiteral("OK");) {
        if (!line) {
            return fail(QStringLiteral("adb: error: the console of %1 did not answer").arg(device.serial));
        }
    }
    socket->write(command.join(u' ').toUtf8() + "\r\n");
    for (;;) {
        const std::optional<QString> line = Device::readLine(*socket, 10000);
        if (!line) {
            return fail(QStringLiteral("adb: error: the console of %1 closed").arg(device.serial));
        }
        say(stdout, *line);
        if (line->startsWith(QLatin1String("OK")) || line->startsWith(QLatin1String("KO"))) {
            return line->startsWith(QLatin1String("OK")) ? 0 : 1;
        }
    }
}

int install(const Device &device, QStringList arguments)
{
    arguments.removeAll(QStringLiteral("-r")); // replacing is the only mode this stand-in knows
    if (arguments.size() != 1 || arguments[0].startsWith(u'-')) {
        return fail(QStringLiteral("adb: usage: install [-r] PACKAGE"));
    }
    const QString path = arguments[0];
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        return fail(QStringLiteral("adb: failed to stat %1: No such file or directory").arg(path));
    }
    if (!path.endsWith(QLatin1String(".apk"), Qt::CaseInsensitive)) {
        return fail(
            QStringLiteral("adb: failed to install %1: Failure [INSTALL_FAILED_INVALID_APK: not an APK "
                           "file]")
                .arg(path));
    }
    const std::unique_ptr<QTcpSocket> socket = device.open(1);
    if (!socket) {
        return device.notFound();
    }
    say(stdout, QStringLiteral("Performing Streamed Install"));
    const QByteArray refusal =
        StandIn::flag("FAKE_ADB_INSTALL_REFUSE") ? "INSTALL_FAILED_VERSION_DOWNGRADE" : "-";
    socket->write("install " + refusal + ' ' + QFileInfo(path).fileName().toUtf8() + '\n');
    const std::optional<QString> reply = Device::readLine(*socket, 60000);
    if (!reply) {
        return fail(QStringLiteral("adb: failed to install %1: device closed the connection").arg(path));
    }
    const QString text = reply->section(u' ', 1);
    if (reply->startsWith(QLatin1String("OKAY"))) {
        say(stdout, text);
        return 0;
    }
    // Like older adb: a package manager refusal still ends with status 0, only "Success" tells.
    say(stdout, QStringLiteral("adb: failed to install %1: %2").arg(path, text));
    return text.startsWith(QLatin1String("Failure [")) ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = StandIn::arguments(argc, argv);
    StandIn::record("FAKE_ANDROID_RECORD", arguments);
    if (const int delay = StandIn::knob("FAKE_ADB_DELAY_MS", 0); delay > 0) {
        QThread::msleep(static_cast<unsigned long>(delay));
    }

    QString serverPort;
    QString serial;
    while (!arguments.isEmpty() && arguments.first().startsWith(u'-')) {
        const QString option = arguments.takeFirst();
        if ((option != QLatin1String("-P") && option != QLatin1String("-s")) || arguments.isEmpty()) {
            return fail(QStringLiteral("adb: unknown option or missing value: ") + option);
        }
        (option == QLatin1String("-P") ? serverPort : serial) = arguments.takeFirst();
    }
    if (arguments.isEmpty()) {
        return fail(QStringLiteral("adb: no command given"));
    }
    const QString command = arguments.takeFirst();
    if (command == QLatin1String("version")) {
        say(stdout,
            QStringLiteral("Android Debug Bridge version 1.0.41\nVersion 36.0.2-13735127\nInstalled as ") +
                QCoreApplication::applicationFilePath());
        return 0;
    }
    // Everything else goes through a server; the launcher must name its private one explicitly.
    const QString expected = qEnvironmentVariable("ANDROID_ADB_SERVER_PORT");
    if (serverPort.isEmpty() || serverPort != expected) {
        return fail(QStringLiteral("adb: refusing server port '%1': ANDROID_ADB_SERVER_PORT is '%2'")
                        .arg(serverPort, expected));
    }
    if (command == QLatin1String("start-server")) {
        return arguments.isEmpty() ? 0 : fail(QStringLiteral("adb: start-server takes no arguments"));
    }
    if (command != QLatin1String("shell") && command != QLatin1String("emu") &&
        command != QLatin1String("install")) {
        return fail(QStringLiteral("adb: unknown command ") + command);
    }
    if (serial.isEmpty()) {
        return fail(QStringLiteral("adb: no devices/emulators found"));
    }
    const Device device(serial);
    if (command == QLatin1String("install")) {
        return install(device, arguments);
    }
    if (arguments.isEmpty()) {
        return fail(QStringLiteral("adb: %1 needs a command").arg(command));
    }
    return command == QLatin1String("shell") ? shell(device, arguments) : emu(device, arguments);
}

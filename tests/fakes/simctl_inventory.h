// The simulator device set of the simctl stand-in. The state file is the inventory itself, in the shape
// "simctl list --json" prints, so a test can write the machine it wants and read back what the launcher did:
//
//   {"devicetypes": [{"identifier": ID, "name": NAME, …}, …],
//    "runtimes": [{"identifier": ID, "name": NAME, "isAvailable": BOOL, "supportedDeviceTypes": […], …}, …],
//    "devices": {RUNTIME-ID: [{"udid": UDID, "name": NAME, "state": "Shutdown" | "Booted", …}, …], …},
//    "pairs": {}}
//
// Only the keys named above are read; every other key is kept and printed back unchanged. A runtime without
// "supportedDeviceTypes" accepts every device type. Calls take turns through a lock file next to it
// (its name plus ".lock").
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace Simctl {

// A Mac with Xcode: iOS 17.5 and 18.2, a leftover iOS 16.4 whose disk image is gone, watchOS 10.5, five
// device types and one device made by someone else.
QJsonObject defaultInventory();

// A new device record as the real tool reports it before the first boot.
QJsonObject newDevice(const QString &udid, const QString &name, const QString &type);

// What stays in the record when the device moves: its paths follow the new UDID.
void moveDevicePaths(QJsonObject &device, const QString &udid);

// Pretty-printed like the real tool: two-space indent, "key" : value, its key order, slashes as "\/".
QByteArray print(const QJsonObject &inventory);

// The state file, locked for the life of the object so that read, change and write of one call are not
// interleaved with another call's.
class StateFile
{
public:
    StateFile();
    ~StateFile();
    StateFile(const StateFile &) = delete;
    StateFile &operator=(const StateFile &) = delete;

    // The inventory, or the default one when the file does not exist yet; nullopt with `error` set when it
    // exists but cannot be read as a JSON object.
    std::optional<QJsonObject> load(QString &error);

    // Written to a temporary file and renamed over the old one.
    bool store(const QJsonObject &inventory, QString &error);

private:
    QString path;
    int lockFd = -1;
};

} // namespace Simctl

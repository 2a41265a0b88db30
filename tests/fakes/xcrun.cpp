// Stands in for Xcode's "xcrun simctl". It keeps a simulator device set in one JSON file and changes it the
// way the real tool changes its devices; no simulator runs, "Booted" is only a state word.
//
// Usage: xcrun simctl list --json | -j
//        xcrun simctl create NAME DEVICE-TYPE-ID RUNTIME-ID   prints the new device's UDID
//        xcrun simctl clone UDID NEW-NAME                     prints the copy's UDID (source shut down)
//        xcrun simctl boot UDID                               Shutdown → Booted
//        xcrun simctl shutdown UDID                           Booted → Shutdown
//        xcrun simctl rename UDID NAME
//        xcrun simctl delete UDID                             in any state
//
// Devices are named by UDID only (any letter case): the real tool's other forms, a device name or "booted",
// could reach a device the launcher does not own, so they are unknown devices here. Names are kept exactly as
// given.
//
// Exit status, as the real tool's where it has one: 0 done; 148 unknown device, device type or runtime;
// 149 the device is in the wrong state; 64 a command line this stand-in does not take; 1 a failure made by a
// knob, an unreadable state file, or xcrun asked for a tool other than simctl.
//
// State: the file named by FAKE_SIMCTL_STATE, else ~/Library/Developer/CoreSimulator/Devices/inventory.json,
// in the shape "simctl list --json" prints: {"devicetypes": [{"identifier", "name"}…], "runtimes":
// [{"identifier", "name", "isAvailable"}…], "devices": {RUNTIME-ID: [{"udid", "name", "state"}…]}, "pairs"};
// other keys are kept. Until the file exists the device set is that of an Xcode with no runtime installed.
// Calls take turns through a lock file beside it (its name plus ".lock").
//
// Knobs, read on every call:
//   FAKE_SIMCTL_NON_UUID=1             create and clone print "not-a-udid" and change nothing
//   FAKE_SIMCTL_FAIL=VERB[,VERB…]      those verbs fail with status 1 and change nothing
//   FAKE_SIMCTL_FAIL_UDIDS=UDID[,…]    boot, shutdown and delete of those devices fail likewise
//   FAKE_SIMCTL_MALFORMED_JSON=1       list prints only the first half of the inventory
//   FAKE_SIMCTL_DELAY_MS=N             every call waits N ms before it starts
//   FAKE_SIMCTL_HANG=WORD[,WORD…]      a call whose verb, or whose device UDID, is listed changes nothing and
//                                      never ends on its own: it waits until a signal ends it, as a simctl
//                                      stuck on a device does
//   FAKE_SIMCTL_RECORD=FILE            one line per call, format in stand_in.h
// The two failure knobs are checked before the device is looked up, so they hold for unknown devices too.
#include "stand_in.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QThread>
#include <QUuid>

#include <sys/file.h>
#include <unistd.h>

using StandIn::fail;
using StandIn::say;

namespace {

enum Status { Done = 0, Failed = 1, Usage = 64, Invalid = 148, WrongState = 149 };

QString simError(int code, const QString &text)
{
    return QStringLiteral("An error was encountered processing the command "
                          "(domain=com.apple.CoreSimulator.SimError, code=%1):\n%2")
        .arg(code)
        .arg(text);
}

// Argument count and usage of each verb.
const QHash<QString, std::pair<qsizetype, QString>> verbs{
    {"list", {1, "list -j | --json"}},
    {"create", {3, "create <name> <device type id> <runtime id>"}},
    {"clone", {2, "clone <device> <new name>"}},
    {"boot", {1, "boot <device>"}},
    {"shutdown", {1, "shutdown <device>"}},
    {"rename", {2, "rename <device> <name>"}},
    {"delete", {1, "delete <device>"}},
};

class Command
{
public:
    Command(const QString &verb, QStringList arguments)
        : verb(verb)
        , arguments(std::move(arguments))
        , path(qEnvironmentVariable("FAKE_SIMCTL_STATE"))
    {
        if (path.isEmpty()) {
            path = QDir::homePath() + "/Library/Developer/CoreSimulator/Devices/inventory.json";
        }
    }

    int run()
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        // Calls take turns: the lock holds until this process ends.
        ::flock(::open(QFile::encodeName(path + ".lock").constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644),
                LOCK_EX);
        QFile file(path);
        if (!file.exists()) {
            inventory = {{"devicetypes", QJsonArray()},
                         {"runtimes", QJsonArray()},
                         {"devices", QJsonObject()},
                         {"pairs", QJsonObject()}};
        } else if (file.open(QIODevice::ReadOnly)) {
            inventory = QJsonDocument::fromJson(file.readAll()).object();
        }
        if (inventory.isEmpty()) {
            return fail("simctl: the device set " + path + " cannot be read as a JSON object", Failed);
        }
        if (verb == "list") {
            QByteArray text = QJsonDocument(inventory).toJson();
            if (StandIn::flag("FAKE_SIMCTL_MALFORMED_JSON")) {
                text.truncate(text.size() / 2);
            }
            std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
            return std::fflush(stdout) == 0 ? Done : Failed;
        }
        if (verb == "create") {
            if (!listed("devicetypes", arguments[1])) {
                return fail(simError(403, "Invalid device type: " + arguments[1]), Invalid);
            }
            if (!listed("runtimes", arguments[2])) {
                return fail(simError(403, "Invalid runtime: " + arguments[2]), Invalid);
            }
            return add(arguments[2], arguments[0], arguments[1]);
        }
        // The device, by UDID in any letter case, in its runtime's group.
        const QJsonObject groups = inventory.value("devices").toObject();
        for (auto group = groups.begin(); group != groups.end(); ++group) {
            const QJsonArray devices = group.value().toArray();
            for (qsizetype i = 0; i < devices.size(); ++i) {
                if (devices[i]["udid"].toString().compare(arguments[0], Qt::CaseInsensitive) == 0) {
                    return change(group.key(), devices, i);
                }
            }
        }
        return fail("Invalid device: " + arguments[0], Invalid);
    }

private:
    bool listed(const char *kind, const QString &identifier) const
    {
        for (const QJsonValue &entry : inventory.value(kind).toArray()) {
            if (entry["identifier"].toString() == identifier &&
                entry.toObject().value("isAvailable").toBool(true)) {
                return true;
            }
        }
        return false;
    }

    int change(const QString &runtime, QJsonArray devices, qsizetype index)
    {
        QJsonObject device = devices[index].toObject();
        const QString state = device.value("state").toString();
        const QString wanted = verb == "shutdown" ? "Booted" : "Shutdown";
        if ((verb == "clone" || verb == "boot" || verb == "shutdown") && state != wanted) {
            return fail(
                simError(405, QStringLiteral("Unable to %1 device in current state: %2").arg(verb, state)),
                WrongState);
        }
        if (verb == "clone") {
            return add(runtime, arguments[1], device.value("deviceTypeIdentifier").toString());
        }
        if (verb == "delete") {
            devices.removeAt(index);
        } else {
            device.insert(verb == "rename" ? "name" : "state", verb == "rename" ? arguments[1]
                                                               : verb == "boot" ? "Booted"
                                                                                : "Shutdown");
            devices.replace(index, device);
        }
        return commit(runtime, devices);
    }

    // A new device, as the real tool reports one before its first boot; its UDID is the output.
    int add(const QString &runtime, const QString &name, const QString &type)
    {
        if (StandIn::flag("FAKE_SIMCTL_NON_UUID")) {
            say(stdout, "not-a-udid");
            return Done;
        }
        const QString udid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        QJsonArray devices = inventory.value("devices").toObject().value(runtime).toArray();
        devices.append(QJsonObject{{"udid", udid},
                                   {"isAvailable", true},
                                   {"deviceTypeIdentifier", type},
                                   {"state", "Shutdown"},
                                   {"name", name}});
        return commit(runtime, devices, udid);
    }

    int commit(const QString &runtime, const QJsonArray &devices, const QString &output = {})
    {
        QJsonObject groups = inventory.value("devices").toObject();
        groups.insert(runtime, devices);
        inventory.insert("devices", groups);
        QSaveFile file(path);
        const QByteArray bytes = QJsonDocument(inventory).toJson();
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
            return fail("simctl: cannot write the device set " + path + ": " + file.errorString(), Failed);
        }
        if (!output.isEmpty()) {
            say(stdout, output);
        }
        return Done;
    }

    QString verb;
    QStringList arguments;
    QString path;
    QJsonObject inventory;
};

int simctl(QStringList arguments)
{
    const QString verb = arguments.isEmpty() ? QString() : arguments.takeFirst();
    if (!verbs.contains(verb)) {
        return fail("Unrecognized subcommand: " + verb + "\nusage: simctl <subcommand> ...", Usage);
    }
    if (arguments.size() != verbs[verb].first ||
        (verb == "list" && arguments[0] != "--json" && arguments[0] != "-j")) {
        return fail("Usage: simctl " + verbs[verb].second, Usage);
    }
    const bool deviceFails =
        (verb == "boot" || verb == "shutdown" || verb == "delete") &&
        StandIn::list("FAKE_SIMCTL_FAIL_UDIDS").contains(arguments[0], Qt::CaseInsensitive);
    if (deviceFails || StandIn::list("FAKE_SIMCTL_FAIL").contains(verb)) {
        // What the real tool says when CoreSimulator lets it down.
        return fail(
            simError(
                163,
                QStringLiteral("Unable to %1: CoreSimulatorService connection became invalid.").arg(verb)),
            Failed);
    }
    const QStringList hung = StandIn::list("FAKE_SIMCTL_HANG");
    const bool namesDevice = verb != "list" && verb != "create";
    if (hung.contains(verb) || (namesDevice && hung.contains(arguments[0], Qt::CaseInsensitive))) {
        for (;;) {
            ::pause();
        }
    }
    return Command(verb, arguments).run();
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments = StandIn::arguments(argc, argv);
    StandIn::record("FAKE_SIMCTL_RECORD", arguments);
    if (const int delay = StandIn::knob("FAKE_SIMCTL_DELAY_MS", 0); delay > 0) {
        QThread::msleep(static_cast<unsigned long>(delay));
    }
    const QString tool = arguments.isEmpty() ? QString() : arguments.takeFirst();
    if (tool != "simctl") {
        return fail("xcrun: error: unable to find utility \"" + tool + "\", not a developer tool or in PATH",
                    Failed);
    }
    return simctl(arguments);
}

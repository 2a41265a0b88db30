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
// State: the file named by FAKE_SIMCTL_STATE, else ~/Library/Developer/CoreSimulator/Devices/inventory.json;
// its shape is described in simctl_inventory.h. Until the file exists the default inventory stands in.
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
#include "simctl_inventory.h"
#include "stand_in.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QThread>
#include <QUuid>

#include <optional>

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

struct Verb
{
    qsizetype arguments;
    QString usage;
    QString injectedFailure; // what the real tool says when CoreSimulator lets it down
};

const QHash<QString, Verb> verbs{
    {"list",
     {1, "list -j | --json",
      "CoreSimulatorService connection became invalid.  Simulator services will no longer be available.\n"
      "Failed to locate a valid instance of CoreSimulatorService in the bootstrap."}},
    {"create",
     {3, "create <name> <device type id> <runtime id>",
      simError(163, "Unable to create the device: the device set is not writable.")}},
    {"clone",
     {2, "clone <device> <new name>",
      simError(163, "Unable to clone the device: the device set is not writable.")}},
    {"boot",
     {1, "boot <device>", simError(164, "Unable to boot the Simulator.\nlaunchd failed to respond.")}},
    {"shutdown",
     {1, "shutdown <device>",
      simError(165, "Unable to shutdown device: timed out waiting for the device to stop.")}},
    {"rename",
     {2, "rename <device> <name>",
      simError(163, "Unable to rename the device: the device set is not writable.")}},
    {"delete",
     {1, "delete <device>", simError(163, "Unable to delete the device: Operation not permitted.")}},
};

QString usage()
{
    QStringList lines{"usage: simctl <subcommand> ...", "Subcommands:"};
    for (const char *name : {"list", "create", "clone", "boot", "shutdown", "rename", "delete"}) {
        lines << "    simctl " + verbs[name].usage;
    }
    return lines.join(u'\n');
}

struct Location
{
    QString runtime;
    qsizetype index;
};

class Command
{
public:
    Command(const QString &verb, QStringList arguments)
        : verb(verb)
        , arguments(std::move(arguments))
    {}

    int run()
    {
        QString error;
        std::optional<QJsonObject> loaded = file.load(error);
        if (!loaded) {
            return fail("simctl: " + error, Failed);
        }
        inventory = *loaded;
        if (verb == "list") {
            return list();
        }
        if (verb == "create") {
            return create(arguments[0], arguments[1], arguments[2]);
        }
        const std::optional<Location> location = find(arguments[0]);
        if (!location) {
            return fail("Invalid device: " + arguments[0], Invalid);
        }
        QJsonObject device = this->device(*location);
        const QString state = device.value("state").toString();
        if (verb == "clone") {
            return state == "Shutdown"
                       ? clone(*location, device, arguments[1])
                       : fail(simError(405, "Unable to clone device in current state: " + state), WrongState);
        }
        if (verb == "delete") {
            remove(*location);
            return commit();
        }
        if (verb == "rename") {
            device.insert("name", arguments[1]);
        } else if (verb == "boot") {
            if (state != "Shutdown") {
                return fail(simError(405, "Unable to boot device in current state: " + state), WrongState);
            }
            device.insert("state", "Booted");
            device.insert("lastBootedAt", QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
        } else {
            if (state != "Booted") {
                return fail(simError(405, "Unable to shutdown device in current state: " + state),
                            WrongState);
            }
            device.insert("state", "Shutdown");
        }
        put(*location, device);
        return commit();
    }

private:
    int list()
    {
        QByteArray text = Simctl::print(inventory);
        if (StandIn::flag("FAKE_SIMCTL_MALFORMED_JSON")) {
            text.truncate(text.size() / 2);
        }
        std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
        return std::fflush(stdout) == 0 ? Done : Failed;
    }

    static std::optional<QJsonObject> withIdentifier(const QJsonArray &list, const QString &identifier)
    {
        for (const QJsonValue &entry : list) {
            if (entry.toObject().value("identifier").toString() == identifier) {
                return entry.toObject();
            }
        }
        return std::nullopt;
    }

    int create(const QString &name, const QString &typeId, const QString &runtimeId)
    {
        const std::optional<QJsonObject> type =
            withIdentifier(inventory.value("devicetypes").toArray(), typeId);
        if (!type) {
            return fail(simError(403, "Invalid device type: " + typeId), Invalid);
        }
        const std::optional<QJsonObject> runtime =
            withIdentifier(inventory.value("runtimes").toArray(), runtimeId);
        if (!runtime || !runtime->value("isAvailable").toBool()) {
            return fail(simError(403, "Invalid runtime: " + runtimeId), Invalid);
        }
        if (runtime->contains("supportedDeviceTypes") &&
            !withIdentifier(runtime->value("supportedDeviceTypes").toArray(), typeId)) {
            return fail(simError(403, "Incompatible device\nThe device type " +
                                          type->value("name").toString() + " is not supported by " +
                                          runtime->value("name").toString() + "."),
                        Invalid);
        }
        if (StandIn::flag("FAKE_SIMCTL_NON_UUID")) {
            return notAUdid();
        }
        const QString udid = newUdid();
        append(runtimeId, Simctl::newDevice(udid, name, typeId));
        return commit(udid);
    }

    int clone(const Location &location, QJsonObject device, const QString &name)
    {
        if (StandIn::flag("FAKE_SIMCTL_NON_UUID")) {
            return notAUdid();
        }
        const QString udid = newUdid();
        Simctl::moveDevicePaths(device, udid);
        device.insert("name", name);
        device.insert("state", "Shutdown");
        device.remove("lastBootedAt"); // never booted under this UDID
        append(location.runtime, device);
        return commit(udid);
    }

    static int notAUdid()
    {
        say(stdout, "not-a-udid");
        return Done;
    }

    static QString newUdid() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(); }

    std::optional<Location> find(const QString &udid) const
    {
        const QJsonObject groups = inventory.value("devices").toObject();
        for (auto group = groups.begin(); group != groups.end(); ++group) {
            const QJsonArray devices = group.value().toArray();
            for (qsizetype i = 0; i < devices.size(); ++i) {
                if (devices[i].toObject().value("udid").toString().compare(udid, Qt::CaseInsensitive) == 0) {
                    return Location{group.key(), i};
                }
            }
        }
        return std::nullopt;
    }

    QJsonObject device(const Location &location) const
    {
        return inventory.value("devices")
            .toObject()
            .value(location.runtime)
            .toArray()
            .at(location.index)
            .toObject();
    }

    // QJson values are copies: each change is written back level by level.
    template<typename Change> void changeGroup(const QString &runtime, Change change)
    {
        QJsonObject groups = inventory.value("devices").toObject();
        QJsonArray devices = groups.value(runtime).toArray();
        change(devices);
        groups.insert(runtime, devices);
        inventory.insert("devices", groups);
    }

    void put(const Location &location, const QJsonObject &device)
    {
        changeGroup(location.runtime, [&](QJsonArray &devices) { devices.replace(location.index, device); });
    }

    void remove(const Location &location)
    {
        changeGroup(location.runtime, [&](QJsonArray &devices) { devices.removeAt(location.index); });
    }

    void append(const QString &runtime, const QJsonObject &device)
    {
        changeGroup(runtime, [&](QJsonArray &devices) { devices.append(device); });
    }

    int commit(const QString &output = {})
    {
        QString error;
        if (!file.store(inventory, error)) {
            return fail("simctl: " + error, Failed);
        }
        if (!output.isEmpty()) {
            say(stdout, output);
        }
        return Done;
    }

    QString verb;
    QStringList arguments;
    Simctl::StateFile file;
    QJsonObject inventory;
};

int simctl(QStringList arguments)
{
    if (arguments.isEmpty()) {
        return fail(usage(), Usage);
    }
    const QString verb = arguments.takeFirst();
    if (!verbs.contains(verb)) {
        return fail("Unrecognized subcommand: " + verb + u'\n' + usage(), Usage);
    }
    if (arguments.size() != verbs[verb].arguments ||
        (verb == "list" && arguments[0] != "--json" && arguments[0] != "-j")) {
        return fail("Usage: simctl " + verbs[verb].usage, Usage);
    }
    const bool deviceFails =
        (verb == "boot" || verb == "shutdown" || verb == "delete") &&
        StandIn::list("FAKE_SIMCTL_FAIL_UDIDS").contains(arguments[0], Qt::CaseInsensitive);
    if (deviceFails || StandIn::list("FAKE_SIMCTL_FAIL").contains(verb)) {
        return fail(verbs[verb].injectedFailure, Failed);
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
    if (arguments.isEmpty()) {
        return fail("Usage: xcrun [options] <tool name> ... arguments ...", Failed);
    }
    const QString tool = arguments.takeFirst();
    if (tool.startsWith(u'-')) {
        return fail("xcrun: error: unrecognized option: " + tool, Failed);
    }
    if (tool != "simctl") {
        return fail("xcrun: error: unable to find utility \"" + tool + "\", not a developer tool or in PATH",
                    Failed);
    }
    return simctl(arguments);
}

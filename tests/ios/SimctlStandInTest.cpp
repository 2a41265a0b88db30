// The xcrun simctl and open stand-ins that the iOS tests drive: they must keep devices and refuse calls the
// way the real tools do, or the iOS tests would pass against a launcher that breaks on a real Mac.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

const QString iPhone16Pro = QStringLiteral("com.apple.CoreSimulator.SimDeviceType.iPhone-16-Pro");
const QString iPhone15 = QStringLiteral("com.apple.CoreSimulator.SimDeviceType.iPhone-15");
const QString watch = QStringLiteral("com.apple.CoreSimulator.SimDeviceType.Apple-Watch-Series-9-45mm");
const QString iOS17 = QStringLiteral("com.apple.CoreSimulator.SimRuntime.iOS-17-5");
const QString iOS18 = QStringLiteral("com.apple.CoreSimulator.SimRuntime.iOS-18-2");
const QString iOS16 = QStringLiteral("com.apple.CoreSimulator.SimRuntime.iOS-16-4");
const QString foreignUdid = QStringLiteral("5D1E7C2A-8B3F-4E6D-9A0C-1F2E3D4C5B6A");
const QChar separator(0x1F);

struct ToolRun
{
    int status = -1;
    QString out;
    QString err;
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool isUdidLine(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\n$"));
    return pattern.match(text).hasMatch();
}

class SimctlStandInTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        for (const QString &name : environment.keys()) {
            if (name.startsWith(QLatin1String("FAKE_"))) {
                environment.remove(name);
            }
        }
        environment.insert(QStringLiteral("FAKE_SIMCTL_STATE"), state);
        environment.insert(QStringLiteral("FAKE_SIMCTL_RECORD"), record);
        environment.insert(QStringLiteral("FAKE_OPEN_RECORD"), record);
    }

    static void start(QProcess &process, const QString &program, const QStringList &arguments,
                      const QProcessEnvironment &env)
    {
        process.setProcessEnvironment(env);
        process.start(program, arguments);
    }

    static ToolRun finish(QProcess &process)
    {
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished();
            return {-1, QStringLiteral("<timed out>"), {}};
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    ToolRun run(const QString &tool, const QStringList &arguments, const QProcessEnvironment &env) const
    {
        QProcess process;
        start(process, QStringLiteral(CORVANE_FAKES_DIR "/") + tool, arguments, env);
        return finish(process);
    }

    ToolRun simctl(const QStringList &arguments, const QProcessEnvironment &env) const
    {
        return run(QStringLiteral("xcrun"), QStringList{QStringLiteral("simctl")} + arguments, env);
    }
    ToolRun simctl(const QStringList &arguments) const { return simctl(arguments, environment); }

    QProcessEnvironment with(const QString &knob, const QString &value) const
    {
        QProcessEnvironment env = environment;
        env.insert(knob, value);
        return env;
    }

    // The new device's UDID, empty (with a test failure) when simctl refused.
    QString create(const QString &name, const QString &type = iPhone16Pro,
                   const QString &runtime = iOS18) const
    {
        const ToolRun created = simctl({QStringLiteral("create"), name, type, runtime});
        EXPECT_EQ(created.status, 0) << created.err.toStdString();
        EXPECT_TRUE(isUdidLine(created.out)) << created.out.toStdString();
        return created.out.trimmed();
    }

    QJsonObject inventory() const
    {
        const ToolRun listed = simctl({QStringLiteral("list"), QStringLiteral("--json")});
        EXPECT_EQ(listed.status, 0) << listed.err.toStdString();
        EXPECT_EQ(listed.err, QString());
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(listed.out.toUtf8(), &error);
        EXPECT_TRUE(document.isObject()) << error.errorString().toStdString();
        return document.object();
    }

    // Every listed device by UDID, with the runtime group it is listed under as "runtime".
    QHash<QString, QJsonObject> devices() const
    {
        QHash<QString, QJsonObject> found;
        const QJsonObject groups = inventory().value(QStringLiteral("devices")).toObject();
        for (auto group = groups.begin(); group != groups.end(); ++group) {
            for (const QJsonValue &value : group.value().toArray()) {
                QJsonObject device = value.toObject();
                device.insert(QStringLiteral("runtime"), group.key());
                found.insert(device.value(QStringLiteral("udid")).toString(), device);
            }
        }
        return found;
    }

    QString field(const QString &udid, const char *key) const
    {
        return devices().value(udid).value(QLatin1String(key)).toString();
    }

    QStringList recorded() const
    {
        return QString::fromUtf8(readFile(record)).split(u'\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir dir;
    QString state = dir.filePath(QStringLiteral("simulators.json"));
    QString record = dir.filePath(QStringLiteral("calls.log"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

} // namespace

TEST_F(SimctlStandInTest, DeviceLivesThroughCreateBootShutdownRenameCloneAndDelete)
{
    const QString name = QStringLiteral("Ann's \"test\"\n  iPhone 🍎 ");
    const QString udid = create(name);
    ASSERT_FALSE(udid.isEmpty());
    ASSERT_TRUE(QFile::exists(state));
    QJsonObject device = devices().value(udid);
    EXPECT_EQ(device.value(QStringLiteral("name")).toString(), name);
    EXPECT_EQ(device.value(QStringLiteral("state")).toString(), QStringLiteral("Shutdown"));
    EXPECT_EQ(device.value(QStringLiteral("runtime")).toString(), iOS18);
    EXPECT_EQ(device.value(QStringLiteral("deviceTypeIdentifier")).toString(), iPhone16Pro);
    EXPECT_FALSE(device.contains(QStringLiteral("lastBootedAt")));

    EXPECT_EQ(simctl({QStringLiteral("boot"), udid}).status, 0);
    device = devices().value(udid);
    EXPECT_EQ(device.value(QStringLiteral("state")).toString(), QStringLiteral("Booted"));
    EXPECT_TRUE(device.contains(QStringLiteral("lastBootedAt")));

    // Any letter case names the same device, as UUIDs do.
    EXPECT_EQ(simctl({QStringLiteral("shutdown"), udid.toLower()}).status, 0);
    EXPECT_EQ(field(udid, "state"), QStringLiteral("Shutdown"));

    const QString renamed = QStringLiteral("Renamed · 2");
    EXPECT_EQ(simctl({QStringLiteral("rename"), udid, renamed}).status, 0);
    EXPECT_EQ(field(udid, "name"), renamed);

    const ToolRun cloned = simctl({QStringLiteral("clone"), udid, QStringLiteral("Copy")});
    ASSERT_EQ(cloned.status, 0) << cloned.err.toStdString();
    ASSERT_TRUE(isUdidLine(cloned.out)) << cloned.out.toStdString();
    const QString copy = cloned.out.trimmed();
    EXPECT_NE(copy, udid);
    const QHash<QString, QJsonObject> both = devices();
    EXPECT_EQ(both.value(copy).value(QStringLiteral("name")).toString(), QStringLiteral("Copy"));
    EXPECT_EQ(both.value(copy).value(QStringLiteral("state")).toString(), QStringLiteral("Shutdown"));
    EXPECT_EQ(both.value(copy).value(QStringLiteral("runtime")).toString(), iOS18);
    EXPECT_TRUE(both.value(copy).value(QStringLiteral("dataPath")).toString().contains(copy));
    EXPECT_EQ(both.value(udid).value(QStringLiteral("name")).toString(), renamed);

    // A booted device is deleted all the same.
    EXPECT_EQ(simctl({QStringLiteral("boot"), copy}).status, 0);
    EXPECT_EQ(simctl({QStringLiteral("delete"), copy}).status, 0);
    EXPECT_EQ(simctl({QStringLiteral("delete"), udid}).status, 0);
    EXPECT_EQ(devices().keys(), QStringList{foreignUdid});

    const QStringList calls = recorded();
    ASSERT_FALSE(calls.isEmpty());
    EXPECT_EQ(calls.first(), QStringList({QStringLiteral("simctl"), QStringLiteral("create"),
                                          QStringLiteral("Ann's \"test\"\\n  iPhone 🍎 "), iPhone16Pro, iOS18})
                                 .join(separator));
    EXPECT_TRUE(calls.contains(
        QStringList({QStringLiteral("simctl"), QStringLiteral("rename"), udid, renamed}).join(separator)));
    EXPECT_EQ(calls.last(), QStringLiteral("simctl") + separator + QStringLiteral("list") + separator +
                                QStringLiteral("--json"));
}

TEST_F(SimctlStandInTest, RefusesWrongStatesAndUnknownNamesWithoutChangingTheDevices)
{
    const QString booted = create(QStringLiteral("Booted one"));
    const QString off = create(QStringLiteral("Off one"));
    ASSERT_EQ(simctl({QStringLiteral("boot"), booted}).status, 0);
    const QByteArray before = readFile(state);

    const struct
    {
        QStringList arguments;
        int status;
        const char *message;
    } refusals[] = {
        {{QStringLiteral("boot"), booted}, 149, "Unable to boot device in current state: Booted"},
        {{QStringLiteral("shutdown"), off}, 149, "Unable to shutdown device in current state: Shutdown"},
        {{QStringLiteral("clone"), booted, QStringLiteral("c")},
         149,
         "Unable to clone device in current state: Booted"},
        {{QStringLiteral("create"), QStringLiteral("x"), QStringLiteral("iPhone 15"), iOS18},
         148,
         "Invalid device type: iPhone 15"},
        {{QStringLiteral("create"), QStringLiteral("x"), iPhone15, QStringLiteral("iOS 18.2")},
         148,
         "Invalid runtime: iOS 18.2"},
        {{QStringLiteral("create"), QStringLiteral("x"), iPhone15, iOS16}, 148, "Invalid runtime: "},
        {{QStringLiteral("create"), QStringLiteral("x"), watch, iOS18}, 148, "Incompatible device"},
        {{QStringLiteral("create"), QStringLiteral("x"), iPhone16Pro, iOS17}, 148, "Incompatible device"},
        // A device name is not a UDID here: it could as well be someone else's device.
        {{QStringLiteral("boot"), QStringLiteral("Off one")}, 148, "Invalid device: Off one"},
        {{QStringLiteral("create"), QStringLiteral("x"), iPhone15}, 64, "Usage: simctl create"},
        {{QStringLiteral("list")}, 64, "Usage: simctl list"},
        {{QStringLiteral("erase"), off}, 64, "Unrecognized subcommand: erase"},
    };
    for (const auto &refusal : refusals) {
        const ToolRun refused = simctl(refusal.arguments);
        EXPECT_EQ(refused.status, refusal.status) << refusal.arguments.join(u' ').toStdString();
        EXPECT_TRUE(refused.err.contains(QLatin1String(refusal.message))) << refused.err.toStdString();
        EXPECT_EQ(refused.out, QString());
    }
    const QString unknown = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    for (const QStringList &arguments :
         {QStringList{QStringLiteral("boot"), unknown}, QStringList{QStringLiteral("shutdown"), unknown},
          QStringList{QStringLiteral("delete"), unknown},
          QStringList{QStringLiteral("rename"), unknown, unknown},
          QStringList{QStringLiteral("clone"), unknown, unknown}}) {
        const ToolRun refused = simctl(arguments);
        EXPECT_EQ(refused.status, 148) << arguments.first().toStdString();
        EXPECT_EQ(refused.err, QStringLiteral("Invalid device: ") + unknown + u'\n');
    }
    EXPECT_EQ(readFile(state), before);

    const ToolRun otherTool =
        run(QStringLiteral("xcrun"), {QStringLiteral("devicectl"), QStringLiteral("list")}, environment);
    EXPECT_EQ(otherTool.status, 1);
    EXPECT_TRUE(otherTool.err.contains(QLatin1String("unable to find utility \"devicectl\"")))
        << otherTool.err.toStdString();
}

TEST_F(SimctlStandInTest, KnobsBreakOnlyTheCallsTheyName)
{
    const QString first = create(QStringLiteral("First"));
    const QString second = create(QStringLiteral("Second"));
    const QByteArray before = readFile(state);

    const QProcessEnvironment nonUuid = with(QStringLiteral("FAKE_SIMCTL_NON_UUID"), QStringLiteral("1"));
    for (const QStringList &arguments :
         {QStringList{QStringLiteral("create"), QStringLiteral("x"), iPhone15, iOS17},
          QStringList{QStringLiteral("clone"), first, QStringLiteral("x")}}) {
        const ToolRun odd = simctl(arguments, nonUuid);
        EXPECT_EQ(odd.status, 0);
        EXPECT_EQ(odd.out, QStringLiteral("not-a-udid\n"));
    }
    EXPECT_EQ(readFile(state), before);

    const QProcessEnvironment failing =
        with(QStringLiteral("FAKE_SIMCTL_FAIL"), QStringLiteral("boot, rename,list"));
    for (const QStringList &arguments :
         {QStringList{QStringLiteral("boot"), first}, QStringList{QStringLiteral("rename"), first, first},
          QStringList{QStringLiteral("list"), QStringLiteral("-j")}}) {
        const ToolRun failed = simctl(arguments, failing);
        EXPECT_EQ(failed.status, 1) << arguments.first().toStdString();
        EXPECT_FALSE(failed.err.isEmpty());
        EXPECT_EQ(failed.out, QString());
    }
    EXPECT_EQ(readFile(state), before);
    EXPECT_EQ(simctl({QStringLiteral("delete"), second}, failing).status, 0);

    const QProcessEnvironment oneDevice =
        with(QStringLiteral("FAKE_SIMCTL_FAIL_UDIDS"),
             QStringLiteral("00000000-0000-0000-0000-000000000000,") + first.toLower());
    for (const char *verb : {"boot", "delete"}) {
        const ToolRun failed = simctl({QLatin1String(verb), first}, oneDevice);
        EXPECT_EQ(failed.status, 1) << verb;
        EXPECT_FALSE(failed.err.isEmpty());
    }
    EXPECT_EQ(field(first, "state"), QStringLiteral("Shutdown"));
    EXPECT_EQ(simctl({QStringLiteral("rename"), first, QStringLiteral("Still here")}, oneDevice).status, 0);
    const QString third = create(QStringLiteral("Third"));
    EXPECT_EQ(simctl({QStringLiteral("boot"), third}, oneDevice).status, 0);
    EXPECT_EQ(simctl({QStringLiteral("shutdown"), third}, oneDevice).status, 0);

    const ToolRun whole = simctl({QStringLiteral("list"), QStringLiteral("--json")});
    const ToolRun cut = simctl({QStringLiteral("list"), QStringLiteral("--json")},
                               with(QStringLiteral("FAKE_SIMCTL_MALFORMED_JSON"), QStringLiteral("1")));
    EXPECT_EQ(cut.status, 0);
    EXPECT_FALSE(cut.out.isEmpty());
    EXPECT_TRUE(whole.out.startsWith(cut.out));
    QJsonParseError error;
    QJsonDocument::fromJson(cut.out.toUtf8(), &error);
    EXPECT_NE(error.error, QJsonParseError::NoError);

    QElapsedTimer timer;
    timer.start();
    simctl({QStringLiteral("list"), QStringLiteral("-j")},
           with(QStringLiteral("FAKE_SIMCTL_DELAY_MS"), QStringLiteral("400")));
    EXPECT_GE(timer.elapsed(), 400);
}

TEST_F(SimctlStandInTest, ListsLikeTheRealToolWithTheKeysTheLauncherMustIgnore)
{
    const ToolRun listed = simctl({QStringLiteral("list"), QStringLiteral("-j")});
    ASSERT_EQ(listed.status, 0);
    EXPECT_TRUE(listed.out.startsWith(QLatin1String("{\n  \"devicetypes\" : [\n    {\n")))
        << listed.out.left(80).toStdString();
    EXPECT_TRUE(listed.out.contains(QLatin1String("\"pairs\" : {\n\n  }\n}\n")));
    EXPECT_TRUE(listed.out.contains(QLatin1String("\"bundlePath\" : \"\\/Applications\\/Xcode.app")));
    EXPECT_FALSE(QFile::exists(state)) << "listing must not write the device set";

    const QJsonObject all = inventory();
    EXPECT_TRUE(all.value(QStringLiteral("pairs")).isObject());
    const auto hasKeys = [](const QJsonValue &value, const QStringList &keys) {
        for (const QString &key : keys) {
            EXPECT_TRUE(value.toObject().contains(key)) << key.toStdString();
        }
    };
    QStringList available;
    QStringList unavailable;
    for (const QJsonValue &runtime : all.value(QStringLiteral("runtimes")).toArray()) {
        hasKeys(runtime,
                {QStringLiteral("bundlePath"), QStringLiteral("buildversion"), QStringLiteral("platform"),
                 QStringLiteral("runtimeRoot"), QStringLiteral("identifier"), QStringLiteral("version"),
                 QStringLiteral("isInternal"), QStringLiteral("isAvailable"), QStringLiteral("name"),
                 QStringLiteral("supportedDeviceTypes")});
        (runtime[QStringLiteral("isAvailable")].toBool() ? available : unavailable)
            << runtime[QStringLiteral("identifier")].toString();
    }
    EXPECT_EQ(available,
              QStringList({iOS17, iOS18, QStringLiteral("com.apple.CoreSimulator.SimRuntime.watchOS-10-5")}));
    EXPECT_EQ(unavailable, QStringList{iOS16});

    QStringList types;
    for (const QJsonValue &type : all.value(QStringLiteral("devicetypes")).toArray()) {
        hasKeys(type, {QStringLiteral("productFamily"), QStringLiteral("bundlePath"),
                       QStringLiteral("maxRuntimeVersion"), QStringLiteral("maxRuntimeVersionString"),
                       QStringLiteral("identifier"), QStringLiteral("modelIdentifier"),
                       QStringLiteral("minRuntimeVersionString"), QStringLiteral("minRuntimeVersion"),
                       QStringLiteral("name")});
        types << type[QStringLiteral("name")].toString();
    }
    EXPECT_EQ(types, QStringList({QStringLiteral("iPhone 15"), QStringLiteral("iPhone 16 Pro"),
                                  QStringLiteral("iPad Air (M2)"), QStringLiteral("Apple TV"),
                                  QStringLiteral("Apple Watch Series 9")}));

    const QString udid = create(QStringLiteral("Mine"));
    const QHash<QString, QJsonObject> listedDevices = devices();
    ASSERT_EQ(listedDevices.size(), 2);
    EXPECT_EQ(listedDevices.value(foreignUdid).value(QStringLiteral("name")).toString(),
              QStringLiteral("Someone Else's iPhone"));
    for (const QJsonObject &device : listedDevices) {
        hasKeys(device,
                {QStringLiteral("dataPath"), QStringLiteral("dataPathSize"), QStringLiteral("logPath"),
                 QStringLiteral("udid"), QStringLiteral("isAvailable"),
                 QStringLiteral("deviceTypeIdentifier"), QStringLiteral("state"), QStringLiteral("name")});
    }
    EXPECT_TRUE(listedDevices.value(foreignUdid).contains(QStringLiteral("lastBootedAt")));
    EXPECT_FALSE(listedDevices.value(udid).contains(QStringLiteral("lastBootedAt")));
}

TEST_F(SimctlStandInTest, KeepsAStateFileTheTestWroteWithItsOwnKeys)
{
    QFile file(state);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        R"({"runtimes": [{"identifier": "com.apple.CoreSimulator.SimRuntime.iOS-18-2", "name": "iOS 18.2",
                    "isAvailable": true}],
                  "devicetypes": [{"identifier": "com.apple.CoreSimulator.SimDeviceType.iPhone-15",
                                   "name": "iPhone 15"}],
                  "devices": {"com.apple.CoreSimulator.SimRuntime.iOS-18-2": [
                      {"udid": "11111111-2222-3333-4444-555555555555", "name": "Old", "state": "Booted",
                       "custom": [1, 2.5, null]}]}})");
    file.close();

    const QString udid = create(QStringLiteral("New"), iPhone15, iOS18);
    EXPECT_EQ(
        simctl({QStringLiteral("shutdown"), QStringLiteral("11111111-2222-3333-4444-555555555555")}).status,
        0);
    const QJsonObject all = inventory();
    EXPECT_EQ(all.value(QStringLiteral("runtimes")).toArray().size(), 1);
    EXPECT_FALSE(all.contains(QStringLiteral("pairs")));
    const QJsonArray group = all.value(QStringLiteral("devices")).toObject().value(iOS18).toArray();
    ASSERT_EQ(group.size(), 2);
    EXPECT_EQ(group[0][QStringLiteral("state")].toString(), QStringLiteral("Shutdown"));
    EXPECT_EQ(group[0][QStringLiteral("custom")].toArray(), QJsonArray({1, 2.5, QJsonValue::Null}));
    EXPECT_EQ(group[1][QStringLiteral("udid")].toString(), udid);
}

TEST_F(SimctlStandInTest, SimultaneousCallsLoseNoDevice)
{
    const QProcessEnvironment slow = with(QStringLiteral("FAKE_SIMCTL_DELAY_MS"), QStringLiteral("50"));
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < 8; ++i) {
        processes.push_back(std::make_unique<QProcess>());
        start(*processes.back(), QStringLiteral(CORVANE_FAKES_DIR "/xcrun"),
              {QStringLiteral("simctl"), QStringLiteral("create"), QStringLiteral("Parallel %1").arg(i),
               iPhone15, iOS17},
              slow);
    }
    QStringList created;
    for (const auto &process : processes) {
        const ToolRun done = finish(*process);
        EXPECT_EQ(done.status, 0) << done.err.toStdString();
        created << done.out.trimmed();
    }
    const QHash<QString, QJsonObject> listed = devices();
    for (const QString &udid : created) {
        EXPECT_TRUE(listed.contains(udid)) << udid.toStdString();
    }
    EXPECT_EQ(listed.size(), 9);
    EXPECT_EQ(recorded().size(), 9);
}

TEST_F(SimctlStandInTest, OpenShowsOnlyTheSimulatorAndRecordsEveryCall)
{
    const QStringList show{QStringLiteral("-a"), QStringLiteral("Simulator"), QStringLiteral("--args"),
                           QStringLiteral("-CurrentDeviceUDID"), foreignUdid};
    const ToolRun shown = run(QStringLiteral("open"), show, environment);
    EXPECT_EQ(shown.status, 0) << shown.err.toStdString();
    EXPECT_EQ(shown.out + shown.err, QString());

    const ToolRun missing =
        run(QStringLiteral("open"), show, with(QStringLiteral("FAKE_OPEN_FAIL"), QStringLiteral("1")));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, QStringLiteral("Unable to find application named 'Simulator'\n"));

    const ToolRun misspelt =
        run(QStringLiteral("open"), {QStringLiteral("-a"), QStringLiteral("Simulater")}, environment);
    EXPECT_EQ(misspelt.status, 1);
    EXPECT_EQ(misspelt.err, QStringLiteral("Unable to find application named 'Simulater'\n"));

    const QString line = show.join(separator);
    EXPECT_EQ(recorded(),
              QStringList({line, line, QStringLiteral("-a") + separator + QStringLiteral("Simulater")}));
}

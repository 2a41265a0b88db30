// The xcrun simctl and open stand-ins that the iOS tests drive: they must keep devices and refuse calls the
// way the real tools do, or the iOS tests would pass against a launcher that breaks on a real Mac.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

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

    ToolRun run(const QString &tool, const QStringList &arguments, const QProcessEnvironment &env) const
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(CORVANE_FAKES_DIR "/") + tool, arguments);
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished();
            return {-1, QStringLiteral("<timed out>"), {}};
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
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
    EXPECT_EQ(field(udid, "name"), name);
    EXPECT_EQ(field(udid, "state"), QStringLiteral("Shutdown"));
    EXPECT_EQ(field(udid, "runtime"), iOS18);

    EXPECT_EQ(simctl({QStringLiteral("boot"), udid}).status, 0);
    EXPECT_EQ(field(udid, "state"), QStringLiteral("Booted"));
    // Any letter case names the same device, as UUIDs do.
    EXPECT_EQ(simctl({QStringLiteral("shutdown"), udid.toLower()}).status, 0);
    EXPECT_EQ(field(udid, "state"), QStringLiteral("Shutdown"));
    EXPECT_EQ(simctl({QStringLiteral("rename"), udid, QStringLiteral("Renamed")}).status, 0);
    EXPECT_EQ(field(udid, "name"), QStringLiteral("Renamed"));

    const ToolRun cloned = simctl({QStringLiteral("clone"), udid, QStringLiteral("Copy")});
    ASSERT_TRUE(isUdidLine(cloned.out)) << cloned.err.toStdString();
    const QString copy = cloned.out.trimmed();
    EXPECT_NE(copy, udid);
    EXPECT_EQ(field(copy, "name"), QStringLiteral("Copy"));
    EXPECT_EQ(field(udid, "name"), QStringLiteral("Renamed"));

    // A booted device is deleted all the same; the device the launcher did not make stays listed.
    EXPECT_EQ(simctl({QStringLiteral("boot"), copy}).status, 0);
    EXPECT_EQ(simctl({QStringLiteral("delete"), copy}).status, 0);
    EXPECT_EQ(simctl({QStringLiteral("delete"), udid}).status, 0);
    EXPECT_EQ(devices().keys(), QStringList{foreignUdid});

    const QStringList calls = recorded();
    ASSERT_FALSE(calls.isEmpty());
    EXPECT_EQ(calls.first(), QStringList({QStringLiteral("simctl"), QStringLiteral("create"),
                                          QStringLiteral("Ann's \"test\"\\n  iPhone 🍎 "), iPhone16Pro, iOS18})
                                 .join(separator));
}

TEST_F(SimctlStandInTest, RefusesWrongStatesAndUnknownNamesWithoutChangingTheDevices)
{
    const QString booted = create(QStringLiteral("Booted one"));
    const QString off = create(QStringLiteral("Off one"));
    ASSERT_EQ(simctl({QStringLiteral("boot"), booted}).status, 0);
    const QByteArray before = readFile(state);
    const QString unknown = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();

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
        {{QStringLiteral("create"), QStringLiteral("x"), iPhone15, iOS16}, 148, "Invalid runtime: "},
        {{QStringLiteral("create"), QStringLiteral("x"), watch, iOS18}, 148, "Incompatible device"},
        {{QStringLiteral("create"), QStringLiteral("x"), iPhone16Pro, iOS17}, 148, "Incompatible device"},
        // A device name is not a UDID here: it could as well be someone else's device.
        {{QStringLiteral("boot"), QStringLiteral("Off one")}, 148, "Invalid device: Off one"},
        {{QStringLiteral("delete"), unknown}, 148, "Invalid device: "},
        {{QStringLiteral("erase"), off}, 64, "Unrecognized subcommand: erase"},
    };
    for (const auto &refusal : refusals) {
        const ToolRun refused = simctl(refusal.arguments);
        EXPECT_EQ(refused.status, refusal.status) << refusal.arguments.join(u' ').toStdString();
        EXPECT_TRUE(refused.err.contains(QLatin1String(refusal.message))) << refused.err.toStdString();
        EXPECT_EQ(refused.out, QString());
    }
    EXPECT_EQ(readFile(state), before);
}

TEST_F(SimctlStandInTest, KnobsBreakOnlyTheCallsTheyName)
{
    const QString first = create(QStringLiteral("First"));
    const QString second = create(QStringLiteral("Second"));
    const QByteArray before = readFile(state);

    const ToolRun odd = simctl({QStringLiteral("clone"), first, QStringLiteral("x")},
                               with(QStringLiteral("FAKE_SIMCTL_NON_UUID"), QStringLiteral("1")));
    EXPECT_EQ(odd.out, QStringLiteral("not-a-udid\n"));
    const QProcessEnvironment failing =
        with(QStringLiteral("FAKE_SIMCTL_FAIL"), QStringLiteral("boot, rename,list"));
    EXPECT_EQ(simctl({QStringLiteral("boot"), first}, failing).status, 1);
    EXPECT_EQ(simctl({QStringLiteral("list"), QStringLiteral("-j")}, failing).status, 1);
    EXPECT_EQ(readFile(state), before);
    EXPECT_EQ(simctl({QStringLiteral("delete"), second}, failing).status, 0);

    const QProcessEnvironment oneDevice = with(QStringLiteral("FAKE_SIMCTL_FAIL_UDIDS"), first.toLower());
    EXPECT_EQ(simctl({QStringLiteral("boot"), first}, oneDevice).status, 1);
    EXPECT_EQ(field(first, "state"), QStringLiteral("Shutdown"));
    const QString third = create(QStringLiteral("Third"));
    EXPECT_EQ(simctl({QStringLiteral("boot"), third}, oneDevice).status, 0);

    const ToolRun cut = simctl({QStringLiteral("list"), QStringLiteral("--json")},
                               with(QStringLiteral("FAKE_SIMCTL_MALFORMED_JSON"), QStringLiteral("1")));
    EXPECT_EQ(cut.status, 0);
    QJsonParseError error;
    QJsonDocument::fromJson(cut.out.toUtf8(), &error);
    EXPECT_NE(error.error, QJsonParseError::NoError);
}

TEST_F(SimctlStandInTest, OpenShowsOnlyTheSimulatorAndRecordsEveryCall)
{
    const QStringList show{QStringLiteral("-a"), QStringLiteral("Simulator"), QStringLiteral("--args"),
                           QStringLiteral("-CurrentDeviceUDID"), foreignUdid};
    EXPECT_EQ(run(QStringLiteral("open"), show, environment).status, 0);
    const ToolRun missing =
        run(QStringLiteral("open"), show, with(QStringLiteral("FAKE_OPEN_FAIL"), QStringLiteral("1")));
    EXPECT_EQ(missing.err, QStringLiteral("Unable to find application named 'Simulator'\n"));
    EXPECT_EQ(
        run(QStringLiteral("open"), {QStringLiteral("-a"), QStringLiteral("Simulater")}, environment).status,
        1);
    const QString line = show.join(separator);
    EXPECT_EQ(recorded(),
              QStringList({line, line, QStringLiteral("-a") + separator + QStringLiteral("Simulater")}));
}

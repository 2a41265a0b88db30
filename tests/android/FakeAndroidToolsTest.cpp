// The emulator and adb stand-ins that the device tests drive: they must fail where the real tools fail, or
// the device tests would pass against a launcher that breaks on real hardware.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

struct ToolRun
{
    int status = -1;
    QString output;
};

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

bool bindable(quint16 port)
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, port);
}

// Spread by process id: CTest runs each case in its own process, possibly side by side.
quint16 freePortPair()
{
    for (int step = 0; step < 150; ++step) {
        const auto port = static_cast<quint16>(5700 + ((::getpid() + step) % 150) * 2);
        if (bindable(port) && bindable(port + 1)) {
            return port;
        }
    }
    return 0;
}

class FakeAndroidToolsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // Installed the way the device tests install them: links inside an SDK folder.
        QDir().mkpath(sdk + QStringLiteral("/emulator"));
        QDir().mkpath(sdk + QStringLiteral("/platform-tools"));
        ASSERT_TRUE(QFile::link(QStringLiteral(CORVANE_FAKES_DIR "/emulator"), emulatorPath));
        ASSERT_TRUE(QFile::link(QStringLiteral(CORVANE_FAKES_DIR "/adb"), adbPath));
        QDir().mkpath(content);
        write(avdHome + QStringLiteral("/Corvane.ini"),
              "avd.ini.encoding=UTF-8\npath=" + content.toUtf8() + "\ntarget=android-34\n");
        write(content + QStringLiteral("/config.ini"),
              "AvdId=Corvane\nhw.cpu.arch=arm64\ntarget=android-34\n");

        environment.insert(QStringLiteral("ANDROID_SDK_ROOT"), sdk);
        environment.insert(QStringLiteral("ANDROID_HOME"), sdk);
        environment.insert(QStringLiteral("ANDROID_AVD_HOME"), avdHome);
        environment.insert(QStringLiteral("ANDROID_EMULATOR_HOME"), dir.filePath(QStringLiteral("home")));
        environment.insert(QStringLiteral("ANDROID_ADB_SERVER_PORT"), QStringLiteral("5038"));
        environment.insert(QStringLiteral("FAKE_ANDROID_RECORD"), record);
        environment.insert(QStringLiteral("FAKE_EMULATOR_BOOT_DELAY_MS"), QString::number(bootDelayMs));
        port = freePortPair();
        ASSERT_NE(port, 0);
    }

    void TearDown() override
    {
        emulator.kill();
        emulator.waitForFinished(3000);
    }

    QStringList emulatorArguments(quint16 consolePort) const
    {
        return {QStringLiteral("-avd"),       QStringLiteral("Corvane"),      QStringLiteral("-port"),
                QString::number(consolePort), QStringLiteral("-cores"),       QStringLiteral("2"),
                QStringLiteral("-memory"),    QStringLiteral("2048"),         QStringLiteral("-gpu"),
                QStringLiteral("auto"),       QStringLiteral("-no-snapshot"), QStringLiteral("-no-boot-anim"),
                QStringLiteral("-no-metrics")};
    }

    ToolRun run(const QString &program, const QStringList &arguments, const QProcessEnvironment &env) const
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished();
            return {-1, QStringLiteral("<timed out>")};
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAll())};
    }

    ToolRun runEmulator(const QStringList &arguments) const
    {
        return run(emulatorPath, arguments, environment);
    }

    ToolRun adb(const QStringList &arguments, const QProcessEnvironment &env) const
    {
        return run(adbPath,
                   QStringList{QStringLiteral("-P"), QStringLiteral("5038"), QStringLiteral("-s"),
                               QStringLiteral("emulator-%1").arg(port)} +
                       arguments,
                   env);
    }
    ToolRun adb(const QStringList &arguments) const { return adb(arguments, environment); }

    ToolRun bootCompleted() const
    {
        return adb(
            {QStringLiteral("shell"), QStringLiteral("getprop"), QStringLiteral("sys.boot_completed")});
    }

    void startEmulator()
    {
        emulator.setProcessEnvironment(environment);
        emulator.setProcessChannelMode(QProcess::MergedChannels);
        emulator.setStandardInputFile(QProcess::nullDevice());
        emulator.start(emulatorPath, emulatorArguments(port));
        ASSERT_TRUE(emulator.waitForStarted(3000));
        started.start();
    }

    // The first answer of a freshly started emulator; the device is unreachable until it has bound its ports.
    ToolRun waitUntilReachable() const
    {
        QElapsedTimer waited;
        waited.start();
        ToolRun answer = bootCompleted();
        while (answer.status != 0 && waited.elapsed() < 3000) {
            QThread::msleep(20);
            answer = bootCompleted();
        }
        return answer;
    }

    QTemporaryDir dir;
    QString sdk = dir.filePath(QStringLiteral("sdk"));
    QString emulatorPath = sdk + QStringLiteral("/emulator/emulator");
    QString adbPath = sdk + QStringLiteral("/platform-tools/adb");
    QString avdHome = dir.filePath(QStringLiteral("avd"));
    QString content = avdHome + QStringLiteral("/Corvane.avd");
    QString record = dir.filePath(QStringLiteral("calls.log"));
    int bootDelayMs = 700;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    quint16 port = 0;
    QProcess emulator;
    QElapsedTimer started;
};

} // namespace

// One run of the guest the device tests rely on: boot reported only after the delay, one emulator per AVD,
// installs only of readable APKs once booted (and a refusal that still exits 0), a clean console kill.
TEST_F(FakeAndroidToolsTest, BootsInstallsAndEndsLikeTheRealGuest)
{
    write(dir.filePath(QStringLiteral("app.apk")), QByteArray(200000, 'x'));
    write(dir.filePath(QStringLiteral("notes.txt")), "text");
    const auto install = [&](const char *file) {
        return QStringList{QStringLiteral("install"), QStringLiteral("-r"),
                           dir.filePath(QLatin1String(file))};
    };
    startEmulator();
    const ToolRun first = waitUntilReachable();
    ASSERT_EQ(first.status, 0) << first.output.toStdString();
    if (started.elapsed() < bootDelayMs - 200) {
        EXPECT_EQ(first.output, QStringLiteral("\n"));
        EXPECT_EQ(adb(install("app.apk")).status, 1);
    }
    ToolRun answer = first;
    while (answer.output != QStringLiteral("1\n") && started.elapsed() < 4000) {
        EXPECT_EQ(answer.status, 0);
        answer = bootCompleted();
    }
    EXPECT_EQ(answer.output, QStringLiteral("1\n"));
    EXPECT_GE(started.elapsed(), bootDelayMs);

    // One AVD, one emulator: a second copy must not share the disk images.
    const ToolRun second = runEmulator(emulatorArguments(port + 2));
    EXPECT_EQ(second.status, 1);
    EXPECT_TRUE(second.output.contains(QStringLiteral("multiple emulators"))) << second.output.toStdString();

    EXPECT_TRUE(adb(install("no.apk")).output.contains(QStringLiteral("failed to stat")));
    EXPECT_TRUE(adb(install("notes.txt")).output.contains(QStringLiteral("INSTALL_FAILED_INVALID_APK")));
    QProcessEnvironment refusing = environment;
    refusing.insert(QStringLiteral("FAKE_ADB_INSTALL_REFUSE"), QStringLiteral("1"));
    const ToolRun refused = adb(install("app.apk"), refusing);
    EXPECT_EQ(refused.status, 0);
    EXPECT_TRUE(refused.output.contains(QStringLiteral("Failure [INSTALL_FAILED_VERSION_DOWNGRADE]")));
    const ToolRun installed = adb(install("app.apk"));
    EXPECT_EQ(installed.status, 0);
    EXPECT_EQ(installed.output, QStringLiteral("Performing Streamed Install\nSuccess\n"));

    const ToolRun kill = adb({QStringLiteral("emu"), QStringLiteral("kill")});
    EXPECT_EQ(kill.output, QStringLiteral("OK: killing emulator, bye bye\n"));
    ASSERT_TRUE(emulator.waitForFinished(3000));
    EXPECT_EQ(emulator.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(emulator.exitCode(), 0);
    EXPECT_TRUE(emulator.readAll().contains("Package app.apk installed (200000 bytes)"));
    EXPECT_FALSE(QFile::exists(content + QStringLiteral("/multiinstance.lock")));
    EXPECT_EQ(bootCompleted().output, QStringLiteral("adb: device 'emulator-%1' not found\n").arg(port));

    // One line per call: the command, then the Android variables.
    QFile file(record);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList launch;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QStringList fields = QString::fromUtf8(line).trimmed().split(u'\t');
        if (launch.isEmpty() && fields.value(0).startsWith(QStringLiteral("emulator "))) {
            launch = fields;
        }
    }
    EXPECT_EQ(launch.value(0), QStringLiteral("emulator ") + emulatorArguments(port).join(u' '));
    EXPECT_TRUE(launch.contains(QStringLiteral("ANDROID_AVD_HOME=") + avdHome));
}

// Refusals the launcher's mistakes must run into: a taken port, a flag the emulator lacks, a missing AVD,
// an adb call without the launcher's own server port.
TEST_F(FakeAndroidToolsTest, RefusesTakenPortsUnknownFlagsMissingAvdsAndForeignServers)
{
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, port + 1));
    EXPECT_TRUE(
        runEmulator(emulatorArguments(port)).output.contains(QStringLiteral("ADB port %1").arg(port + 1)));
    squatter.close();
    QStringList unknown = emulatorArguments(port);
    unknown.insert(4, QStringLiteral("-turbo"));
    EXPECT_EQ(runEmulator(unknown).status, 1);
    QFile::remove(content + QStringLiteral("/config.ini"));
    EXPECT_TRUE(
        runEmulator(emulatorArguments(port)).output.startsWith(QStringLiteral("PANIC: Unknown AVD name")));
    EXPECT_EQ(run(adbPath, {QStringLiteral("start-server")}, environment).status, 1);
}

// The knobs the stop and crash tests lean on: without them those tests would pass against any stop logic.
TEST_F(FakeAndroidToolsTest, StubbornEmulatorOutlivesSigtermAndCrashingOneKeepsItsLock)
{
    environment.insert(QStringLiteral("FAKE_EMULATOR_IGNORE_SIGTERM"), QStringLiteral("1"));
    environment.insert(QStringLiteral("FAKE_EMULATOR_IGNORE_KILL"), QStringLiteral("1"));
    startEmulator();
    ASSERT_EQ(waitUntilReachable().status, 0);
    EXPECT_EQ(adb({QStringLiteral("emu"), QStringLiteral("kill")}).status, 0);
    emulator.terminate();
    EXPECT_FALSE(emulator.waitForFinished(400)) << emulator.readAll().toStdString();
    emulator.kill();
    ASSERT_TRUE(emulator.waitForFinished(3000));

    QFile::remove(content + QStringLiteral("/multiinstance.lock"));
    environment.insert(QStringLiteral("FAKE_EMULATOR_EXIT_AFTER_MS"), QStringLiteral("300"));
    environment.insert(QStringLiteral("FAKE_EMULATOR_EXIT_STATUS"), QStringLiteral("3"));
    startEmulator();
    ASSERT_TRUE(emulator.waitForFinished(3000));
    EXPECT_EQ(emulator.exitCode(), 3);
    EXPECT_TRUE(QFile::exists(content + QStringLiteral("/multiinstance.lock")));
}

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

    void expectRunning(int forMs)
    {
        EXPECT_FALSE(emulator.waitForFinished(forMs)) << emulator.readAll().toStdString();
        EXPECT_EQ(emulator.state(), QProcess::Running);
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

TEST_F(FakeAndroidToolsTest, ReportsBootOnlyAfterTheDelayAndEndsCleanlyOnConsoleKill)
{
    startEmulator();
    const ToolRun first = waitUntilReachable();
    ASSERT_EQ(first.status, 0) << first.output.toStdString();
    if (started.elapsed() < bootDelayMs - 200) {
        EXPECT_EQ(first.output, QStringLiteral("\n"));
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

    const ToolRun kill = adb({QStringLiteral("emu"), QStringLiteral("kill")});
    EXPECT_EQ(kill.status, 0);
    EXPECT_EQ(kill.output, QStringLiteral("OK: killing emulator, bye bye\n"));
    ASSERT_TRUE(emulator.waitForFinished(3000));
    EXPECT_EQ(emulator.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(emulator.exitCode(), 0);
    const QString log = QString::fromUtf8(emulator.readAll());
    EXPECT_TRUE(log.contains(QStringLiteral("Saving state on exit"))) << log.toStdString();
    EXPECT_FALSE(QFile::exists(content + QStringLiteral("/multiinstance.lock")));

    const ToolRun gone = bootCompleted();
    EXPECT_EQ(gone.status, 1);
    EXPECT_EQ(gone.output, QStringLiteral("adb: device 'emulator-%1' not found\n").arg(port));

    // One line per call: the command, then the Android variables. The adb polls may race the
    // emulator's own start-up line, so look for each kind rather than at a fixed position.
    QFile file(record);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList launch;
    bool adbRecorded = false;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QStringList fields = QString::fromUtf8(line).trimmed().split(u'\t');
        if (launch.isEmpty() && fields.value(0).startsWith(QStringLiteral("emulator "))) {
            launch = fields;
        }
        adbRecorded = adbRecorded || fields.value(0).startsWith(QStringLiteral("adb -P 5038 -s emulator-"));
    }
    EXPECT_EQ(launch.value(0), QStringLiteral("emulator ") + emulatorArguments(port).join(u' '));
    EXPECT_TRUE(launch.contains(QStringLiteral("ANDROID_AVD_HOME=") + avdHome));
    EXPECT_TRUE(launch.contains(QStringLiteral("ANDROID_ADB_SERVER_PORT=5038")));
    EXPECT_TRUE(adbRecorded);
}

TEST_F(FakeAndroidToolsTest, InstallsOnlyReadableApksIntoABootedGuest)
{
    write(dir.filePath(QStringLiteral("app.apk")), QByteArray(200000, 'x'));
    write(dir.filePath(QStringLiteral("notes.txt")), "text");
    const QStringList installApp{QStringLiteral("install"), QStringLiteral("-r"),
                                 dir.filePath(QStringLiteral("app.apk"))};
    startEmulator();
    ASSERT_EQ(waitUntilReachable().status, 0);
    const ToolRun early = adb(installApp);
    if (started.elapsed() < bootDelayMs) {
        EXPECT_EQ(early.status, 1);
        EXPECT_FALSE(early.output.contains(QStringLiteral("Success"))) << early.output.toStdString();
    }
    while (bootCompleted().output != QStringLiteral("1\n") && started.elapsed() < 4000) {
        QThread::msleep(50);
    }

    const ToolRun missing =
        adb({QStringLiteral("install"), QStringLiteral("-r"), dir.filePath(QStringLiteral("no.apk"))});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.output.contains(QStringLiteral("failed to stat"))) << missing.output.toStdString();
    const ToolRun text =
        adb({QStringLiteral("install"), QStringLiteral("-r"), dir.filePath(QStringLiteral("notes.txt"))});
    EXPECT_EQ(text.status, 1);
    EXPECT_TRUE(text.output.contains(QStringLiteral("INSTALL_FAILED_INVALID_APK")))
        << text.output.toStdString();

    QProcessEnvironment refusing = environment;
    refusing.insert(QStringLiteral("FAKE_ADB_INSTALL_REFUSE"), QStringLiteral("1"));
    const ToolRun refused = adb(installApp, refusing);
    EXPECT_EQ(refused.status, 0);
    EXPECT_FALSE(refused.output.contains(QStringLiteral("Success")));
    EXPECT_TRUE(refused.output.contains(QStringLiteral("Failure [INSTALL_FAILED_VERSION_DOWNGRADE]")));

    const ToolRun installed = adb(installApp);
    EXPECT_EQ(installed.status, 0);
    EXPECT_EQ(installed.output, QStringLiteral("Performing Streamed Install\nSuccess\n"));
    EXPECT_EQ(adb({QStringLiteral("emu"), QStringLiteral("kill")}).status, 0);
    ASSERT_TRUE(emulator.waitForFinished(3000));
    EXPECT_TRUE(emulator.readAll().contains("Package app.apk installed (200000 bytes)"));
}

TEST_F(FakeAndroidToolsTest, RefusesBadAvdsTakenPortsBadArgumentsAndForeignServers)
{
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, port + 1));
    const ToolRun taken = runEmulator(emulatorArguments(port));
    EXPECT_EQ(taken.status, 1);
    EXPECT_TRUE(taken.output.contains(QStringLiteral("ADB port %1").arg(port + 1)))
        << taken.output.toStdString();
    squatter.close();

    QStringList unknown = emulatorArguments(port);
    unknown.insert(4, QStringLiteral("-turbo"));
    EXPECT_EQ(runEmulator(unknown).status, 1);
    EXPECT_EQ(runEmulator(emulatorArguments(port).mid(0, 7)).status, 1); // "-memory" without its value
    EXPECT_EQ(runEmulator(emulatorArguments(port + 1)).status, 1);       // console ports are even

    QFile::remove(content + QStringLiteral("/config.ini"));
    const ToolRun incomplete = runEmulator(emulatorArguments(port));
    EXPECT_EQ(incomplete.status, 1);
    EXPECT_TRUE(incomplete.output.startsWith(QStringLiteral("PANIC: Unknown AVD name [Corvane]")));
    QFile::remove(avdHome + QStringLiteral("/Corvane.ini"));
    EXPECT_EQ(runEmulator(emulatorArguments(port)).status, 1);

    EXPECT_EQ(run(adbPath, {QStringLiteral("-P"), QStringLiteral("5038"), QStringLiteral("start-server")},
                  environment)
                  .status,
              0);
    EXPECT_EQ(run(adbPath, {QStringLiteral("start-server")}, environment).status, 1);
    EXPECT_EQ(run(adbPath, {QStringLiteral("-P"), QStringLiteral("5037"), QStringLiteral("start-server")},
                  environment)
                  .status,
              1);
}

TEST_F(FakeAndroidToolsTest, ProbesAnswerAndReportMissingAcceleration)
{
    const ToolRun accel = runEmulator({QStringLiteral("-accel-check")});
    EXPECT_EQ(accel.status, 0);
    EXPECT_TRUE(accel.output.contains(QStringLiteral("is installed and usable")))
        << accel.output.toStdString();
    QProcessEnvironment noKvm = environment;
    noKvm.insert(QStringLiteral("FAKE_EMULATOR_ACCEL_FAIL"), QStringLiteral("1"));
    EXPECT_EQ(run(emulatorPath, {QStringLiteral("-accel-check")}, noKvm).status, 1);

    EXPECT_EQ(runEmulator({QStringLiteral("-version")}).status, 0);
    const ToolRun version = run(adbPath, {QStringLiteral("version")}, environment);
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.output.startsWith(QStringLiteral("Android Debug Bridge version 1.0.41\n")));
}

TEST_F(FakeAndroidToolsTest, StubbornEmulatorNeedsSigkillWhileAnOrdinaryOneDiesOnSigterm)
{
    environment.insert(QStringLiteral("FAKE_EMULATOR_IGNORE_SIGTERM"), QStringLiteral("1"));
    environment.insert(QStringLiteral("FAKE_EMULATOR_IGNORE_KILL"), QStringLiteral("1"));
    startEmulator();
    ASSERT_EQ(waitUntilReachable().status, 0);
    const ToolRun kill = adb({QStringLiteral("emu"), QStringLiteral("kill")});
    EXPECT_EQ(kill.status, 0);
    expectRunning(400);
    emulator.terminate();
    expectRunning(400);
    emulator.kill();
    ASSERT_TRUE(emulator.waitForFinished(3000));
    EXPECT_EQ(emulator.exitStatus(), QProcess::CrashExit);

    environment.remove(QStringLiteral("FAKE_EMULATOR_IGNORE_SIGTERM"));
    startEmulator();
    ASSERT_EQ(waitUntilReachable().status, 0);
    emulator.terminate();
    ASSERT_TRUE(emulator.waitForFinished(3000));
    EXPECT_TRUE(emulator.exitStatus() == QProcess::CrashExit || emulator.exitCode() != 0);
}

TEST_F(FakeAndroidToolsTest, CrashesOnItsOwnWithTheConfiguredStatus)
{
    environment.insert(QStringLiteral("FAKE_EMULATOR_EXIT_AFTER_MS"), QStringLiteral("300"));
    environment.insert(QStringLiteral("FAKE_EMULATOR_EXIT_STATUS"), QStringLiteral("3"));
    startEmulator();
    ASSERT_TRUE(emulator.waitForFinished(3000));
    EXPECT_EQ(emulator.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(emulator.exitCode(), 3);
    EXPECT_GE(started.elapsed(), 300);
    EXPECT_TRUE(emulator.readAll().contains("FATAL"));
    // Like a real crash, it leaves its lock file for the launcher's copy clean-up to strip.
    EXPECT_TRUE(QFile::exists(content + QStringLiteral("/multiinstance.lock")));
}

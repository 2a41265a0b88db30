// The command-line program's tests: corvanectl runs as a real process on the test's own data root,
// with the emulator and adb stand-ins installed there.
#pragma once

#include "FakeAndroidSdk.h"
#include "TestFiles.h"
#include "Wait.h"
#include "android/VMPaths.h"
#include "platform/Host.h"
#include "services/AppLog.h"
#include "services/InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

struct CtlResult
{
    int status = -1;
    QString out;
    QString err;
};

class CorvanectlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Snapshots clone folders, which needs a copy-on-write volume: there, the data root moves onto it
        // (the child inherits XDG_DATA_HOME, so both processes agree on it).
        savedDataHome = qgetenv("XDG_DATA_HOME");
        if (const QString reflink = qEnvironmentVariable("CORVANE_REFLINK_DIR"); !reflink.isEmpty()) {
            volume = std::make_unique<QTemporaryDir>(reflink + QStringLiteral("/cli-XXXXXX"));
            ASSERT_TRUE(volume->isValid());
            qputenv("XDG_DATA_HOME", volume->path().toUtf8());
        }
        primary = VMPaths(Host::dataRoot());
        QDir(Host::dataRoot()).removeRecursively();
        ASSERT_TRUE(FakeAndroidSdk::install(primary));
        record = Host::dataRoot() + QStringLiteral("/calls.log");
        qputenv("FAKE_ANDROID_RECORD", record.toUtf8());
        qputenv("FAKE_EMULATOR_BOOT_DELAY_MS", "200");
    }

    void TearDown() override
    {
        for (const auto &process : background) {
            if (process->state() != QProcess::NotRunning) {
                process->terminate();
                process->waitForFinished(30000);
            }
        }
        qunsetenv("FAKE_ANDROID_RECORD");
        qunsetenv("FAKE_EMULATOR_BOOT_DELAY_MS");
        qputenv("XDG_DATA_HOME", savedDataHome);
    }

    /** Whether snapshots of a device that has run (and so has files) can be taken here. */
    bool clonesWork() const { return volume != nullptr; }

    static CtlResult ctl(const QStringList &arguments, int timeoutMs = 60000)
    {
        QProcess process;
        process.start(QStringLiteral(CORVANECTL), arguments);
        CtlResult result;
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            result.err = QStringLiteral("timed out");
            return result;
        }
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    /** `corvanectl android start NAME` left running; returns once the device has booted. */
    QProcess &startInForeground(const QString &device)
    {
        auto &process = *background.emplace_back(std::make_unique<QProcess>());
        process.start(QStringLiteral(CORVANECTL),
                      {QStringLiteral("android"), QStringLiteral("start"), device});
        waitUntil(
            [&] {
                process.waitForReadyRead(50);
                errors += QString::fromUtf8(process.readAllStandardError());
                return errors.contains(QStringLiteral("已开机")) || process.state() == QProcess::NotRunning;
            },
            30000);
        return process;
    }

    static QJsonObject listed()
    {
        const CtlResult result = ctl({QStringLiteral("list"), QStringLiteral("--json")});
        EXPECT_EQ(result.status, 0) << result.err.toStdString();
        return QJsonDocument::fromJson(result.out.toUtf8()).object();
    }

    static QJsonObject androidEntry(const QString &id)
    {
        for (const QJsonValue &value : listed().value(QStringLiteral("android")).toArray()) {
            if (value.toObject().value(QStringLiteral("id")).toString() == id) {
                return value.toObject();
            }
        }
        return {};
    }

    static bool lockIsFree(const VMPaths &paths)
    {
        InstanceLock::Attempt probe = InstanceLock::acquire(paths.lockFile());
        const bool free = probe.outcome == InstanceLock::Outcome::Locked;
        InstanceLock::release(probe.descriptor);
        return free;
    }

    int calls(const QString &arguments) const { return androidCalls(record, arguments.split(u' ')); }

    static QString globalLog() { return AppLog::readTail(AppLog::rotationThreshold); }

    std::unique_ptr<QTemporaryDir> volume;
    QByteArray savedDataHome;
    VMPaths primary;
    QString record;
    QString errors;
    std::vector<std::unique_ptr<QProcess>> background;
};

// The command-line program's tests: corvanectl runs as a real process on the test's own data root,
// with the emulator and adb stand-ins installed there.
#pragma once

#include "FakeAndroidSdk.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "Wait.h"
#include "android/VMPaths.h"
#include "platform/Host.h"
#include "services/InstanceLock.h"

#include <QDir>
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
        if (const QString reflink = qEnvironmentVariable("CORVANE_REFLINK_DIR"); !reflink.isEmpty()) {
            volume = std::make_unique<QTemporaryDir>(reflink + QStringLiteral("/cli-XXXXXX"));
            ASSERT_TRUE(volume->isValid());
            dataHome.emplace("XDG_DATA_HOME", volume->path().toUtf8());
        }
        primary = VMPaths(Host::dataRoot());
        QDir(Host::dataRoot()).removeRecursively();
        ASSERT_TRUE(FakeAndroidSdk::install(primary));
        record = Host::dataRoot() + QStringLiteral("/calls.log");
        recording.emplace("FAKE_ANDROID_RECORD", record.toUtf8());
    }

    void TearDown() override
    {
        for (const auto &process : background) {
            if (process->state() != QProcess::NotRunning) {
                process->terminate();
                process->waitForFinished(30000);
            }
        }
    }

    /**
     * Runs corvanectl to its end, which must come with `status`, while this process's event loop keeps
     * serving (a download, a model).
     */
    static CtlResult ctl(const QStringList &arguments, int status = 0)
    {
        QProcess process;
        process.start(QStringLiteral(CORVANECTL), arguments);
        CtlResult result;
        if (!waitUntil([&] { return process.state() == QProcess::NotRunning; }, 60000)) {
            process.kill();
            process.waitForFinished();
            result.err = QStringLiteral("timed out");
        } else {
            result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
            result.out = QString::fromUtf8(process.readAllStandardOutput());
            result.err = QString::fromUtf8(process.readAllStandardError());
        }
        EXPECT_EQ(result.status, status)
            << arguments.join(u' ').toStdString() << ": " << result.err.toStdString();
        return result;
    }

    /** Arguments written as one line, split at spaces. */
    static QStringList words(const QString &line) { return line.split(u' ', Qt::SkipEmptyParts); }
    static CtlResult run(const QString &line, int status = 0) { return ctl(words(line), status); }

    /** corvanectl left running with `arguments`; returns once its messages say `ready` or it ended. */
    QProcess &startInBackground(const QStringList &arguments, const QString &ready)
    {
        errors.clear();
        auto &process = *background.emplace_back(std::make_unique<QProcess>());
        process.start(QStringLiteral(CORVANECTL), arguments);
        readErrorsUntil(process, ready);
        return process;
    }

    /**
     * Whether `process` ends of itself with status 0 within 30 s; it may already have, while `ctl` kept
     * the event loop going.
     */
    static bool endsCleanly(QProcess &process)
    {
        return waitUntil([&] { return process.state() == QProcess::NotRunning; }, 30000) &&
               process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    void readErrorsUntil(QProcess &process, const QString &text)
    {
        waitUntil(
            [&] {
                process.waitForReadyRead(50);
                errors += QString::fromUtf8(process.readAllStandardError());
                return errors.contains(text) || process.state() == QProcess::NotRunning;
            },
            60000);
    }

    /** Each run of corvanectl with these arguments ends with this status and says this on stderr. */
    static void expectRefusals(const QList<std::tuple<QStringList, int, QString>> &cases)
    {
        for (const auto &[arguments, status, message] : cases) {
            const CtlResult result = ctl(arguments, status);
            EXPECT_TRUE(result.err.contains(message))
                << arguments.join(u' ').toStdString() << ": " << result.err.toStdString();
            EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
        }
    }

    static QJsonObject listed()
    {
        return QJsonDocument::fromJson(run(QStringLiteral("list --json")).out.toUtf8()).object();
    }

    static QJsonObject androidEntry(const QString &id = QStringLiteral("primary"))
    {
        for (const QJsonValue &value : listed().value(QStringLiteral("android")).toArray()) {
            if (value.toObject().value(QStringLiteral("id")).toString() == id) {
                return value.toObject();
            }
        }
        return {};
    }

    static bool lockIsFree(const QString &lockFile) { return InstanceLock::tryTake(lockFile).has_value(); }

    int calls(const QString &arguments) const { return androidCalls(record, arguments.split(u' ')); }

    std::unique_ptr<QTemporaryDir> volume;
    std::optional<ScopedEnv> dataHome;
    std::optional<ScopedEnv> recording;
    const ScopedEnv bootDelay{"FAKE_EMULATOR_BOOT_DELAY_MS", "200"};
    VMPaths primary;
    QString record;
    QString errors;
    std::vector<std::unique_ptr<QProcess>> background;
};

// The Android device tests' shared ground: a model on fake SDK tools, and what they recorded.
#pragma once

#include "Await.h"
#include "FakeAndroidSdk.h"
#include "FakeHost.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "Wait.h"
#include "android/VMModel.h"
#include "services/InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace std::chrono_literals;

/** An environment variable set for the duration of a test; the emulator and adb inherit it. */
class VMModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        LogProbe::reset();
        host.capacity = qint64(100) << 30;
        ASSERT_TRUE(FakeAndroidSdk::install(paths));
        record = dir.filePath(QStringLiteral("calls.log"));
        qputenv("FAKE_ANDROID_RECORD", record.toUtf8());
        qputenv("FAKE_EMULATOR_BOOT_DELAY_MS", "200");
    }

    void TearDown() override
    {
        for (VMModel *model : models) {
            stopAndWait(*model);
        }
        qunsetenv("FAKE_ANDROID_RECORD");
        qunsetenv("FAKE_EMULATOR_BOOT_DELAY_MS");
    }

    /** What the devices device() makes are made with: quick polls. */
    static VMModel::Timing quickTiming()
    {
        VMModel::Timing quick;
        quick.bootPollInterval = 50ms;
        quick.stopPollInterval = 20ms;
        quick.forceQuitPollInterval = 20ms;
        return quick;
    }
    VMModel::Timing timing = quickTiming();

    VMModel &device(const QString &root = {}, const QString &id = QStringLiteral("primary"))
    {
        VMModel::Options options;
        options.timing = timing;
        auto *model = new VMModel(root.isEmpty() ? paths : VMPaths(root, paths.root()), id,
                                  QStringLiteral("安卓 1"), options);
        owned.emplace_back(model);
        models.push_back(model);
        return *model;
    }

    /** Deletes a device the way the fleet does, while the test's other devices go on. */
    void destroy(VMModel &model)
    {
        std::erase(models, &model);
        std::erase_if(owned, [&](const std::unique_ptr<VMModel> &held) { return held.get() == &model; });
    }

    static void stopAndWait(VMModel &model)
    {
        if (model.running()) {
            await(model.stop());
        }
        waitUntil([&] { return !model.running() && !model.busy(); }, 15000);
    }

    static bool waitForStatus(VMModel &model, const QString &status, int ms = 10000)
    {
        return waitUntil([&] { return model.status() == status; }, ms);
    }

    /** How many recorded emulator and adb runs had these arguments, in this order, among theirs. */
    int calls(const QStringList &arguments) const { return androidCalls(record, arguments); }

    static bool lockIsFree(const VMPaths &paths)
    {
        QDir().mkpath(paths.root());
        InstanceLock::Attempt probe = InstanceLock::acquire(paths.lockFile());
        const bool free = probe.outcome == InstanceLock::Outcome::Locked;
        InstanceLock::release(probe.descriptor);
        return free;
    }

    FakeHost host{8, 16 * FakeHost::GiB};
    QTemporaryDir dir;
    VMPaths paths{dir.filePath(QStringLiteral("CorvaneBeta"))};
    QString record;
    std::vector<std::unique_ptr<VMModel>> owned;
    std::vector<VMModel *> models;
};

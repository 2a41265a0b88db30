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
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace std::chrono_literals;

class VMModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FakeAndroidSdk::install(paths));
        // What the devices device() makes are made with: quick polls.
        timing.bootPollInterval = 50ms;
        timing.stopPollInterval = 20ms;
        timing.forceQuitPollInterval = 20ms;
    }

    void TearDown() override
    {
        for (const std::unique_ptr<VMModel> &model : owned) {
            stopAndWait(*model);
        }
    }

    VMModel::Timing timing;

    VMModel &device(const QString &root = {}, const QString &id = QStringLiteral("primary"))
    {
        VMModel::Options options;
        options.timing = timing;
        return *owned.emplace_back(std::make_unique<VMModel>(
            root.isEmpty() ? paths : VMPaths(root, paths.root()), id, QStringLiteral("安卓 1"), options));
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
        return InstanceLock::tryTake(paths.lockFile()).has_value();
    }

    FakeHost host{8, 16 * FakeHost::GiB};
    QTemporaryDir dir;
    VMPaths paths{dir.filePath(QStringLiteral("CorvaneBeta"))};
    QString record = dir.filePath(QStringLiteral("calls.log"));
    // The emulator and adb inherit these.
    const ScopedEnv recording{"FAKE_ANDROID_RECORD", record.toUtf8()};
    const ScopedEnv bootDelay{"FAKE_EMULATOR_BOOT_DELAY_MS", "200"};
    std::vector<std::unique_ptr<VMModel>> owned;
};

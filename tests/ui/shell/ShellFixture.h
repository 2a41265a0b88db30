#pragma once

#include "../../linux/FakeEngine.h"
#include "Await.h"
#include "FakeAndroidSdk.h"
#include "FakeHost.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "linux/LinuxModel.h"
#include "preferences/AppPreferences.h"
#include "ui/shell/CorvaneApp.h"

#include <QDir>
#include <QSettings>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

/** The whole application over the fake Linux engine and the emulator stand-ins, in a sandboxed home. */
class ShellTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        if (app) {
            for (VMModel *device : app->fleet().models()) {
                if (device->running()) {
                    await(device->stop());
                }
            }
            if (app->linux().running()) {
                await(app->linux().forceStop());
            }
        }
        app.reset();
        QDir(Host::dataRoot()).removeRecursively();
    }

    /** Quick polls for the Android devices. */
    static CorvaneApp::Options quick()
    {
        CorvaneApp::Options options;
        options.android.bootPollInterval = std::chrono::milliseconds(50);
        options.android.stopPollInterval = std::chrono::milliseconds(20);
        return options;
    }

    CorvaneApp &launch(CorvaneApp::Options options = quick())
    {
        auto fake = std::make_unique<FakeEngine>();
        engine = fake.get();
        app = std::make_unique<CorvaneApp>(std::move(fake), std::move(options));
        app->show();
        return *app;
    }

    /** Makes the first Android device startable with the emulator and adb stand-ins. */
    static VMModel &installedDevice(CorvaneApp &corvane, qint64 memoryMB)
    {
        EXPECT_TRUE(FakeAndroidSdk::install(corvane.fleet().shared()));
        VMModel *device = corvane.fleet().models().first();
        device->refreshInstalled();
        VMConfiguration configuration = device->configuration();
        configuration.memoryMB = memoryMB;
        device->setConfiguration(configuration);
        device->save();
        return *device;
    }

    /** Points the Linux machine at a usable installer image and starts it. */
    static QCoro::Task<> startLinuxTask(CorvaneApp *corvane, qint64 memoryGB)
    {
        const QString iso = makeSparseFile(Host::dataRoot() + QStringLiteral("/debian-arm64.iso"), 2 << 20);
        LinuxConfiguration configuration = corvane->linux().configuration();
        configuration.isoPath = iso;
        configuration.memoryGB = memoryGB;
        corvane->linux().setConfiguration(configuration);
        co_await corvane->linux().start();
    }

    FakeHost host{8, 12 * FakeHost::GiB};
    const ScopedEnv bootDelay{"FAKE_EMULATOR_BOOT_DELAY_MS", "100"};
    std::unique_ptr<QSettings> preferences = AppPreferences::openStore();
    FakeEngine *engine = nullptr;
    std::unique_ptr<CorvaneApp> app;
};

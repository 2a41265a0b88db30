#pragma once

#include "../../linux/FakeEngine.h"
#include "FakeHost.h"
#include "FakeInteraction.h"
#include "TestFiles.h"
#include "Wait.h"
#include "WidgetFinder.h"

#include "linux/LinuxModel.h"
#include "ui/linux/LinuxView.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

/** A fake machine whose screen is served at `endpoint` while it runs. */
class ScreenMachine : public FakeMachine
{
public:
    using FakeMachine::FakeMachine;
    QString endpoint;
    QString displayEndpoint() const override { return isRunning ? endpoint : QString(); }
};

/** The fake engine, making machines whose screen is the test's VNC server. */
class ScreenEngine : public FakeEngine
{
public:
    QString endpoint;

    std::unique_ptr<VirtualMachine> createMachine(const MachineConfiguration &configuration) override
    {
        configurations.append(configuration);
        if (rejection) {
            throw VMFailure(*rejection);
        }
        auto machine = std::make_unique<ScreenMachine>(behaviour);
        machine->endpoint = endpoint;
        machines.append(machine.get());
        return machine;
    }
};

/** The Linux page on a fresh data folder, over the fake engine, shown off-screen. */
class LinuxPageTest : public ::testing::Test
{
protected:
    static constexpr qint64 MiB = qint64(1) << 20;
    static constexpr qint64 GiB = qint64(1) << 30;

    void SetUp() override { host.capacity = 100 * GiB; }
    void TearDown() override
    {
        view.reset();
        model.reset();
    }

    LinuxView &show()
    {
        model = std::make_unique<LinuxModel>(engine, base);
        view = std::make_unique<LinuxView>(*model);
        view->resize(1000, 900);
        view->show();
        return *view;
    }

    /** A sparse file of `size` named `name` in the test's folder. */
    QString file(const QString &name, qint64 size = 2 * MiB)
    {
        return makeSparseFile(dir.filePath(name), size);
    }

    /** Picks `path` in the ISO dialog the page opens. */
    void chooseISO(const QString &path);
    void startRunning();
    void stopByGuest();

    QByteArray settingsOnDisk() const { return readFile(base + QStringLiteral("/linux-configuration.json")); }

    FakeHost host{8, 16 * GiB};
    FakeInteraction interaction;
    ScreenEngine engine;
    QTemporaryDir dir;
    QString base = dir.filePath(QStringLiteral("CorvaneBeta"));
    QString iso = file(QStringLiteral("debian-12.5.0-arm64-netinst.iso"));
    std::unique_ptr<LinuxModel> model;
    std::unique_ptr<LinuxView> view;
};

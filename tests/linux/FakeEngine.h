#pragma once

#include "linux/engine/QemuEngine.h"
#include "platform/Error.h"

#include <QCoroTimer>
#include <QFile>
#include <QPointer>
#include <QThread>

#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>

/** How a fake machine answers; each machine copies its engine's when it is made. */
struct FakeMachineBehaviour
{
    /** Start and stop complete only when the test says so; otherwise at once. */
    bool holdStart = false;
    bool holdStop = false;
    std::optional<QString> startFailure;
    std::optional<QString> stopFailure;
    std::optional<QString> stopRequestRefusal;
    bool acceptsStopRequest = true;
    /** Where the machine's screen is served while it runs; none unless a test serves one. */
    QString displayEndpoint;
};

/** A machine that runs nothing; it counts stop requests and reports stops when the test says. */
class FakeMachine : public VirtualMachine
{
public:
    explicit FakeMachine(FakeMachineBehaviour behaviour)
        : behaviour(std::move(behaviour))
    {}
    ~FakeMachine() override { m_held->alive = false; }

    FakeMachineBehaviour behaviour;
    bool isRunning = false;
    int stopRequests = 0;

    void complete() { m_held->held = false; }
    void reportGuestStop() { Q_EMIT guestDidStop(); }
    void reportError(const QString &description) { Q_EMIT didStopWithError(description); }

    QCoro::Task<> start() override
    {
        co_await wait(m_held, behaviour.holdStart, behaviour.startFailure);
        isRunning = true;
    }
    bool canRequestStop() const override { return isRunning && behaviour.acceptsStopRequest; }
    QCoro::Task<> requestStop() override
    {
        if (behaviour.stopRequestRefusal) {
            throw VMFailure(*behaviour.stopRequestRefusal);
        }
        ++stopRequests;
        co_return;
    }
    bool canStop() const override { return isRunning; }
    QCoro::Task<> stop() override
    {
        co_await wait(m_held, behaviour.holdStop, behaviour.stopFailure);
        isRunning = false;
    }
    QString displayEndpoint() const override { return isRunning ? behaviour.displayEndpoint : QString(); }

private:
    // Shared with a pending wait, which must notice a machine destroyed under it without touching it.
    struct Hold
    {
        bool alive = true;
        bool held = false;
    };

    // Held until the test completes it, then failing if the test says so.
    static QCoro::Task<> wait(std::shared_ptr<Hold> hold, bool held, std::optional<QString> failure)
    {
        hold->held = held;
        while (hold->alive && hold->held) {
            co_await QCoro::sleepFor(std::chrono::milliseconds(2));
        }
        if (!hold->alive) {
            throw VMFailure(QStringLiteral("machine destroyed"));
        }
        if (failure) {
            throw VMFailure(*failure);
        }
    }

    std::shared_ptr<Hold> m_held = std::make_shared<Hold>();
};

/**
 * An engine of FakeMachines that refuses on demand and keeps what it was given; it checks addresses and
 * draws and checks machine identifiers as QEMU's engine does.
 */
class FakeEngine : public QemuEngine
{
public:
    FakeEngine()
        : QemuEngine(QemuInstallation{})
    {}

    bool supported = true;
    std::optional<QString> rejection;
    std::optional<QString> variableStoreFailure;
    FakeMachineBehaviour behaviour;

    QList<MachineConfiguration> configurations;
    QList<QPointer<FakeMachine>> machines;
    mutable int variableStores = 0;
    mutable int addresses = 0;

    FakeMachine *last() const { return machines.isEmpty() ? nullptr : machines.last().data(); }
    /** The machine made last: a test that expected one and got none fails here rather than crashing. */
    FakeMachine &started() const
    {
        if (last() == nullptr) {
            throw std::logic_error("no machine was made, or the last one is gone");
        }
        return *last();
    }

    bool isSupported() const override { return supported; }
    // Nothing to install for a double; QemuEngine's own check is tested with the model in LinuxModelTest.
    void requireInstallation() const override {}
    std::unique_ptr<VirtualMachine> createMachine(const MachineConfiguration &configuration) override
    {
        configurations.append(configuration);
        if (rejection) {
            throw VMFailure(*rejection);
        }
        auto machine = std::make_unique<FakeMachine>(behaviour);
        machines.append(machine.get());
        return machine;
    }
    // Nothing to read ahead: the store is made from nothing.
    void prepareFirstStart() const override {}
    // Numbered rather than random, so that two engines' defaults compare equal.
    QString randomLocallyAdministeredMACAddress() const override
    {
        ++addresses;
        return QString::asprintf("02:00:00:00:%02x:%02x", (addresses >> 8) & 0xff, addresses & 0xff);
    }
    void createEFIVariableStore(const QString &path) const override
    {
        QFile store(path);
        if (variableStoreFailure) {
            throw SystemError(*variableStoreFailure);
        }
        if (!store.open(QIODevice::WriteOnly | QIODevice::NewOnly) || store.write("EFI VARS") != 8) {
            throw SystemError(store.errorString());
        }
        ++variableStores;
        variableStoreThread = QThread::currentThread();
    }
    /** The thread the last variable store was made on. */
    mutable QThread *variableStoreThread = nullptr;
};

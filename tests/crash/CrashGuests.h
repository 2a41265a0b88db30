#pragma once

// The guests whose folders the crash tests kill operations on, as the tests see them.
#include "Await.h"
#include "FakeAndroidSdk.h"
#include "TestFiles.h"
#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "linux/FakeEngine.h"
#include "linux/LinuxModel.h"

#include <gtest/gtest.h>

namespace CrashGuests {

/** One guest kind as the crash tests see it: its live folder, its snapshots and how it loads. */
class Guest
{
public:
    virtual ~Guest() = default;
    /** The driver's name for the guest kind, as in "<name>-snapshot". */
    QString name() const { return platform().toLower(); }
    /** Lays out the guest afresh, the root cleared first, with its live data at `version`. */
    virtual void prepare(const QString &root, const QByteArray &version) = 0;
    /** Replaces the live data with `version`. */
    virtual void setLive(const QString &root, const QByteArray &version) = 0;
    virtual QString source(const QString &root) const = 0;
    virtual QString collection(const QString &root) const = 0;
    /** Loads the guest as the program does at start, which repairs what it finds. */
    void load(const QString &root) { operate(root, QString()); }
    /** Takes a snapshot in-process, so the driver has one to roll back or delete. */
    void snapshot(const QString &root) { ASSERT_EQ(operate(root, QStringLiteral("create")), QString()); }
    virtual QString platform() const = 0;
    /** Loads the guest in this process and runs create, rollback, delete or nothing; returns its error. */
    virtual QString operate(const QString &root, const QString &action) = 0;
    /** The lock a copy of the program holds while the guest is in its hands, and what another is told. */
    virtual QString lockFile(const QString &root) const = 0;
    virtual QString lockMessage() const = 0;
};

/** Runs the snapshot `action` (create, rollback, delete or nothing) on a loaded model; gives its error. */
template<typename Model> QString perform(Model &model, const QString &action)
{
    Outcome<void> outcome{true, std::nullopt};
    if (action == QLatin1String("create")) {
        outcome = await(model.createSnapshot());
    } else if (action == QLatin1String("rollback")) {
        outcome = await(model.rollbackLatestSnapshot());
    } else if (action == QLatin1String("delete")) {
        model.deleteLatestSnapshot();
    }
    return outcome.error.value_or(model.error());
}

class AndroidGuest : public Guest
{
public:
    QString platform() const override { return QStringLiteral("Android"); }
    void prepare(const QString &root, const QByteArray &version) override
    {
        QDir(root).removeRecursively();
        const VMPaths paths(root);
        ASSERT_TRUE(FakeAndroidSdk::install(paths));
        paths.createDirectories();
        {
            VMFleet fleet(root);
            fleet.current()->save();
            paths.configure(fleet.current()->configuration());
        }
        setLive(root, version);
    }
    void setLive(const QString &root, const QByteArray &version) override
    {
        writeFile(source(root) + QStringLiteral("/userdata-qemu.img"), "userdata " + version);
        writeFile(source(root) + QStringLiteral("/data/cache.img"), "cache " + version);
    }
    QString source(const QString &root) const override { return VMPaths(root).avdFolder(); }
    QString collection(const QString &root) const override
    {
        return VMPaths(root).snapshotCollection(QStringLiteral("primary"));
    }
    QString operate(const QString &root, const QString &action) override
    {
        VMFleet fleet(root);
        return perform(*fleet.current(), action);
    }
    QString lockFile(const QString &root) const override { return VMPaths(root).lockFile(); }
    QString lockMessage() const override
    {
        return QStringLiteral("此实例已在另一个窗口运行，请复制实例后多开。");
    }
};

class LinuxGuest : public Guest
{
public:
    QString platform() const override { return QStringLiteral("Linux"); }
    void prepare(const QString &root, const QByteArray &version) override
    {
        QDir(root).removeRecursively();
        const LinuxPaths paths(source(root));
        // One identifier for every preparation, so that runs compare equal.
        static const QByteArray identifier = FakeEngine().createMachineIdentifier();
        writeFile(paths.machineIdentifier(), identifier);
        setLive(root, version);
        FakeEngine engine;
        LinuxModel machine(engine, root);
        // Prepared already, so a start boots from the disk without an installer.
        LinuxConfiguration configuration = machine.configuration();
        configuration.attachISO = false;
        machine.setConfiguration(configuration);
        machine.save();
    }
    void setLive(const QString &root, const QByteArray &version) override
    {
        const LinuxPaths paths(source(root));
        writeFile(paths.disk(), "disk " + version);
        writeFile(paths.efiVariableStore(), "variables " + version);
    }
    QString source(const QString &root) const override { return root + QStringLiteral("/Linux"); }
    QString collection(const QString &root) const override
    {
        return root + QStringLiteral("/snapshots/linux");
    }
    QString operate(const QString &root, const QString &action) override
    {
        FakeEngine engine;
        LinuxModel machine(engine, root);
        return perform(machine, action);
    }
    QString lockFile(const QString &root) const override { return root + QStringLiteral("/linux.lock"); }
    QString lockMessage() const override { return QStringLiteral("Linux 设备正在另一个 App 窗口运行。"); }
};

} // namespace CrashGuests

#pragma once

#include "linux/LinuxConfiguration.h"
#include "linux/LinuxPaths.h"
#include "linux/engine/VirtualMachineEngine.h"
#include "services/FolderSnapshots.h"
#include "services/InstanceLock.h"
#include "services/PropertyField.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

/**
 * The one Linux virtual machine: its settings, its folder, the checks before a start, its lifecycle
 * on the engine, the installer ISO and clone snapshots of its folder. While it runs, an exclusive lock
 * on "linux.lock" keeps another copy of the application from starting the same machine.
 *
 * `busy` covers a start and a forced stop, `snapshotBusy` a snapshot being made or restored; every
 * operation returns silently when a flag forbids it and reports failures through `error`.
 */
class LinuxModel : public QObject, private FolderSnapshots::Guest
{
    Q_OBJECT
    Q_PROPERTY(LinuxConfiguration configuration READ configuration WRITE setConfiguration NOTIFY
                   configurationChanged)
    Q_PROPERTY(bool displayInSeparateWindow READ displayInSeparateWindow WRITE setDisplayInSeparateWindow
                   NOTIFY displayInSeparateWindowChanged)
    Q_PROPERTY(VirtualMachine *machine READ machine NOTIFY machineChanged)
    Q_PROPERTY(bool running READ running NOTIFY runningChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)
    Q_PROPERTY(bool prepared READ prepared NOTIFY preparedChanged)
    Q_PROPERTY(QList<SnapshotRecord> snapshots READ snapshots NOTIFY snapshotsChanged)
    Q_PROPERTY(bool snapshotBusy READ snapshotBusy NOTIFY snapshotBusyChanged)
    Q_PROPERTY(QString snapshotMessage READ snapshotMessage NOTIFY snapshotMessageChanged)

public:
    /** More than this much free space must remain on the data volume for a start. */
    static constexpr qint64 minimumFreeBytes = qint64(5) << 30;

    /** What the machine is made with besides its engine and folder. */
    struct Options
    {
        /** Whether `memoryMB` more fits beside the running Android devices; every start may go ahead without
         * one. */
        std::function<bool(qint64 memoryMB)> canAllocate;
    };

    /** Loads the settings from `root` (the data root when empty); starts nothing. */
    explicit LinuxModel(VirtualMachineEngine &engine, QString root = {}, Options options = {},
                        QObject *parent = nullptr);
    ~LinuxModel() override;

    const LinuxPaths &paths() const { return m_paths; }
    const QString &settingsFile() const { return m_settingsFile; }
    /** "linux.lock": held while the machine runs or its snapshots are made, restored or deleted. */
    QString lockFile() const { return m_base + QStringLiteral("/linux.lock"); }
    /** The lock file's descriptor while the machine holds it, else -1. */
    int lockFD() const { return m_lockFD; }

    const LinuxConfiguration &configuration() const { return m_configuration; }
    /** The settings form edits this; it is stored by save(). */
    void setConfiguration(const LinuxConfiguration &configuration) { m_configuration.set(configuration); }
    bool displayInSeparateWindow() const { return m_displayInSeparateWindow; }
    void setDisplayInSeparateWindow(bool separate) { m_displayInSeparateWindow.set(separate); }
    /** The machine from a start until it stops; nullptr otherwise. */
    VirtualMachine *machine() const { return m_machine.get(); }
    bool running() const { return m_running; }
    bool busy() const { return m_busy; }
    const QString &status() const { return m_status; }
    /** The last failure shown to the user; empty when there is none. */
    const QString &error() const { return m_error; }
    void clearError() { setError(QString()); }
    bool prepared() const { return m_prepared; }
    /** Newest first. */
    const QList<SnapshotRecord> &snapshots() const { return m_snapshots.snapshots(); }
    std::optional<SnapshotRecord> latestSnapshot() const { return m_snapshots.latest(); }
    bool snapshotBusy() const { return m_snapshots.busy(); }
    const QString &snapshotMessage() const { return m_snapshots.message(); }

    /** True when an ISO is chosen and passes LinuxISO::validateFile. */
    bool hasUsableISO() const;

    /** Asks for an installer ISO, checks it and stores it as the one to attach. */
    void chooseISO();
    /** Stores the validated settings; ignored while the machine runs. */
    void save();
    /** Checks, prepares the machine folder on first use, and starts the machine. */
    QCoro::Task<> start();
    /** The page is in view: a start may come soon, so the engine reads ahead what a first one needs. */
    void expectStart() const
    {
        if (!m_prepared) {
            m_engine.prepareFirstStart();
        }
    }
    /** Asks the guest to shut down; its stop arrives later through the engine. */
    void requestStop();
    /** Stops the machine at once; data the guest has written stays. */
    QCoro::Task<> forceStop();
    /** Ends a run: releases the machine and the lock and shows `text`. */
    void finish(const QString &text);

    QCoro::Task<> createSnapshot();
    QCoro::Task<> rollbackLatestSnapshot();
    void deleteLatestSnapshot();
    void refreshSnapshots() { m_snapshots.refresh(); }

Q_SIGNALS:
    void configurationChanged();
    void displayInSeparateWindowChanged();
    void machineChanged();
    void runningChanged();
    void busyChanged();
    void statusChanged();
    void errorChanged();
    void preparedChanged();
    void snapshotsChanged();
    void snapshotBusyChanged();
    void snapshotMessageChanged();

private:
    QCoro::Task<> runChooseISO();
    QCoro::Task<> runRequestStop();
    void adopt(std::unique_ptr<VirtualMachine> machine);
    void releaseMachine();
    void onGuestDidStop(VirtualMachine *machine);
    void onDidStopWithError(VirtualMachine *machine, const QString &description);
    QString snapshotCollection() const;
    void recoverSnapshots();
    /** Re-emits the snapshots' changes as this model's own, and lists them. */
    void loadSnapshots();
    std::optional<FolderSnapshots::Place> snapshotPlace() const override;
    InstanceLock::Held lockForSnapshots() const override;
    QByteArray snapshotSettings() const override;
    bool rolledBack(const SnapshotRecord &record, const std::optional<QByteArray> &kept) override;
    void showSnapshotError(const QString &error) override { setError(error); }

    void setBusy(bool busy);
    void setStatus(const QString &status) { m_status.set(status); }
    void setError(const QString &error) { m_error.set(error); }
    void setPrepared(bool prepared) { m_prepared.set(prepared); }

    VirtualMachineEngine &m_engine;
    const QString m_base;
    const LinuxPaths m_paths;
    const QString m_settingsFile;
    const std::function<bool(qint64 memoryMB)> m_canAllocate;
    int m_lockFD = -1;

    PropertyField<LinuxConfiguration, &LinuxModel::configurationChanged> m_configuration{this};
    PropertyField<bool, &LinuxModel::displayInSeparateWindowChanged> m_displayInSeparateWindow{this};
    std::unique_ptr<VirtualMachine> m_machine;
    /** Machines that ended while a start or stop still awaited them; deleted once it resumes. */
    std::vector<std::unique_ptr<VirtualMachine>> m_retired;
    PropertyField<bool, &LinuxModel::runningChanged> m_running{this};
    PropertyField<bool, &LinuxModel::busyChanged> m_busy{this};
    PropertyField<QString, &LinuxModel::statusChanged> m_status{this};
    PropertyField<QString, &LinuxModel::errorChanged> m_error{this};
    PropertyField<bool, &LinuxModel::preparedChanged> m_prepared{this};
    /** The snapshots of the machine's folder, with this machine as their guest. */
    FolderSnapshots m_snapshots{*this, QStringLiteral("Linux")};
};

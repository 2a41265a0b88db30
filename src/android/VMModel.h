#pragma once

#include "android/ComponentInstallation.h"
#include "android/VMConfiguration.h"
#include "android/VMPaths.h"
#include "android/VMTiming.h"
#include "services/FolderSnapshots.h"
#include "services/PropertyField.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QProcess;

/**
 * One Android device: its folder, its hardware settings and at most one running emulator. Starts the
 * emulator on a free port pair under an exclusive lock on the device folder, watches it until Android
 * has booted, stops it with escalation, installs APKs and keeps file-level snapshots of its AVD. Its
 * component installation, which the first start needs, is an object of its own: installation().
 */
class VMModel : public QObject, private FolderSnapshots::Guest
{
    Q_OBJECT
    Q_PROPERTY(
        VMConfiguration configuration READ configuration WRITE setConfiguration NOTIFY configurationChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(QString detail READ detail NOTIFY detailChanged)
    Q_PROPERTY(bool installed READ installed NOTIFY installedChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(bool running READ running NOTIFY runningChanged)
    Q_PROPERTY(bool booted READ booted NOTIFY bootedChanged)
    Q_PROPERTY(bool stopping READ stopping NOTIFY stoppingChanged)
    Q_PROPERTY(bool forceQuitting READ forceQuitting NOTIFY forceQuittingChanged)
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)
    Q_PROPERTY(QString logText READ logText NOTIFY logTextChanged)
    Q_PROPERTY(QList<SnapshotRecord> snapshots READ snapshots NOTIFY snapshotsChanged)
    Q_PROPERTY(bool snapshotBusy READ snapshotBusy NOTIFY snapshotBusyChanged)
    Q_PROPERTY(QString snapshotMessage READ snapshotMessage NOTIFY snapshotMessageChanged)
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)

public:
    using Timing = VMTiming;

    /** What a device is made with besides its folder, id and name; tests choose these. */
    struct Options
    {
        /** The component manifest; SDKPackage::activeManifest() when none. */
        std::optional<QByteArray> manifest;
        Timing timing;
        /**
         * Asked at every start: the memory-budget check of the fleet that makes the device. It sets the
         * device's `error` itself when it refuses. Without one every start may go ahead.
         */
        std::function<bool(VMModel &device)> canStart;
    };

    /** More than this much free space must remain on the device's volume for a start. */
    static constexpr qint64 minimumFreeBytes = qint64(3) << 30;

    VMModel(VMPaths paths, QString id, QString name, Options options = {}, QObject *parent = nullptr);
    ~VMModel() override;

    const VMPaths &paths() const { return m_paths; }
    const QString &id() const { return m_id; }

    const VMConfiguration &configuration() const { return m_configuration; }
    /** The settings form edits this; it is stored by save(). */
    void setConfiguration(const VMConfiguration &configuration) { m_configuration.set(configuration); }
    const QString &status() const { return m_status; }
    const QString &detail() const { return m_detail; }
    bool installed() const { return m_installed; }
    bool busy() const { return m_busy; }
    bool running() const { return m_running; }
    bool booted() const { return m_booted; }
    bool stopping() const { return m_stopping; }
    bool forceQuitting() const { return m_forceQuitting; }
    const QString &error() const { return m_error; }
    void clearError() { setError(QString()); }
    const QString &logText() const { return m_logText; }
    const QList<SnapshotRecord> &snapshots() const { return m_snapshots.snapshots(); }
    std::optional<SnapshotRecord> latestSnapshot() const { return m_snapshots.latest(); }
    bool snapshotBusy() const { return m_snapshots.busy(); }
    const QString &snapshotMessage() const { return m_snapshots.message(); }
    const QString &name() const { return m_name; }
    /** The name field edits this; saveName() trims and stores it. */
    void setName(const QString &name) { m_name.set(name); }

    ComponentInstallation &installation() { return m_installation; }

    int port() const { return m_port; }
    int instanceLock() const { return m_instanceLock; }
    qint64 processId() const;

    /** The check every start asks; empty when the device was made without one. */
    const std::function<bool(VMModel &device)> &startCheck() const { return m_canStart; }

    /** Whether `port` (the device's own when omitted) and the next port can be bound on 127.0.0.1. */
    bool portsAvailable(std::optional<int> port = std::nullopt) const;

    /** Claims a port and the lock, then starts the emulator in the background. */
    void start();
    /** Asks the emulator to shut down, escalating to SIGTERM and SIGKILL; returns once it has ended. */
    QCoro::Task<> stop();
    QCoro::Task<> forceQuit();
    /** Asks for an APK and installs it into the booted device. */
    void installAPK();
    void save();
    void saveName();
    void refreshLog();

    QCoro::Task<> createSnapshot();
    QCoro::Task<> rollbackLatestSnapshot();
    void deleteLatestSnapshot();
    void refreshSnapshots() { m_snapshots.refresh(); }
    /** The folder that holds this device's snapshots (it exists once the first one is taken). */
    QString snapshotCollection() const;

    /** Runs the shared adb against this device's emulator and returns its output. */
    QCoro::Task<QString> adb(QStringList arguments, double timeoutSeconds);

    /** Set by the fleet while it copies or deletes this device, and by the component installation. */
    void setBusy(bool busy) { m_busy.set(busy); }
    void setError(const QString &error) { m_error.set(error); }
    /** The component installation reports its steps here. */
    void setStatus(const QString &status) { m_status.set(status); }
    void setDetail(const QString &detail) { m_detail.set(detail); }
    /** Reads the installation state from disk again. */
    void refreshInstalled();

Q_SIGNALS:
    void configurationChanged();
    void statusChanged();
    void detailChanged();
    void installedChanged();
    void busyChanged();
    void runningChanged();
    void bootedChanged();
    void stoppingChanged();
    void forceQuittingChanged();
    void errorChanged();
    void logTextChanged();
    void snapshotsChanged();
    void snapshotBusyChanged();
    void snapshotMessageChanged();
    void nameChanged();

private:
    QCoro::Task<> runStart();
    QCoro::Task<> monitorBoot(std::shared_ptr<bool> cancelled);
    QCoro::Task<> runInstallAPK();
    void onProcessFinished(QProcess *process, int exitCode, bool crashed);
    /** Shows how an emulator of this device ended; `requested` when a stop asked for it. */
    void reportEnd(int exitCode, bool crashed, bool requested);
    void cancelBootMonitor();
    void releaseClaim();
    /** Re-emits the snapshots' changes as this model's own, and lists them. */
    void loadSnapshots();
    std::optional<FolderSnapshots::Place> snapshotPlace() const override;
    InstanceLock::Held lockForSnapshots() const override;
    QByteArray snapshotSettings() const override;
    bool rolledBack(const SnapshotRecord &record, const std::optional<QByteArray> &kept) override;
    void showSnapshotError(const QString &error) override { setError(error); }

    const VMPaths m_paths;
    const QString m_id;
    const Timing m_timing;
    const std::function<bool(VMModel &device)> m_canStart;
    PropertyField<VMConfiguration, &VMModel::configurationChanged> m_configuration{this};
    PropertyField<QString, &VMModel::statusChanged> m_status{this};
    PropertyField<QString, &VMModel::detailChanged> m_detail{this};
    PropertyField<bool, &VMModel::installedChanged> m_installed{this};
    PropertyField<bool, &VMModel::busyChanged> m_busy{this};
    PropertyField<bool, &VMModel::runningChanged> m_running{this};
    PropertyField<bool, &VMModel::bootedChanged> m_booted{this};
    PropertyField<bool, &VMModel::stoppingChanged> m_stopping{this};
    PropertyField<bool, &VMModel::forceQuittingChanged> m_forceQuitting{this};
    PropertyField<QString, &VMModel::errorChanged> m_error{this};
    PropertyField<QString, &VMModel::logTextChanged> m_logText{this};
    PropertyField<QString, &VMModel::nameChanged> m_name{this};

    int m_port = 5580;
    int m_instanceLock = -1;
    QPointer<QProcess> m_process;
    std::shared_ptr<bool> m_bootCancelled;
    ComponentInstallation m_installation;
    /** The snapshots of the AVD folder, with this device as their guest. */
    FolderSnapshots m_snapshots{*this, QStringLiteral("Android")};
};

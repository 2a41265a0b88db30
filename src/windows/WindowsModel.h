#pragma once

#include "platform/Host.h"
#include "services/FolderSnapshots.h"
#include "services/PropertyField.h"
#include "windows/WindowsConfiguration.h"
#include "windows/WindowsPreparation.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

/** How a WindowsModel looks into ISOs and whether it may build and open machines; tests choose these. */
struct WindowsModelOptions
{
    /** How ISOs are looked into. */
    WindowsPreparation::Inspection inspection;
    /**
     * Whether UTM exists for this system at all. It is made for macOS alone: elsewhere an ISO is
     * checked and an existing bundle associated and snapshotted, but no machine is built or opened here.
     */
    bool utmSupported = Host::utmSupported();
};

/**
 * The Windows machine, which runs in UTM rather than here: checks the installation ISO, builds a UTM
 * bundle from it, associates an existing bundle, asks UTM to open it and keeps snapshots of it.
 */
class WindowsModel : public QObject, private FolderSnapshots::Guest
{
    Q_OBJECT
    Q_PROPERTY(WindowsConfiguration configuration READ configuration WRITE setConfiguration NOTIFY
                   configurationChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(bool confirmedARM READ confirmedARM NOTIFY confirmedARMChanged)
    Q_PROPERTY(QString preparation READ preparation NOTIFY preparationChanged)
    Q_PROPERTY(QString isoCheck READ isoCheck NOTIFY isoCheckChanged)
    Q_PROPERTY(QString message READ message NOTIFY messageChanged)
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)
    Q_PROPERTY(QList<SnapshotRecord> snapshots READ snapshots NOTIFY snapshotsChanged)
    Q_PROPERTY(QString snapshotMessage READ snapshotMessage NOTIFY snapshotMessageChanged)

public:
    static inline const QString utmBundleIdentifier = QStringLiteral("com.utmapp.UTM");

    using Options = WindowsModelOptions;

    /** Reads windows-configuration.json in `dataRoot` and lists the snapshots of the associated bundle. */
    explicit WindowsModel(QString dataRoot, Options options = {}, QObject *parent = nullptr);

    const WindowsConfiguration &configuration() const { return m_configuration; }
    /** The hardware settings on the Windows screen edit this; save() stores it. */
    void setConfiguration(const WindowsConfiguration &configuration) { m_configuration.set(configuration); }
    bool busy() const { return m_busy; }
    bool confirmedARM() const { return m_confirmedARM; }
    const QString &preparation() const { return m_preparation; }
    const QString &isoCheck() const { return m_isoCheck; }
    const QString &message() const { return m_message; }
    /** The last failure; empty when there is none. */
    const QString &error() const { return m_error; }
    void clearError() { setError(QString()); }
    const QList<SnapshotRecord> &snapshots() const { return m_snapshots.snapshots(); }
    const QString &snapshotMessage() const { return m_snapshots.message(); }

    const QString &settingsFile() const { return m_settings; }
    /** The associated bundle, or nothing. */
    std::optional<QString> projectPath() const;
    /** Where the bundle's snapshots live: ".Corvane Snapshots/<bundle name>" beside it. */
    std::optional<QString> snapshotCollection() const;
    std::optional<SnapshotRecord> latestSnapshot() const { return m_snapshots.latest(); }

    /** Whether UTM exists for this system (see WindowsModelOptions). */
    bool utmSupported() const { return m_options.utmSupported; }

    void save();
    void refreshPreparation();
    void refreshSnapshots() { m_snapshots.refresh(); }

    /** Asks for an ISO file and checks it. */
    QCoro::Task<> chooseISO();
    /** Selects `iso` and checks it; the outcome shows in isoCheck, confirmedARM and error. */
    QCoro::Task<> useISO(QString iso);
    /** Checks the single ISO in the Downloads folder, or lets the user pick among several. */
    QCoro::Task<> findDownloadedISO();

    /** Builds a new bundle from the checked ISO at a place the user picks, then opens it in UTM. */
    QCoro::Task<> create();
    /** Asks UTM to open the associated bundle. */
    void openProject();
    /** Associates an existing bundle the user picks. */
    QCoro::Task<> chooseProject();

    QCoro::Task<> createSnapshot();
    QCoro::Task<> rollbackLatestSnapshot();
    void deleteLatestSnapshot();

Q_SIGNALS:
    void configurationChanged();
    void busyChanged();
    void confirmedARMChanged();
    void preparationChanged();
    void isoCheckChanged();
    void messageChanged();
    void errorChanged();
    void snapshotsChanged();
    void snapshotMessageChanged();

private:
    /** Repairs what an interrupted snapshot operation left beside the associated bundle. */
    void recoverSnapshots();
    /** Re-emits the snapshots' changes as this model's own (their work counts as `busy`), and lists them. */
    void loadSnapshots();
    std::optional<FolderSnapshots::Place> snapshotPlace() const override;
    InstanceLock::Held lockForSnapshots() const override;
    QByteArray snapshotSettings() const override;
    bool rolledBack(const SnapshotRecord &record, const std::optional<QByteArray> &kept) override;
    void showSnapshotError(const QString &error) override { setError(error); }
    QCoro::Task<> build(QString firmware, QString iso, WindowsConfiguration configuration, QString target);
    /** UTM's application folder, or empty when UTM is not installed. */
    static QString utmPath();
    static bool hasConfiguration(const QString &bundle);

    void setBusy(bool busy) { m_busy.set(busy); }
    void setMessage(const QString &message) { m_message.set(message); }
    void setError(const QString &error) { m_error.set(error); }

    const Options m_options;
    const QString m_settings;
    PropertyField<WindowsConfiguration, &WindowsModel::configurationChanged> m_configuration{this};
    PropertyField<bool, &WindowsModel::busyChanged> m_busy{this};
    PropertyField<bool, &WindowsModel::confirmedARMChanged> m_confirmedARM{this};
    PropertyField<QString, &WindowsModel::preparationChanged> m_preparation{this};
    PropertyField<QString, &WindowsModel::isoCheckChanged> m_isoCheck{this};
    PropertyField<QString, &WindowsModel::messageChanged> m_message{this};
    PropertyField<QString, &WindowsModel::errorChanged> m_error{this};
    /** The snapshots of the associated bundle, with this model as their guest. */
    FolderSnapshots m_snapshots{*this, QStringLiteral("Windows")};
};

#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

struct VMConfiguration;

/**
 * Where one Android device keeps its files, where the shared Android SDK lives, and the
 * environment the Android tools run in. Devices share one AVD name and are told apart only by
 * their own AVD and emulator homes, so every path here is derived from the two roots.
 */
class VMPaths
{
public:
    /** The adb server port every device shares, kept away from a user's own server on 5037. */
    static constexpr int adbServerPort = 5038;

    /**
     * An empty `root` means the data root; an empty `sharedRoot` means `root` (the first device
     * keeps the SDK in its own folder, added devices share the first one's).
     */
    explicit VMPaths(const QString &root = {}, const QString &sharedRoot = {});

    const QString &root() const { return m_root; }
    const QString &sharedRoot() const { return m_sharedRoot; }

    QString configurationFile() const;
    QString instanceNameFile() const;
    QString lockFile() const;
    QString emulatorLog() const;
    QString licenseRecord() const;
    QString avdHome() const;
    QString avdIni() const;
    QString avdFolder() const;
    QString configIni() const;
    QString emulatorHome() const;
    QString downloads() const;

    QString sdk() const;
    QString emulatorExecutable() const;
    QString adbExecutable() const;
    QString systemImage() const;
    QString systemImageFile() const;
    QString kernelFile() const;
    QString installedMarker() const;
    QString primaryDeletedMarker() const;
    QString instancesFolder() const;
    QString instanceFolder(const QString &id) const;
    /** Where the snapshots of the device `id` are kept, under the shared root. */
    QString snapshotCollection(const QString &id) const;

    /** Runtime files the emulator keeps in the AVD folder by these exact names. */
    static const QStringList &emulatorRuntimeFileNames();
    /** Whether an entry of the AVD folder belongs to a running emulator and must not reach a copy. */
    static bool isEmulatorRuntimeFile(const QString &name);

    /** Whether the emulator, adb and the system image are installed; read from disk at each call. */
    bool installed() const;

    /** The complete environment for every emulator and adb run of this device: ours, with the Android
     * variables replaced. */
    QMap<QString, QString> environment() const;

    /** Creates every folder of the device and the SDK folder; the first failure is thrown and stops the rest.
     */
    void createDirectories() const;

    /** Rewrites the AVD's config.ini and pointer file from `configuration`; throws SystemError. */
    void configure(const VMConfiguration &configuration) const;

    friend bool operator==(const VMPaths &, const VMPaths &) = default;

private:
    QString inRoot(const QString &relative) const;
    QString inShared(const QString &relative) const;

    QString m_root;
    QString m_sharedRoot;
};

/** Stores the validated form of `configuration` as the device's configuration.json; throws SystemError. */
void saveConfiguration(const VMPaths &paths, const VMConfiguration &configuration);

#pragma once

#include "services/PropertyField.h"

#include <QByteArray>
#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class Downloader;
class VMModel;

/**
 * The Android components a device needs before its first start: the SDK licence the user accepts,
 * then the download, verification, unpacking and checks of each package, with its progress and a
 * cancel. While it works it holds the device busy and reports its steps in the device's status,
 * detail and error; the install screen binds to it for the licence sheet, the bar and the cancel.
 */
class ComponentInstallation : public QObject
{
    Q_OBJECT
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(bool showLicense READ showLicense WRITE setShowLicense NOTIFY showLicenseChanged)
    Q_PROPERTY(bool licenseChecked READ licenseChecked WRITE setLicenseChecked NOTIFY licenseCheckedChanged)

public:
    /** More than this much free space is needed to download, unpack and first boot the components. */
    static constexpr qint64 minimumFreeBytes = qint64(10) << 30;

    /** The Android SDK licence the user accepts before the first download. */
    static QString license();

    /** Installs for `device`, which outlives it; `manifest` replaces SDKPackage::activeManifest(). */
    ComponentInstallation(VMModel &device, std::optional<QByteArray> manifest);

    double progress() const { return m_progress; }
    bool showLicense() const { return m_showLicense; }
    void setShowLicense(bool show) { m_showLicense.set(show); }
    bool licenseChecked() const { return m_licenseChecked; }
    void setLicenseChecked(bool checked) { m_licenseChecked.set(checked); }

    /** Installs right away when the current licence was accepted before, else opens the licence sheet. */
    void requestInstall();
    /** The licence sheet's accept button: installs once the agreement box is checked. */
    void acceptAndInstall();
    /** Downloads, verifies, unpacks and checks the Android components; reports only through the fields. */
    QCoro::Task<> install();
    void cancel();

    /**
     * Clears what an installation killed part-way left in the device's downloads folder: its
     * unpackings, and the archives of packages it had already marked installed.
     */
    void removeLeftovers();

Q_SIGNALS:
    void progressChanged();
    void showLicenseChanged();
    void licenseCheckedChanged();

private:
    QCoro::Task<> installPackages(QByteArray manifestBytes);
    QByteArray activeManifest() const;

    VMModel &m_device;
    const std::optional<QByteArray> m_manifest;
    PropertyField<double, &ComponentInstallation::progressChanged> m_progress{this};
    PropertyField<bool, &ComponentInstallation::showLicenseChanged> m_showLicense{this};
    PropertyField<bool, &ComponentInstallation::licenseCheckedChanged> m_licenseChecked{this};
    QPointer<Downloader> m_downloader;
    bool m_cancelled = false;
};

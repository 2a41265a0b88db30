#pragma once

#include "platform/Host.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <mutex>
#include <optional>

/** A host whose facts a test fixes and whose desktop actions it records. Installed while in scope. */
class FakeHost : public Host
{
public:
    static constexpr qint64 GiB = qint64(1) << 30;

    FakeHost(int processors = 8, qint64 memory = 16 * GiB);
    ~FakeHost() override;

    int processors;
    qint64 memory;
    /** Free capacity every volume reports: ample, so that no test depends on the machine's own disk. */
    qint64 capacity = 100 * GiB;
    bool motionReduced = false;
    bool transparencyReduced = false;

    /** The clone program; a plain recursive copy by default, so clones work on any volume. */
    std::function<ToolCommand(const QString &, const QString &)> clone = [](const QString &from,
                                                                            const QString &to) {
        return ToolCommand{QStringLiteral("/bin/cp"), {QStringLiteral("-R"), from, to}};
    };

    /** The outside open-files probe; when a test sets one it answers instead of the process-table scan. */
    std::function<ToolCommand(const QString &)> openFilesProbe;
    /** The process table the scan reads; the real one unless a test points it elsewhere. */
    std::optional<QString> processTableRoot;

    /** The computer Android runs on: an Apple-silicon Mac unless a test picks another, so Android tests
     *  read the same on every machine. */
    Tools::AndroidHost androidHostKind = Tools::AndroidHost::MacArm64;
    /** The KVM device the emulator's failures are explained by; the real one unless a test points elsewhere.
     */
    std::optional<QString> kvmDevicePath;

    /** Installed applications by bundle identifier; none unless a test adds them. */
    QHash<QString, QString> applications;
    /** What openWithApplication answers. */
    bool applicationOpens = true;
    /** What openUrl (and so revealFolder) answers: false for a desktop with nothing to open it. */
    bool urlsOpen = true;

    QList<QUrl> opened() const;
    /** (application, file) for every openWithApplication call, in order. */
    QList<QPair<QString, QString>> openedWithApplication() const;

    int activeProcessorCount() const override { return processors; }
    qint64 physicalMemory() const override { return memory; }
    qint64 availableCapacity(const QString &) const override { return capacity; }
    bool reduceMotion() const override { return motionReduced; }
    bool reduceTransparency() const override { return transparencyReduced; }
    bool openUrl(const QUrl &url) override;
    Tools::AndroidHost androidHost() const override { return androidHostKind; }
    QString kvmDevice() const override { return kvmDevicePath ? *kvmDevicePath : Host::kvmDevice(); }
    QString applicationPath(const QString &bundleIdentifier) const override
    {
        return applications.value(bundleIdentifier);
    }
    bool openWithApplication(const QString &applicationPath, const QString &file) override;
    /** Every application started through openApplication, in order. */
    QStringList openedApplications() const;
    bool openApplication(const QString &path) override;
    ToolCommand cloneCommand(const QString &source, const QString &destination) const override
    {
        return clone(source, destination);
    }
    QString processTable() const override
    {
        if (openFilesProbe) {
            return QString();
        }
        return processTableRoot ? *processTableRoot : Host::processTable();
    }
    ToolCommand openFilesProbeCommand(const QString &folder) const override
    {
        return openFilesProbe ? openFilesProbe(folder) : Tools::openFilesProbe(folder);
    }

private:
    mutable std::mutex m_mutex;
    QList<QUrl> m_opened;
    QList<QPair<QString, QString>> m_openedWithApplication;
    QStringList m_openedApplications;
};

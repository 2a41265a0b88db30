// Installing the Android components for a device: licence, download, verification, unpacking, checks.
#include "android/VMModel.h"

#include "android/Downloader.h"
#include "android/SDKPackage.h"
#include "platform/Host.h"
#include "platform/Tools.h"
#include "services/AppLog.h"
#include "services/Command.h"
#include "services/Error.h"
#include "services/FileIO.h"
#include "services/PropertyField.h"
#include "services/Tasks.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const auto category = QStringLiteral("Android");
const auto downloadHost = QStringLiteral("dl.google.com");
constexpr double downloadShare = 0.85;

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

/** Leaves the package loop when the user cancelled; the caller reports the cancellation, not this. */
struct Cancelled
{
};

} // namespace

QString VMModel::license()
{
    return SDKPackage::license();
}

void VMModel::requestInstall()
{
    const QString record = readText(m_paths.licenseRecord());
    if (!record.isEmpty() && record.endsWith(license())) {
        startTask(install(), category);
        return;
    }
    setLicenseChecked(false);
    setShowLicense(true);
}

void VMModel::acceptAndInstall()
{
    if (!m_licenseChecked) {
        return;
    }
    setShowLicense(false);
    startTask(install(), category);
}

void VMModel::cancelInstall()
{
    m_cancelled = true;
    if (m_downloader) {
        m_downloader->cancel();
    }
    setStatus(QStringLiteral("正在取消…"));
}

QCoro::Task<> VMModel::install()
{
    if (m_busy || m_running) {
        co_return;
    }
    QPointer self(this);
    setBusy(true);
    m_cancelled = false;
    setProgress(0);
    setError(QString());
    try {
        m_paths.createDirectories();
        const qint64 free = Host::current().availableCapacity(m_paths.root());
        if (free < 0 || free <= minimumInstallFreeBytes) {
            throw VMFailure(QStringLiteral("至少需要 10GB 可用磁盘空间用于下载、解压和首次启动。请释放空间后重试。"));
        }
        const QByteArray manifestBytes = manifest ? *manifest : SDKPackage::activeManifest();
        co_await installPackages(manifestBytes);
        if (!self) {
            co_return;
        }
        setInstalled(true);
        setStatus(QStringLiteral("安卓环境已就绪"));
        setDetail(QStringLiteral("点击「启动安卓」，首次启动可能需要 1–3 分钟。"));
        AppLog::info(category, QStringLiteral("安卓环境安装完成"));
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        if (!self) {
            co_return;
        }
        setStatus(m_cancelled ? QStringLiteral("安装已取消") : QStringLiteral("安装未完成"));
        setDetail(QStringLiteral("已安装的组件和下载断点会保留，重试时继续。"));
        if (!m_cancelled) {
            const QString description = describe(failure);
            setError(description);
            AppLog::error(category, QStringLiteral("安卓环境安装失败：") + description);
        }
    }
    if (!self) {
        co_return;
    }
    setBusy(false);
    m_downloader = nullptr;
    refreshInstalled();
}

QCoro::Task<> VMModel::installPackages(QByteArray manifestBytes)
{
    QPointer self(this);
    auto checkCancelled = [&] {
        if (!self || m_cancelled) {
            throw Cancelled();
        }
    };
    const QList<SDKPackage> packages = SDKPackage::decodeManifest(manifestBytes);
    FileIO::writeAtomically(m_paths.licenseRecord(),
                            (QStringLiteral("Accepted in Corvane at ")
                             + QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + QStringLiteral("\n\n") + license())
                                .toUtf8());
    const int count = int(packages.size());
    for (int index = 0; index < count; ++index) {
        const SDKPackage &package = packages[index];
        checkCancelled();
        const QString installedFolder = m_paths.sdk() + u'/' + package.destination;
        const QString marker = installedFolder + QStringLiteral("/.corvane-package");
        if (QFileInfo::exists(marker) && readText(marker) == package.sha1) {
            continue;
        }
        const QString archive = m_paths.downloads() + u'/' + package.archiveName();
        bool verified = false;
        if (QFileInfo::exists(archive)) {
            const QString existing = co_await Command::checksum(archive);
            verified = existing == package.sha1;
            checkCancelled();
        }
        if (!verified) {
            setStatus(QStringLiteral("下载 ") + QString::number(index + 1) + u'/' + QString::number(count)
                      + QStringLiteral(" · ") + package.name);
            setDetail(QStringLiteral("来源：") + downloadHost + QStringLiteral(" · 请保持网络连接"));
            auto *downloader = new Downloader(this);
            m_downloader = downloader;
            auto progress = [self, index, count](double fraction) {
                if (self) {
                    self->setProgress((fraction * downloadShare + index) / count);
                }
            };
            try {
                co_await downloader->download(QUrl(package.url), archive, package.size, progress);
            } catch (...) {
                downloader->deleteLater();
                throw;
            }
            downloader->deleteLater();
            checkCancelled();
            setStatus(QStringLiteral("校验文件完整性 · ") + package.name);
            const QString downloaded = co_await Command::checksum(archive);
            if (downloaded != package.sha1) {
                FileIO::removeIfPresent(archive);
                throw VMFailure(QStringLiteral("下载文件校验失败，已丢弃异常文件。请重试。"));
            }
        }
        checkCancelled();
        setStatus(QStringLiteral("解压并安装 · ") + package.name);
        const QString staging = m_paths.downloads() + QStringLiteral("/staging-") + QString::number(index);
        FileIO::removeIfPresent(staging);
        FileIO::createFolder(staging);
        const ToolCommand unpack = Tools::unpackArchive(archive, staging);
        co_await Command::run(unpack.program, unpack.arguments, std::nullopt, 600);
        checkCancelled();

        const QString extracted = staging + u'/' + package.source;
        if (!QFileInfo::exists(extracted)) {
            throw VMFailure(QStringLiteral("安装包目录不符合预期：") + package.source);
        }
        FileIO::createFolder(QFileInfo(installedFolder).path());
        FileIO::removeIfPresent(installedFolder);
        FileIO::rename(extracted, installedFolder);
        FileIO::writeAtomically(marker, package.sha1.toUtf8());
        FileIO::removeIfPresent(staging);
        FileIO::removeIfPresent(archive);
        setProgress(double(index + 1) / count);
    }
    checkCancelled();
    const QMap<QString, QString> environment = m_paths.environment();
    const QStringList emulatorVersion{QStringLiteral("-version")};
    co_await Command::run(m_paths.emulatorExecutable(), emulatorVersion, environment, 60);
    const QStringList adbVersion{QStringLiteral("version")};
    co_await Command::run(m_paths.adbExecutable(), adbVersion, environment, 60);
    checkCancelled();
    FileIO::writeAtomically(m_paths.installedMarker(), manifestBytes);
    m_paths.configure(m_configuration);
}

void VMModel::setProgress(double progress)
{
    if (assignChanged(m_progress, progress)) {
        Q_EMIT progressChanged();
    }
}

void VMModel::setShowLicense(bool show)
{
    if (assignChanged(m_showLicense, show)) {
        Q_EMIT showLicenseChanged();
    }
}

void VMModel::setLicenseChecked(bool checked)
{
    if (assignChanged(m_licenseChecked, checked)) {
        Q_EMIT licenseCheckedChanged();
    }
}

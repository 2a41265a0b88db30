#include "android/ComponentInstallation.h"

#include "android/Downloader.h"
#include "android/SDKPackage.h"
#include "android/VMModel.h"
#include "android/detail/ArchiveLinks.h"
#include "platform/Error.h"
#include "platform/Host.h"
#include "platform/Tools.h"
#include "services/AppLog.h"
#include "services/Command.h"
#include "services/FileIO.h"
#include "services/PropertyField.h"
#include "services/Tasks.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const auto category = QStringLiteral("Android");
const auto downloadHost = QStringLiteral("dl.google.com");
constexpr double downloadShare = 0.85;
// A marker holds one SHA-1; the licence record is the licence (about 17 KB) with one line before it.
constexpr qint64 markerLimit = 4096;
constexpr qint64 licenseRecordLimit = 1 << 20;

QString readText(const QString &path, qint64 limit)
{
    return QString::fromUtf8(FileIO::readSmallFile(path, limit).value_or(QByteArray()));
}

Tools::AndroidVariant androidVariant()
{
    return Tools::androidVariant(Host::current().androidHost());
}

/**
 * An advisory lock on the downloads folder itself, held by an installation from start to end, so a
 * second copy of the application neither installs into the same folders at once nor clears away
 * what a running installation is still working on.
 */
class DownloadsLock
{
public:
    explicit DownloadsLock(const QString &folder)
        : m_descriptor(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_descriptor >= 0 && ::flock(m_descriptor, LOCK_EX | LOCK_NB) == 0) {
            m_held = true;
        }
    }
    ~DownloadsLock()
    {
        if (m_descriptor >= 0) {
            ::close(m_descriptor);
        }
    }
    DownloadsLock(const DownloadsLock &) = delete;
    DownloadsLock &operator=(const DownloadsLock &) = delete;

    bool held() const { return m_held; }

private:
    int m_descriptor;
    bool m_held = false;
};

bool isInstalled(const SDKPackage &package, const QString &installedFolder)
{
    return readText(installedFolder + QStringLiteral("/.corvane-package"), markerLimit) == package.sha1;
}

// The type of the entry itself, a link not followed.
bool isOfType(const QString &path, mode_t type)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & S_IFMT) == type;
}

bool isRealFolder(const QString &path)
{
    return isOfType(path, S_IFDIR);
}

// A link in the place of a file the installer writes would carry the write to wherever it leads.
void removeLink(const QString &path)
{
    if (isOfType(path, S_IFLNK)) {
        FileIO::removeIfPresent(path);
    }
}

/** Refuses an unpacked archive with a link that leads out of `boundary`, naming the entry. */
void requireLinksInside(const QString &staging, const QString &boundary)
{
    if (const std::optional<QString> link = ArchiveLinks::firstLeaving(boundary, boundary)) {
        throw VMFailure(QStringLiteral("安装包中的链接指向安装目录之外，已拒绝安装：") +
                        QDir(staging).relativeFilePath(*link));
    }
}

/**
 * Moves the package's folder from the unpacked archive into the SDK and marks it. Nothing the archive
 * holds may lead a write elsewhere: links must stay inside what is installed, and the marker replaces
 * whatever the archive put at its name instead of being written through it.
 */
void installUnpacked(const SDKPackage &package, const QString &staging, const QString &installedFolder)
{
    requireLinksInside(staging, staging);
    const QString extracted = staging + u'/' + package.source;
    if (!isRealFolder(extracted)) {
        throw VMFailure(QStringLiteral("安装包目录不符合预期：") + package.source);
    }
    // Moved on its own, the folder must not point back into the rest of the archive either.
    requireLinksInside(staging, extracted);
    FileIO::createFolder(QFileInfo(installedFolder).path());
    FileIO::removeIfPresent(installedFolder);
    FileIO::rename(extracted, installedFolder);
    const QString marker = installedFolder + QStringLiteral("/.corvane-package");
    FileIO::removeIfPresent(marker);
    FileIO::writeAtomically(marker, package.sha1.toUtf8());
}

/** Leaves the package loop when the user cancelled; the caller reports the cancellation, not this. */
struct Cancelled
{
};

} // namespace

QString ComponentInstallation::license()
{
    return SDKPackage::license();
}

ComponentInstallation::ComponentInstallation(VMModel &device, std::optional<QByteArray> manifest)
    : m_device(device)
    , m_manifest(std::move(manifest))
{}

QByteArray ComponentInstallation::activeManifest() const
{
    return m_manifest ? *m_manifest : SDKPackage::activeManifest();
}

void ComponentInstallation::requestInstall()
{
    const QString record = readText(m_device.paths().licenseRecord(), licenseRecordLimit);
    // A host no emulator runs on is told so at once, not asked to accept a licence first.
    const bool refused = !androidVariant().refusal.isEmpty();
    if (refused || (!record.isEmpty() && record.endsWith(license()))) {
        startTask(install(), category);
        return;
    }
    setLicenseChecked(false);
    setShowLicense(true);
}

void ComponentInstallation::acceptAndInstall()
{
    if (!m_licenseChecked) {
        return;
    }
    setShowLicense(false);
    startTask(install(), category);
}

void ComponentInstallation::cancel()
{
    m_cancelled = true;
    if (m_downloader) {
        m_downloader->cancel();
    }
    m_device.setStatus(QStringLiteral("正在取消…"));
}

QCoro::Task<> ComponentInstallation::install()
{
    if (m_device.busy() || m_device.running()) {
        co_return;
    }
    QPointer self(this);
    m_device.setBusy(true);
    m_cancelled = false;
    m_progress.set(0);
    m_device.setError(QString());
    try {
        if (const QString refusal = androidVariant().refusal; !refusal.isEmpty()) {
            throw VMFailure(refusal);
        }
        const VMPaths &paths = m_device.paths();
        paths.createDirectories();
        const DownloadsLock lock(paths.downloads());
        if (!lock.held()) {
            throw VMFailure(QStringLiteral("另一个窗口正在安装安卓环境，请等它完成后再试。"));
        }
        const qint64 free = Host::current().availableCapacity(paths.root());
        if (free < 0 || free <= minimumFreeBytes) {
            throw VMFailure(
                QStringLiteral("至少需要 10GB 可用磁盘空间用于下载、解压和首次启动。请释放空间后重试。"));
        }
        co_await installPackages(activeManifest());
        if (!self) {
            co_return;
        }
        m_device.refreshInstalled();
        m_device.setStatus(QStringLiteral("安卓环境已就绪"));
        m_device.setDetail(QStringLiteral("点击「启动安卓」，首次启动可能需要 1–3 分钟。"));
        AppLog::info(category, QStringLiteral("安卓环境安装完成"));
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        if (!self) {
            co_return;
        }
        m_device.setStatus(m_cancelled ? QStringLiteral("安装已取消") : QStringLiteral("安装未完成"));
        m_device.setDetail(QStringLiteral("已安装的组件和下载断点会保留，重试时继续。"));
        if (!m_cancelled) {
            const QString description = describe(failure);
            m_device.setError(description);
            AppLog::error(category, QStringLiteral("安卓环境安装失败：") + description);
        }
    }
    if (!self) {
        co_return;
    }
    m_device.setBusy(false);
    m_downloader = nullptr;
    m_device.refreshInstalled();
}

QCoro::Task<> ComponentInstallation::installPackages(QByteArray manifestBytes)
{
    QPointer self(this);
    auto checkCancelled = [&] {
        if (!self || m_cancelled) {
            throw Cancelled();
        }
    };
    const VMPaths &paths = m_device.paths();
    const QList<SDKPackage> packages = SDKPackage::decodeManifest(manifestBytes);
    removeLink(paths.licenseRecord());
    FileIO::writeAtomically(paths.licenseRecord(), (QStringLiteral("Accepted in Corvane at ") +
                                                    QDateTime::currentDateTimeUtc().toString(Qt::ISODate) +
                                                    QStringLiteral("\n\n") + license())
                                                       .toUtf8());
    const int count = int(packages.size());
    for (int index = 0; index < count; ++index) {
        const SDKPackage &package = packages[index];
        checkCancelled();
        const QString installedFolder = paths.sdk() + u'/' + package.destination;
        if (isInstalled(package, installedFolder)) {
            continue;
        }
        const QString archive = paths.downloads() + u'/' + package.archiveName();
        bool verified = false;
        if (QFileInfo::exists(archive)) {
            const QString existing = co_await Command::checksum(archive);
            verified = existing == package.sha1;
            checkCancelled();
        }
        if (!verified) {
            m_device.setStatus(QStringLiteral("下载 ") + QString::number(index + 1) + u'/' +
                               QString::number(count) + QStringLiteral(" · ") + package.name);
            m_device.setDetail(QStringLiteral("来源：") + downloadHost + QStringLiteral(" · 请保持网络连接"));
            auto *downloader = new Downloader(this);
            m_downloader = downloader;
            auto progress = [self, index, count](double fraction) {
                if (self) {
                    self->m_progress.set((fraction * downloadShare + index) / count);
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
            m_device.setStatus(QStringLiteral("校验文件完整性 · ") + package.name);
            const QString downloaded = co_await Command::checksum(archive);
            if (downloaded != package.sha1) {
                FileIO::removeIfPresent(archive);
                throw VMFailure(QStringLiteral("下载文件校验失败，已丢弃异常文件。请重试。"));
            }
        }
        checkCancelled();
        m_device.setStatus(QStringLiteral("解压并安装 · ") + package.name);
        const QString staging = paths.downloads() + QStringLiteral("/staging-") + QString::number(index);
        FileIO::removeIfPresent(staging);
        FileIO::createFolder(staging);
        try {
            const ToolCommand unpack = Tools::unpackArchive(archive, staging);
            co_await Command::run(unpack.program, unpack.arguments, std::nullopt, 600);
            checkCancelled();
            installUnpacked(package, staging, installedFolder);
        } catch (...) {
            // The verified archive stays for the next attempt; the half-used unpacking is of no use to it.
            FileIO::removeIfPresent(staging);
            throw;
        }
        FileIO::removeIfPresent(staging);
        FileIO::removeIfPresent(archive);
        m_progress.set(double(index + 1) / count);
    }
    checkCancelled();
    const QMap<QString, QString> environment = paths.environment();
    const QStringList emulatorVersion{QStringLiteral("-version")};
    co_await Command::run(paths.emulatorExecutable(), emulatorVersion, environment, 60);
    checkCancelled();
    const QStringList adbVersion{QStringLiteral("version")};
    co_await Command::run(paths.adbExecutable(), adbVersion, environment, 60);
    checkCancelled();
    FileIO::writeAtomically(paths.installedMarker(), manifestBytes);
    paths.configure(m_device.configuration());
}

void ComponentInstallation::removeLeftovers()
{
    // An installation killed part-way leaves its unpacking, and one killed after marking a package
    // leaves that package's archive too; later installations skip the package and never come back
    // for it. Only names the installer gives, and only inside this device's own downloads folder.
    const VMPaths &paths = m_device.paths();
    const QString downloads = paths.downloads();
    if (!isRealFolder(downloads)) {
        return;
    }
    const DownloadsLock lock(downloads);
    if (!lock.held()) {
        return;
    }
    QStringList removed;
    static const QRegularExpression stagingName(QStringLiteral("^staging-[0-9]+$"));
    const QFileInfoList entries =
        QDir(downloads).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (stagingName.match(entry.fileName()).hasMatch() && isRealFolder(entry.filePath())) {
            FileIO::removeIfPresent(entry.filePath());
            removed << entry.fileName();
        }
    }
    QList<SDKPackage> packages;
    try {
        packages = SDKPackage::decodeManifest(activeManifest());
    } catch (const Error &) {
        // Without a manifest no archive can be told apart from the user's own files; they stay.
    }
    for (const SDKPackage &package : std::as_const(packages)) {
        const QString archive = downloads + u'/' + package.archiveName();
        if (isOfType(archive, S_IFREG) && isInstalled(package, paths.sdk() + u'/' + package.destination)) {
            FileIO::removeIfPresent(archive);
            removed << package.archiveName();
        }
    }
    if (!removed.isEmpty()) {
        AppLog::warn(category, QStringLiteral("已清除中断的安卓组件安装留下的文件（") + downloads +
                                   QStringLiteral("）：") + removed.join(QStringLiteral("、")));
    }
}

#include "windows/WindowsPreparation.h"

#include "platform/Error.h"
#include "platform/Host.h"
#include "services/CodePointOrder.h"
#include "services/Command.h"
#include "services/FileIO.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>
#include <QUuid>

#include <algorithm>
#include <exception>
#include <sys/stat.h>
#include <unistd.h>

namespace WindowsPreparation {
namespace {

constexpr qint64 minimumImageBytes = 1'048'576;
constexpr double attachTimeoutSeconds = 60;
constexpr double detachTimeoutSeconds = 20;

const QString bootLoader = QStringLiteral("efi/boot/bootaa64.efi");
const QString setupProgram = QStringLiteral("setup.exe");
const QStringList installImages{QStringLiteral("sources/install.wim"), QStringLiteral("sources/install.esd"),
                                QStringLiteral("sources/install.swm")};

QString noARMBootLoader()
{
    return QStringLiteral(
        "没有找到 ARM64 启动文件。请使用 Windows 11 ARM64 ISO，不能使用 x64 / AMD64 镜像。");
}

QString noInstaller()
{
    return QStringLiteral("未找到 Windows 安装程序和系统映像。请选择完整的 Windows 安装 ISO，而不是驱动盘。");
}

QString severalImages()
{
    return QStringLiteral("7-Zip 列出了不止一个映像，无法确定检查的是所选文件。请重新选择 ISO。");
}

void validate(const std::function<bool(const QString &)> &has)
{
    if (!has(bootLoader)) {
        throw VMFailure(noARMBootLoader());
    }
    if (!has(setupProgram) || std::none_of(installImages.cbegin(), installImages.cend(), has)) {
        throw VMFailure(noInstaller());
    }
}

// Plain rmdir: a mount point that is still attached keeps its content, which must never be deleted.
void removeMountPoint(const QString &mountPoint)
{
    ::rmdir(QFile::encodeName(mountPoint).constData());
}

QCoro::Task<> detach(QString hdiutil, QString mountPoint)
{
    const QStringList arguments{QStringLiteral("detach"), mountPoint};
    co_await Command::run(hdiutil, arguments, std::nullopt, detachTimeoutSeconds);
}

QCoro::Task<> detachIgnoringFailure(QString hdiutil, QString mountPoint)
{
    try {
        co_await detach(hdiutil, mountPoint);
    } catch (...) {
        // Best effort on the way out; the failure that brought us here is the one reported.
    }
}

QCoro::Task<> inspectAttached(QString iso, Inspection inspection)
{
    const QString temporary =
        inspection.temporaryFolder.isEmpty() ? QDir::tempPath() : inspection.temporaryFolder;
    const QString mountPoint = temporary + QStringLiteral("/windows-iso-check-") +
                               QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    FileIO::createFolder(mountPoint);

    std::exception_ptr failure;
    try {
        const QStringList arguments{QStringLiteral("attach"),
                                    QStringLiteral("-readonly"),
                                    QStringLiteral("-nobrowse"),
                                    QStringLiteral("-mountpoint"),
                                    mountPoint,
                                    iso};
        co_await Command::run(inspection.hdiutil, arguments, std::nullopt, attachTimeoutSeconds);
        validateInstaller(mountPoint);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        // A failed or timed-out attach may still have mounted the image.
        co_await detachIgnoringFailure(inspection.hdiutil, mountPoint);
        removeMountPoint(mountPoint);
        std::rethrow_exception(failure);
    }

    try {
        co_await detach(inspection.hdiutil, mountPoint);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        co_await detachIgnoringFailure(inspection.hdiutil, mountPoint);
    }
    removeMountPoint(mountPoint);
    if (failure) {
        std::rethrow_exception(failure);
    }
}

QCoro::Task<> inspectListed(QString iso)
{
    const ToolCommand list = Tools::listDiscImage(iso);
    const QString output =
        co_await Command::run(list.program, list.arguments, std::nullopt, attachTimeoutSeconds);
    validateListing(listedPaths(output));
}

} // namespace

QString incompleteFileMessage()
{
    return QStringLiteral("文件不是可读取的完整 ISO；请等待下载结束，不要选择 .download 或 .partial 文件。");
}

void checkFile(const QString &iso)
{
    const QByteArray path = QFile::encodeName(iso);
    struct stat st
    {
    };
    const bool complete = QFileInfo(iso).suffix().toLower() == QLatin1String("iso") && !iso.isEmpty() &&
                          ::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
                          ::access(path.constData(), R_OK) == 0 && qint64(st.st_size) > minimumImageBytes;
    if (!complete) {
        throw VMFailure(incompleteFileMessage());
    }
}

QCoro::Task<> inspectISO(QString iso, Inspection inspection)
{
    checkFile(iso);
    if (inspection.method == Inspection::Method::Attach) {
        co_await inspectAttached(iso, inspection);
    } else {
        co_await inspectListed(iso);
    }
}

void validateInstaller(const QString &mountPoint)
{
    validate(
        [&mountPoint](const QString &relative) { return QFileInfo::exists(mountPoint + u'/' + relative); });
}

void validateListing(const QStringList &paths)
{
    QSet<QString> listed;
    for (const QString &path : paths) {
        listed.insert(path.toLower());
    }
    validate([&listed](const QString &relative) { return listed.contains(relative); });
}

QStringList listedPaths(const QString &output)
{
    // The archive's own properties come first, with a "Path = " line naming the image file itself;
    // entries follow the dashed separator.
    QStringList paths;
    bool inEntries = false;
    int archives = 0;
    for (const QStringView line : QStringView(output).split(u'\n')) {
        // Entries of a second image would pass for files of the chosen one.
        if (line.startsWith(QLatin1String("Listing archive: ")) && ++archives > 1) {
            throw VMFailure(severalImages());
        }
        const QStringView trimmed = line.trimmed();
        if (!inEntries) {
            inEntries = trimmed == QLatin1String("----------");
            continue;
        }
        if (line.startsWith(QLatin1String("Path = "))) {
            QString path = line.mid(7).toString();
            if (path.endsWith(u'\r')) {
                path.chop(1);
            }
            paths.append(path);
        }
    }
    return paths;
}

QStringList isoCandidates(const QString &directory)
{
    if (directory.isEmpty()) {
        return {};
    }
    // Hidden entries are left out by not asking for them; links are not regular files.
    const QFileInfoList entries = QDir(directory).entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::NoSort);
    QStringList names;
    for (const QFileInfo &entry : entries) {
        if (entry.suffix().toLower() == QLatin1String("iso")) {
            names.append(entry.fileName());
        }
    }
    std::sort(names.begin(), names.end(), codePointLess);
    QStringList candidates;
    for (const QString &name : names) {
        candidates.append(QDir(directory).filePath(name));
    }
    return candidates;
}

qint64 availableSpace(const QString &path)
{
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo::exists(existing)) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing) {
            throw VMFailure(QStringLiteral("无法识别目标磁盘。"));
        }
        existing = parent;
    }
    const qint64 available = Host::current().availableCapacity(existing);
    if (available > 0) {
        return available;
    }
    const qint64 free = QStorageInfo(existing).bytesFree();
    if (free > 0) {
        return free;
    }
    throw VMFailure(QStringLiteral("无法读取目标磁盘可用空间。"));
}

} // namespace WindowsPreparation

#include "ui/windows/WindowsRules.h"

#include <algorithm>

namespace WindowsRules {
namespace {

constexpr qint64 GiB = qint64(1) << 30;

} // namespace

Range coresRange(int activeProcessors)
{
    return AppPreferences::newDeviceCoresRange(activeProcessors);
}

Range memoryRange(qint64 physicalMemory)
{
    return {4, std::clamp<qint64>(physicalMemory / (2 * GiB), 4, 8)};
}

Range diskRange()
{
    return {64, 512};
}

QString isoPathText(const QString &isoPath)
{
    return isoPath.isEmpty() ? QStringLiteral("尚未选择 ISO") : isoPath;
}

bool showsRecheck(const QString &isoPath)
{
    return !isoPath.isEmpty();
}

bool canCreate(bool confirmedARM, const QString &isoPath, bool utmSupported)
{
    return confirmedARM && !isoPath.isEmpty() && utmSupported;
}

QString withoutUTMNote(bool utmSupported)
{
    return utmSupported ? QString()
                        : QStringLiteral(
                              "UTM 只有 macOS 版：在本机可以检查镜像，并关联已有的 .utm 虚拟机、为它做快照；"
                              "创建和打开 Windows 虚拟机需要在装有 UTM 的 Mac 上进行。");
}

ProjectActions projectActions(bool hasProject, bool busy, bool utmSupported)
{
    return {hasProject && !busy && utmSupported, !busy, busy};
}

SnapshotActions snapshotActions(bool hasProject, bool hasLatestSnapshot, bool hasCollection, bool busy)
{
    return {hasProject && !busy, hasLatestSnapshot && !busy, hasLatestSnapshot && !busy, hasCollection, busy};
}

QUrl utmDownload()
{
    return QUrl(QStringLiteral("https://mac.getutm.app/"));
}

QUrl windowsDownload()
{
    return QUrl(QStringLiteral("https://www.microsoft.com/software-download/windows11arm64"));
}

QUrl utmWindowsGuide()
{
    return QUrl(QStringLiteral("https://docs.getutm.app/guides/windows/"));
}

QList<Link> preparationLinks()
{
    return {
        {QStringLiteral("1. UTM 官方下载页（仅打开网页）"), utmDownload()},
        {QStringLiteral("2. 微软 Windows 11 ARM64 ISO 下载页"), windowsDownload()},
        {QStringLiteral("3. UTM Windows 安装与驱动说明"), utmWindowsGuide()},
    };
}

} // namespace WindowsRules

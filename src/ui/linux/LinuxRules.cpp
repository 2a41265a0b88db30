#include "ui/linux/LinuxRules.h"

#include "linux/LinuxModel.h"

#include <QFileInfo>

#include <algorithm>

namespace LinuxRules {

State State::of(const LinuxModel &model)
{
    State state;
    state.hasMachine = model.machine() != nullptr;
    state.separateWindow = model.displayInSeparateWindow();
    state.running = model.running();
    state.busy = model.busy();
    state.prepared = model.prepared();
    state.snapshotBusy = model.snapshotBusy();
    state.hasLatestSnapshot = model.latestSnapshot().has_value();
    state.attachISO = model.configuration().attachISO;
    state.hasUsableISO = model.hasUsableISO();
    return state;
}

Actions actions(const State &s)
{
    Actions a;
    a.rowEnabled = !s.busy && !s.snapshotBusy;
    a.stop = {s.running, true, QStringLiteral("停止 Linux")};
    a.start = {!s.running, true,
               s.attachISO ? QStringLiteral("启动 / 安装 Linux") : QStringLiteral("启动 Linux")};
    a.forceStop = {true, s.running && !s.busy, QStringLiteral("强制退出")};
    return a;
}

bool configurationEditable(const State &s)
{
    // A rollback publishes the settings stored with the snapshot: an edit made meanwhile would be lost.
    return !s.running && !s.busy && !s.snapshotBusy;
}

bool diskEditable(const State &s)
{
    return configurationEditable(s) && !s.prepared;
}

bool showsDownloads(const State &s)
{
    return !s.hasUsableISO;
}

SnapshotActions snapshotActions(const State &s)
{
    const bool idle = !s.running && !s.busy && !s.snapshotBusy;
    SnapshotActions a;
    a.create = s.prepared && idle;
    a.rollback = s.hasLatestSnapshot && idle;
    a.deleteLatest = s.hasLatestSnapshot && !s.snapshotBusy;
    return a;
}

DisplayCase displayCase(const State &s)
{
    if (!s.hasMachine) {
        return DisplayCase::Placeholder;
    }
    return s.separateWindow ? DisplayCase::SeparateWindow : DisplayCase::Screen;
}

// The machine takes the same share of the host as a new Android device.
AppPreferences::Range coresRange(int activeProcessors)
{
    return AppPreferences::newDeviceCoresRange(activeProcessors);
}

AppPreferences::Range memoryGBRange(qint64 physicalMemory)
{
    return AppPreferences::newDeviceMemoryGBRange(physicalMemory);
}

AppPreferences::Range diskGBRange()
{
    return {16, 256};
}

QList<Resolution> resolutions()
{
    return {
        {QStringLiteral("1280 × 800"), QStringLiteral("1280x800")},
        {QStringLiteral("1440 × 900"), QStringLiteral("1440x900")},
        {QStringLiteral("1920 × 1080"), QStringLiteral("1920x1080")},
    };
}

QString resolutionTag(qint64 width, qint64 height)
{
    return QString::number(width) + QLatin1Char('x') + QString::number(height);
}

std::optional<std::pair<qint64, qint64>> parseResolutionTag(const QString &tag)
{
    const QStringList parts = tag.split(QLatin1Char('x'));
    if (parts.size() != 2) {
        return std::nullopt;
    }
    bool widthOk = false;
    bool heightOk = false;
    const qint64 width = parts[0].toLongLong(&widthOk);
    const qint64 height = parts[1].toLongLong(&heightOk);
    // A screen without pixels would only stop the machine from starting.
    if (!widthOk || !heightOk || width <= 0 || height <= 0) {
        return std::nullopt;
    }
    return std::pair{width, height};
}

QString isoText(const QString &isoPath)
{
    return isoPath.isEmpty() ? QStringLiteral("尚未选择系统镜像") : QFileInfo(isoPath).fileName();
}

QString footerText(Host::LinuxEngine engine)
{
    const QString page = QStringLiteral("此页面不下载系统镜像，也不自动完成发行版安装。");
    switch (engine) {
    case Host::LinuxEngine::AppleVirtualization:
        return QStringLiteral("原生 Apple Virtualization · NAT 网络 · 键盘与鼠标 · 不需要关闭 SIP。") + page;
    case Host::LinuxEngine::Qemu:
        // QEMU runs as the user: /dev/kvm is used when it can be opened, nothing needs root.
        return QStringLiteral(
                   "QEMU 虚拟机（ARM64 主机上用 KVM 加速） · NAT 网络 · 键盘与鼠标 · 不需要 root 权限。") +
               page;
    }
    return page;
}

} // namespace LinuxRules

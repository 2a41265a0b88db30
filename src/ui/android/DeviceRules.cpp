#include "ui/android/DeviceRules.h"

#include "android/VMModel.h"
#include "platform/Host.h"
#include "platform/Tools.h"

namespace DeviceRules {

namespace {

QString imageArchitecture()
{
    return Tools::androidVariant(Host::current().androidHost()).architectureName;
}

} // namespace

QString informationText()
{
    return QStringLiteral("Android 14 · 8GB 虚拟数据盘（按使用增长）。可安装 %1 或通用 APK；不含 Google Play "
                          "商店，部分游戏及依赖 Google 服务的应用可能不兼容。首次安装后，启动无需重复下载。")
        .arg(imageArchitecture());
}

QString licenseSummary()
{
    return QStringLiteral("将从 Google 官方服务器下载 Android Emulator、ADB 和 Android 14 %1 系统。约下载 "
                          "1.1GB，需至少 10GB 可用空间。组件仅安装到本机用户目录，无需管理员权限。")
        .arg(imageArchitecture());
}

State State::of(const VMModel &model)
{
    State state;
    state.installed = model.installed();
    state.busy = model.busy();
    state.running = model.running();
    state.booted = model.booted();
    state.stopping = model.stopping();
    state.forceQuitting = model.forceQuitting();
    state.snapshotBusy = model.snapshotBusy();
    state.hasLatestSnapshot = model.latestSnapshot().has_value();
    return state;
}

Actions actions(const State &s)
{
    Actions a;
    a.install = {!s.installed, !s.busy, QStringLiteral("安装安卓环境")};
    a.stop = {s.installed && s.running, !s.stopping && !s.busy,
              s.stopping ? QStringLiteral("正在停止…") : QStringLiteral("停止安卓")};
    a.installApk = {s.installed && s.running, s.booted && !s.busy && !s.stopping, QStringLiteral("安装 APK")};
    a.start = {s.installed && !s.running, !s.busy && !s.snapshotBusy, QStringLiteral("启动安卓")};
    a.forceQuit = {s.installed, s.running && !s.forceQuitting,
                   s.forceQuitting ? QStringLiteral("正在强退…") : QStringLiteral("强制退出")};
    return a;
}

bool canRename(const State &s)
{
    return !s.busy && !s.forceQuitting;
}

bool showsProgress(const State &s)
{
    return s.busy && !s.running;
}

bool showsInstallProgress(const State &s)
{
    return showsProgress(s) && !s.installed;
}

QString percentText(double progress)
{
    const int percent = std::clamp(int(progress * 100), 0, 100);
    return QString::number(percent) + u'%';
}

bool hardwareEditable(const State &s)
{
    return !s.running && !s.busy;
}

QString hardwareSubtitle(const State &s)
{
    return s.running ? QStringLiteral("关闭安卓后可修改") : QStringLiteral("修改自动保存 · 下次启动生效");
}

AppPreferences::Range coresRange(int activeProcessors)
{
    return AppPreferences::newDeviceCoresRange(activeProcessors);
}

AppPreferences::Range memoryGBRange(qint64 physicalMemory)
{
    // min(memory in MiB / 2, 8192) / 1024 is the same whole number of GiB as the new-device range.
    return AppPreferences::newDeviceMemoryGBRange(physicalMemory);
}

QString coresHint(const AppPreferences::Range &range)
{
    return QStringLiteral("可选 1–") + QString::number(range.maximum) + QStringLiteral(" 核");
}

QString memoryHint(const AppPreferences::Range &range)
{
    return QStringLiteral("可选 1–") + QString::number(range.maximum) + QStringLiteral(" GB");
}

SnapshotActions snapshotActions(const State &s)
{
    const bool idle = !s.running && !s.busy && !s.snapshotBusy;
    return {idle, idle && s.hasLatestSnapshot, !s.snapshotBusy};
}

} // namespace DeviceRules

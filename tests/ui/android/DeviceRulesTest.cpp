#include "ui/android/DeviceRules.h"
#include "FakeHost.h"
#include "ui/android/FleetRules.h"
#include "ui/android/HardwareNumberField.h"

#include <gtest/gtest.h>

namespace {

using DeviceRules::State;

/** Which actions show (upper case: also enabled) as one line, so a table row reads at a glance. */
std::string shown(const State &state)
{
    const DeviceRules::Actions a = DeviceRules::actions(state);
    std::string line;
    const auto add = [&line](const DeviceRules::Action &action, const char *name) {
        if (!action.visible) {
            return;
        }
        std::string word = name;
        if (action.enabled) {
            std::transform(word.begin(), word.end(), word.begin(), ::toupper);
        }
        line += (line.empty() ? "" : " ") + word;
    };
    add(a.install, "install");
    add(a.start, "start");
    add(a.stop, "stop");
    add(a.installApk, "apk");
    add(a.forceQuit, "force");
    return line;
}

} // namespace

TEST(DeviceRulesTest, ActionsShownAndEnabledInEachDeviceState)
{
    const State idle{.installed = true};
    const State running{.installed = true, .running = true, .booted = true};
    const State stopping{.installed = true, .running = true, .booted = true, .stopping = true};
    const State forceQuitting{.installed = true,
                              .busy = true,
                              .running = true,
                              .booted = true,
                              .stopping = true,
                              .forceQuitting = true};
    const std::pair<State, const char *> table[] = {
        {{}, "INSTALL"},
        {{.busy = true}, "install"},
        {idle, "START force"},
        // A start in its checks has nothing to force-quit yet.
        {{.installed = true, .busy = true}, "start force"},
        {{.installed = true, .running = true}, "STOP apk FORCE"},
        {running, "STOP APK FORCE"},
        // Force quit stays available while an APK installs.
        {{.installed = true, .busy = true, .running = true, .booted = true}, "stop apk FORCE"},
        {stopping, "stop apk FORCE"},
        {forceQuitting, "stop apk force"},
        {{.installed = true, .snapshotBusy = true}, "start force"},
    };
    for (const auto &[state, expected] : table) {
        EXPECT_EQ(shown(state), expected);
    }
    EXPECT_EQ(DeviceRules::actions(stopping).stop.text, QStringLiteral("正在停止…"));
    EXPECT_EQ(DeviceRules::actions(forceQuitting).forceQuit.text, QStringLiteral("正在强退…"));
    EXPECT_EQ(DeviceRules::actions(running).forceQuit.text, QStringLiteral("强制退出"));
    EXPECT_EQ(DeviceRules::actions(running).stop.text, QStringLiteral("停止安卓"));

    // The header's progress, renaming and the hardware follow the state too.
    const State installing{.busy = true};
    const State starting{.installed = true, .busy = true};
    EXPECT_TRUE(DeviceRules::showsInstallProgress(installing));
    EXPECT_FALSE(DeviceRules::canRename(installing));
    EXPECT_TRUE(DeviceRules::showsProgress(starting));
    EXPECT_FALSE(DeviceRules::showsInstallProgress(starting)) << "a start shows no percentage";
    EXPECT_FALSE(DeviceRules::showsProgress(running));
    EXPECT_TRUE(DeviceRules::canRename(running));
    EXPECT_FALSE(DeviceRules::hardwareEditable(running));
    EXPECT_EQ(DeviceRules::hardwareSubtitle(running), QStringLiteral("关闭安卓后可修改"));
    EXPECT_FALSE(
        DeviceRules::showsProgress({.installed = true, .busy = true, .running = true, .booted = true}))
        << "an APK install reports in the detail line";
    EXPECT_TRUE(DeviceRules::hardwareEditable(idle));
    EXPECT_FALSE(DeviceRules::hardwareEditable(starting));
    EXPECT_EQ(DeviceRules::hardwareSubtitle(idle), QStringLiteral("修改自动保存 · 下次启动生效"));
    EXPECT_EQ((QStringList{DeviceRules::percentText(0), DeviceRules::percentText(0.424),
                           DeviceRules::percentText(0.999), DeviceRules::percentText(1)}),
              (QStringList{QStringLiteral("0%"), QStringLiteral("42%"), QStringLiteral("99%"),
                           QStringLiteral("100%")}))
        << "not done until it is done";

    // Snapshots need an idle stopped device, and a rollback a latest snapshot.
    DeviceRules::SnapshotActions a = DeviceRules::snapshotActions(idle);
    EXPECT_TRUE(a.create && a.menu);
    EXPECT_FALSE(a.rollback) << "nothing to roll back to";
    State s = idle;
    s.hasLatestSnapshot = true;
    EXPECT_TRUE(DeviceRules::snapshotActions(s).rollback);
    for (bool State::*flag : {&State::running, &State::busy, &State::snapshotBusy}) {
        State blocked = s;
        blocked.*flag = true;
        a = DeviceRules::snapshotActions(blocked);
        EXPECT_FALSE(a.create || a.rollback);
        EXPECT_EQ(a.menu, flag != &State::snapshotBusy);
    }
}

TEST(DeviceRulesTest, HardwareRangesHintsAndTheFleetsActionsDeletionMessageAndStateDot)
{
    constexpr qint64 GiB = FakeHost::GiB;
    EXPECT_EQ(DeviceRules::coresHint(DeviceRules::coresRange(8)), QStringLiteral("可选 1–8 核"));
    EXPECT_EQ(DeviceRules::memoryHint(DeviceRules::memoryGBRange(16 * GiB)), QStringLiteral("可选 1–8 GB"));
    EXPECT_EQ(DeviceRules::coresHint(DeviceRules::coresRange(4)), QStringLiteral("可选 1–4 核"));
    EXPECT_EQ(DeviceRules::memoryHint(DeviceRules::memoryGBRange(8 * GiB)), QStringLiteral("可选 1–4 GB"));
    EXPECT_EQ(DeviceRules::coresRange(32).maximum, 8);
    EXPECT_EQ(DeviceRules::memoryGBRange(64 * GiB).maximum, 8);
    EXPECT_EQ(DeviceRules::memoryGBRange(6 * GiB - 1).maximum, 2) << "whole GiB only";
    EXPECT_EQ(DeviceRules::memoryGBRange(GiB + GiB / 2).maximum, 1) << "below 2 GiB a device still gets 1 GB";

    // Add, duplicate, delete: an empty fleet has nothing to copy or delete, and one fleet operation
    // runs at a time.
    const auto fleet = [](bool creating, bool empty) {
        const FleetRules::FleetActions a = FleetRules::actions(creating, empty);
        return QList<bool>{a.add, a.duplicate, a.remove};
    };
    EXPECT_EQ(fleet(false, true), (QList<bool>{true, false, false}));
    EXPECT_EQ(fleet(true, false), (QList<bool>{false, false, false}));
    EXPECT_EQ(fleet(false, false), (QList<bool>{true, true, true}));
    EXPECT_EQ(
        FleetRules::deletionMessage(QStringLiteral("安卓 2")),
        QStringLiteral("将删除 安卓 2 及其应用和数据，移到 Mac 废纸篓；不影响其他设备及共享系统文件。"));
    EXPECT_EQ(
        FleetRules::deletionMessage(std::nullopt),
        QStringLiteral("将删除 所选设备 及其应用和数据，移到 Mac 废纸篓；不影响其他设备及共享系统文件。"));
    EXPECT_EQ(FleetRules::dot(true, true), FleetRules::Dot::Green);
    EXPECT_EQ(FleetRules::dot(true, false), FleetRules::Dot::Orange);
    EXPECT_EQ(FleetRules::dot(false, false), FleetRules::Dot::Grey);
}

TEST(DeviceRulesTest, NumberFieldCommitParsesClampsOrReverts)
{
    // Current value 4, range 1–8: a clean integer is clamped, anything else keeps the current value.
    const std::pair<const char16_t *, qint64> cases[] = {
        {u"12", 8}, {u" 3 ", 3}, {u"\n6\t", 6}, {u"+5", 5},  {u"-2", 1},  {u"0", 1},  {u"abc", 4},
        {u"", 4},   {u"+", 4},   {u"1 2", 4},   {u"2.5", 4}, {u"0x5", 4}, {u"３", 4},
    };
    for (const auto &[draft, expected] : cases) {
        EXPECT_EQ(HardwareNumberField::committed(QString::fromUtf16(draft), 4, {1, 8}), expected)
            << QString::fromUtf16(draft).toStdString();
    }

    EXPECT_EQ(HardwareNumberField::parse(QStringLiteral("9223372036854775807")),
              std::numeric_limits<qint64>::max());
    EXPECT_EQ(HardwareNumberField::parse(QStringLiteral("-9223372036854775808")),
              std::numeric_limits<qint64>::min());
    EXPECT_EQ(HardwareNumberField::parse(QStringLiteral("9223372036854775808")), std::nullopt);
    EXPECT_EQ(HardwareNumberField::parse(QStringLiteral("-9223372036854775809")), std::nullopt);
    EXPECT_EQ(HardwareNumberField::committed(QStringLiteral("99999999999999999999"), 4, {1, 8}), 4)
        << "an overflow is not a number, not the upper bound";
}

TEST(DeviceRulesTest, TextsNameTheArchitectureOfTheHostsImage)
{
    FakeHost host;
    const QString macInformation =
        QStringLiteral("Android 14 · 8GB 虚拟数据盘（按使用增长）。可安装 ARM64 或通用 APK；不含 Google Play "
                       "商店，部分游戏及依赖 Google 服务的应用可能不兼容。首次安装后，启动无需重复下载。");
    const QString macSummary =
        QStringLiteral("将从 Google 官方服务器下载 Android Emulator、ADB 和 Android 14 ARM64 系统。约下载 "
                       "1.1GB，需至少 10GB 可用空间。组件仅安装到本机用户目录，无需管理员权限。");
    EXPECT_EQ(DeviceRules::informationText(), macInformation);
    EXPECT_EQ(DeviceRules::licenseSummary(), macSummary);

    host.androidHostKind = Tools::AndroidHost::LinuxX86_64;
    QString linuxInformation = macInformation;
    QString linuxSummary = macSummary;
    EXPECT_EQ(DeviceRules::informationText(),
              linuxInformation.replace(QStringLiteral("ARM64"), QStringLiteral("x86_64")));
    EXPECT_EQ(DeviceRules::licenseSummary(),
              linuxSummary.replace(QStringLiteral("ARM64"), QStringLiteral("x86_64")));

    // An arm64 Linux computer is refused the installation, but what it would run is still ARM64.
    host.androidHostKind = Tools::AndroidHost::LinuxArm64;
    EXPECT_EQ(DeviceRules::licenseSummary(), macSummary);
}

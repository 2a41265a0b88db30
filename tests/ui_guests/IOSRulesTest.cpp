#include "ui/ios/IOSRules.h"

#include <gtest/gtest.h>

namespace {

IOSDevice device(const QString &state, std::optional<bool> available = true)
{
    return {QStringLiteral("A1B2C3D4-0000-4000-8000-000000000001"), QStringLiteral("Phone"), state,
            available};
}

QString enabled(const IOSRules::DeviceActions &a)
{
    QString out;
    for (const auto &[on, letter] : {std::pair{a.boot, 'b'},
                                     {a.shutdown, 's'},
                                     {a.forceQuit, 'f'},
                                     {a.remove, 'd'},
                                     {a.rename, 'r'},
                                     {a.createSnapshot, 'c'},
                                     {a.rollback, 'o'},
                                     {a.snapshotMenu, 'm'}}) {
        if (on) {
            out += QLatin1Char(letter);
        }
    }
    return out;
}

} // namespace

TEST(IOSRulesTest, DeviceActionsFollowStateSnapshotsAndBusy)
{
    using IOSRules::deviceActions;
    // b boot, s shutdown, f force, d delete, r rename, c snapshot, o rollback, m snapshot menu
    EXPECT_EQ(enabled(deviceActions(device("Shutdown"), false, false)), QStringLiteral("bdrc"));
    EXPECT_EQ(enabled(deviceActions(device("Shutdown"), true, false)), QStringLiteral("bdrcom"));
    EXPECT_EQ(enabled(deviceActions(device("Booted"), false, false)), QStringLiteral("sfr"));
    EXPECT_EQ(enabled(deviceActions(device("Booted"), true, false)), QStringLiteral("sfrm"));
    // A state in between (simctl also says "Shutting Down", "Creating") allows neither delete nor snapshots.
    EXPECT_EQ(enabled(deviceActions(device("Shutting Down"), true, false)), QStringLiteral("brm"));
    // Only an explicit "not available" blocks booting; an unknown availability does not.
    EXPECT_EQ(enabled(deviceActions(device("Shutdown", false), false, false)), QStringLiteral("drc"));
    EXPECT_EQ(enabled(deviceActions(device("Shutdown", std::nullopt), false, false)), QStringLiteral("bdrc"));
    for (const char *state : {"Shutdown", "Booted"}) {
        EXPECT_EQ(enabled(deviceActions(device(state), true, true)), QString()) << state;
    }
}

TEST(IOSRulesTest, TextsAndPickerEntries)
{
    EXPECT_EQ(IOSRules::stateText(device("Booted")), QStringLiteral("iPhone 正在运行"));
    EXPECT_EQ(IOSRules::stateText(device("Shutdown")), QStringLiteral("iPhone 已停止"));
    EXPECT_EQ(IOSRules::stateText(device("Creating")), QStringLiteral("iPhone 已停止"));
    EXPECT_EQ(IOSRules::snapshotText(std::nullopt), QStringLiteral("尚未创建"));
    IOSSnapshotRecord record;
    record.createdAt = 700'000'000; // 2023-03-08 20:26:40 UTC
    EXPECT_EQ(IOSRules::snapshotText(record),
              QStringLiteral("最近：") +
                  QLocale::system().toString(QDateTime::fromSecsSinceEpoch(1'678'307'200).toLocalTime(),
                                             QLocale::ShortFormat));

    EXPECT_FALSE(IOSRules::showsRuntimeHint(false, true)) << "not before the inventory was read";
    EXPECT_TRUE(IOSRules::showsRuntimeHint(true, true));
    EXPECT_FALSE(IOSRules::showsRuntimeHint(true, false));

    using Choices = QList<IOSRules::Choice>;
    EXPECT_EQ(IOSRules::runtimeChoices({}), (Choices{{QStringLiteral("未安装"), QString()}}));
    EXPECT_EQ(IOSRules::typeChoices({}), (Choices{{QStringLiteral("不可用"), QString()}}));
    const QList<IOSRuntime> runtimes{{QStringLiteral("r.iOS-18-2"), QStringLiteral("iOS 18.2"), true}};
    EXPECT_EQ(IOSRules::runtimeChoices(runtimes),
              (Choices{{QStringLiteral("iOS 18.2"), QStringLiteral("r.iOS-18-2")}}));
    const QList<IOSDeviceType> types{{QStringLiteral("t.15"), QStringLiteral("iPhone 15")},
                                     {QStringLiteral("t.air"), QStringLiteral("iPad Air")}};
    EXPECT_EQ(IOSRules::typeChoices(types).size(), 2);
    EXPECT_EQ(IOSRules::typeName(types, QStringLiteral("t.air")), QStringLiteral("iPad Air"));
    EXPECT_EQ(IOSRules::typeName(types, QStringLiteral("t.gone")), std::nullopt);
    EXPECT_EQ(IOSRules::typeName(types, QString()), std::nullopt);
}

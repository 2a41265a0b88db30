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
    // A running device is shut down or renamed; its snapshots can only be deleted.
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

TEST(IOSRulesTest, AStateInBetweenReadsAsStoppedAndAVanishedTypeHasNoName)
{
    EXPECT_EQ(IOSRules::stateText(device("Creating")), QStringLiteral("iPhone 已停止"));
    const QList<IOSDeviceType> types{{QStringLiteral("t.15"), QStringLiteral("iPhone 15")},
                                     {QStringLiteral("t.air"), QStringLiteral("iPad Air")}};
    EXPECT_EQ(IOSRules::typeName(types, QStringLiteral("t.air")), QStringLiteral("iPad Air"));
    EXPECT_EQ(IOSRules::typeName(types, QStringLiteral("t.gone")), std::nullopt);
    EXPECT_EQ(IOSRules::typeName(types, QString()), std::nullopt);
}

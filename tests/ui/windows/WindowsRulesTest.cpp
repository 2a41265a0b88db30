#include "ui/windows/WindowsRules.h"
#include "ui/style/Stepper.h"

#include <gtest/gtest.h>

namespace {

constexpr qint64 GiB = qint64(1) << 30;

} // namespace

TEST(WindowsRulesTest, StepperRangesFollowTheHost)
{
    using WindowsRules::Range;
    EXPECT_EQ(WindowsRules::memoryRange(10 * GiB), (Range{4, 5}));
    EXPECT_EQ(WindowsRules::memoryRange(6 * GiB), (Range{4, 4}));
    EXPECT_EQ(WindowsRules::memoryRange(64 * GiB), (Range{4, 8}));
    EXPECT_EQ(Stepper::stepped(500, +1, WindowsRules::diskStep, WindowsRules::diskRange()), 512)
        << "a disk size off the grid stops at the end";
}

TEST(WindowsRulesTest, BusyWorkOrAMissingPathHoldActionsBack)
{
    EXPECT_FALSE(WindowsRules::canCreate(true, QString(), true));
    const auto working = WindowsRules::snapshotActions(true, true, true, true);
    EXPECT_TRUE(!working.create && !working.rollback && !working.menu && working.progress);
}

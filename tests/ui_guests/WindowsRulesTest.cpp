#include "ui/windows/WindowsRules.h"
#include "ui/style/Stepper.h"

#include <gtest/gtest.h>

namespace {

constexpr qint64 GiB = qint64(1) << 30;

} // namespace

TEST(WindowsRulesTest, StepperRangesFollowTheHost)
{
    using WindowsRules::Range;
    EXPECT_EQ(WindowsRules::coresRange(12), (Range{1, 8}));
    EXPECT_EQ(WindowsRules::coresRange(4), (Range{1, 4}));
    EXPECT_EQ(WindowsRules::coresRange(0), (Range{1, 1})) << "an unknown count still offers one core";
    EXPECT_EQ(WindowsRules::memoryRange(16 * GiB), (Range{4, 8}));
    EXPECT_EQ(WindowsRules::memoryRange(10 * GiB), (Range{4, 5}));
    EXPECT_EQ(WindowsRules::memoryRange(6 * GiB), (Range{4, 4}));
    EXPECT_EQ(WindowsRules::memoryRange(64 * GiB), (Range{4, 8}));
    EXPECT_EQ(WindowsRules::diskRange(), (Range{64, 512}));

    const Range disk = WindowsRules::diskRange();
    EXPECT_EQ(Stepper::stepped(64, +1, WindowsRules::diskStep, disk), 80);
    EXPECT_EQ(Stepper::stepped(64, -1, WindowsRules::diskStep, disk), 64);
    EXPECT_EQ(Stepper::stepped(500, +1, WindowsRules::diskStep, disk), 512)
        << "a value off the grid stops at the end";
    EXPECT_EQ(Stepper::stepped(512, +1, WindowsRules::diskStep, disk), 512);
}

TEST(WindowsRulesTest, EnablingRules)
{
    EXPECT_EQ(WindowsRules::isoPathText(QString()), QStringLiteral("尚未选择 ISO"));
    EXPECT_EQ(WindowsRules::isoPathText(QStringLiteral("/d/w.iso")), QStringLiteral("/d/w.iso"));
    EXPECT_FALSE(WindowsRules::showsRecheck(QString()));
    EXPECT_TRUE(WindowsRules::showsRecheck(QStringLiteral("/d/w.iso")));
    EXPECT_FALSE(WindowsRules::canCreate(true, QString()));
    EXPECT_FALSE(WindowsRules::canCreate(false, QStringLiteral("/d/w.iso")));
    EXPECT_TRUE(WindowsRules::canCreate(true, QStringLiteral("/d/w.iso")));

    const auto project = WindowsRules::projectActions(true, false);
    EXPECT_TRUE(project.open && project.associate && !project.progress);
    const auto noProject = WindowsRules::projectActions(false, false);
    EXPECT_TRUE(!noProject.open && noProject.associate);
    const auto busy = WindowsRules::projectActions(true, true);
    EXPECT_TRUE(!busy.open && !busy.associate && busy.progress);

    const auto none = WindowsRules::snapshotActions(true, false, true, false);
    EXPECT_TRUE(none.create && !none.rollback && !none.menu && none.openFolder);
    const auto latest = WindowsRules::snapshotActions(true, true, true, false);
    EXPECT_TRUE(latest.create && latest.rollback && latest.menu && !latest.progress);
    const auto working = WindowsRules::snapshotActions(true, true, true, true);
    EXPECT_TRUE(!working.create && !working.rollback && !working.menu && working.progress);
    EXPECT_FALSE(WindowsRules::snapshotActions(false, false, false, false).openFolder);
}

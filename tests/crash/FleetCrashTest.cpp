// Copying and deleting an Android device, killed at every file-system step: after the next load
// the fleet shows the old devices or the new ones, each whole, and no half-made folder remains.
#include "Await.h"
#include "CrashGuests.h"
#include "CrashHarness.h"
#include "LogProbe.h"
#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "services/FileSnapshotStore.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Tree = QMap<QString, QByteArray>;

class FleetCrashTest : public CrashHarness::Fixture<::testing::Test>
{
protected:
    /** The first device, installed, with data in its AVD folder. */
    void reset() { CrashGuests::AndroidGuest().prepare(root, "v1"); }

    /** The device's data without the files every start writes anew. */
    static Tree userData(const VMPaths &paths)
    {
        return tree(paths.avdFolder(), {QStringLiteral("config.ini")});
    }

    QStringList instanceFolders() const { return entries(VMPaths(root).instancesFolder()); }
};

TEST_F(FleetCrashTest, ACopyAppearsWholeOrNotAtAll)
{
    reset();
    const Tree source = userData(VMPaths(root));
    const int kills = CrashHarness::killAtEveryStep(
        {QStringLiteral("android-copy"), root}, [&] { reset(); },
        [&](bool killed, const QString &where) {
            const bool unfinished = !instanceFolders().isEmpty() &&
                                    !QFile::exists(VMPaths(root).instanceFolder(instanceFolders().first()) +
                                                   QStringLiteral("/instance-name.txt"));
            LogProbe::reset();
            VMFleet fleet(root);
            EXPECT_EQ(LogProbe::text().contains(QStringLiteral("[WARN] [Android] ")), unfinished)
                << where.toStdString();

            QStringList devices;
            for (const VMModel *model : fleet.models()) {
                devices.append(model->id());
                EXPECT_EQ(userData(model->paths()), source)
                    << where.toStdString() << " " << model->name().toStdString();
            }
            EXPECT_EQ(devices.size(), killed ? devices.size() : 2) << where.toStdString();
            devices.removeOne(QStringLiteral("primary"));
            EXPECT_EQ(instanceFolders(), devices) << where.toStdString() << ": a folder that is no device";
        });
    EXPECT_GT(kills, 5);
}

TEST_F(FleetCrashTest, ADeletedDeviceGoesWithItsSnapshotsOrStaysWhole)
{
    QString id;
    Tree data;
    QList<SnapshotRecord> snapshots;
    reset();
    {
        VMFleet fleet(root);
        fleet.addDevice();
        VMModel *added = fleet.current();
        ASSERT_NE(added->id(), QStringLiteral("primary"));
        id = added->id();
        writeFile(added->paths().avdFolder() + QStringLiteral("/userdata-qemu.img"), "added");
        ASSERT_TRUE(await(added->createSnapshot()).done);
        ASSERT_EQ(added->error(), QString());
        data = userData(added->paths());
        snapshots = added->snapshots();
    }
    const QString before = dir.filePath(QStringLiteral("before"));
    ASSERT_TRUE(CrashHarness::copyTree(root, before));
    const auto prepare = [&] { ASSERT_TRUE(CrashHarness::copyTree(before, root)); };
    const QString collection = VMPaths(root).snapshotCollection(id);

    const int kills = CrashHarness::killAtEveryStep(
        {QStringLiteral("android-delete"), root, id}, prepare, [&](bool killed, const QString &where) {
            const bool orphaned =
                QFileInfo::exists(collection) && !QFileInfo::exists(VMPaths(root).instanceFolder(id));
            LogProbe::reset();
            VMFleet fleet(root);
            EXPECT_EQ(LogProbe::text().contains(QStringLiteral("[WARN] [Android] 发现已删除设备留下的快照")),
                      orphaned)
                << where.toStdString();
            const QList<VMModel *> &models = fleet.models();
            const auto found = std::find_if(models.begin(), models.end(),
                                            [&](const VMModel *model) { return model->id() == id; });
            const VMModel *kept = found == models.end() ? nullptr : *found;
            if (kept) {
                EXPECT_TRUE(killed) << where.toStdString();
                EXPECT_EQ(userData(kept->paths()), data) << where.toStdString();
                EXPECT_EQ(kept->snapshots(), snapshots) << where.toStdString();
            } else {
                EXPECT_FALSE(QFileInfo::exists(VMPaths(root).instanceFolder(id))) << where.toStdString();
                EXPECT_FALSE(QFileInfo::exists(collection))
                    << where.toStdString() << ": snapshots without their device";
            }
            EXPECT_EQ(fleet.models().size(), kept ? 2 : 1) << where.toStdString();
        });
    EXPECT_GT(kills, 0);
}

} // namespace

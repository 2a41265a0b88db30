// Copying and deleting an Android device, killed at every file-system step: after the next load
// the fleet shows the old devices or the new ones, each whole, and no half-made folder remains.
// And the Android component installation, killed the same way: after the next load every package is
// either installed whole or not marked at all, the whole installation is marked only when every
// package is, and nothing of the unpacking or of an installed package's archive is left.
#include "Await.h"
#include "CrashGuests.h"
#include "CrashHarness.h"
#include "LogProbe.h"
#include "android/ComponentInstallFixture.h"
#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "services/FileSnapshotStore.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

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

class InstallCrashTest : public CrashHarness::Fixture<::testing::Test>
{
protected:
    void SetUp() override
    {
        Fixture::SetUp();
        // Addresses nobody answers: every archive is already downloaded and must not be fetched again.
        writeFile(manifestFile,
                  QJsonDocument(components.manifest(QStringLiteral("http://127.0.0.1:9/"))).toJson());
    }

    void reset()
    {
        QDir(root).removeRecursively();
        for (int i = 0; i < 3; ++i) {
            writeFile(archive(i), components.archives[i]);
        }
    }

    /** Where package `i`'s archive waits in the downloads folder. */
    QString archive(int i) const { return VMPaths(root).downloads() + u'/' + components.names[i]; }

    /** Package `i`'s installed folder as it must be: what its archive holds, and the marker. */
    Tree installed(int i) const
    {
        Tree folder = components.contents[i];
        for (const QString &name : folder.keys()) {
            if (name.contains(u'/')) {
                folder.insert(name.section(u'/', 0, 0), "<dir>");
            }
        }
        folder.insert(QStringLiteral(".corvane-package"), marker(i));
        return folder;
    }

    QByteArray marker(int i) const { return sha1(components.archives[i]).toUtf8(); }

    const Components components;
    QString manifestFile = dir.filePath(QStringLiteral("packages.json"));
    const ScopedEnv manifestNamed{"CORVANE_ANDROID_MANIFEST", manifestFile.toUtf8()};
};

TEST_F(InstallCrashTest, EveryPackageIsInstalledWholeOrNotMarked)
{
    const VMPaths paths(root);
    const auto folder = [&](int i) -> QString { return paths.sdk() + u'/' + components.destinations[i]; };
    const auto marked = [&](int i) {
        return readFile(folder(i) + QStringLiteral("/.corvane-package")) == marker(i);
    };
    const int kills = CrashHarness::killAtEveryStep(
        {QStringLiteral("android-install"), root}, [&] { reset(); },
        [&](bool killed, const QString &where) {
            bool leftovers =
                !QDir(paths.downloads()).entryList({QStringLiteral("staging-*")}, QDir::Dirs).isEmpty();
            for (int i = 0; i < 3; ++i) {
                leftovers = leftovers || (QFile::exists(archive(i)) && marked(i));
            }
            LogProbe::reset();
            VMFleet fleet(root);
            EXPECT_EQ(LogProbe::text().contains(
                          QStringLiteral("[WARN] [Android] 已清除中断的安卓组件安装留下的文件")),
                      leftovers)
                << where.toStdString();
            const std::string at = where.toStdString();
            int complete = 0;
            for (int i = 0; i < 3; ++i) {
                if (marked(i)) {
                    ++complete;
                    EXPECT_EQ(tree(folder(i)), installed(i))
                        << at << " " << components.sources[i].toStdString();
                    EXPECT_FALSE(QFile::exists(archive(i))) << at;
                } else {
                    EXPECT_EQ(readFile(archive(i)), components.archives[i])
                        << at << ": the verified archive of an unfinished package is kept";
                }
            }
            const bool whole = QFile::exists(paths.installedMarker());
            EXPECT_TRUE(!whole || complete == 3) << at;
            EXPECT_EQ(fleet.current()->installed(), whole) << at;
            EXPECT_TRUE(killed || whole) << at;
            EXPECT_EQ(QDir(paths.downloads())
                          .entryList({QStringLiteral("staging-*")}, QDir::AllEntries | QDir::Hidden),
                      QStringList())
                << at;
            EXPECT_EQ(hiddenEntries(paths.downloads()), QStringList()) << at;
        });
    EXPECT_GT(kills, 10);
}

} // namespace

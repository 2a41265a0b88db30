// The Android component installation, killed at every file-system step: after the next load every
// package is either installed whole or not marked at all, the whole installation is marked only when
// every package is, and nothing of the unpacking or of an installed package's archive is left.
#include "CrashHarness.h"
#include "android/ComponentInstallFixture.h"
#include "android/VMFleet.h"

namespace {

using Tree = QMap<QString, QByteArray>;

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

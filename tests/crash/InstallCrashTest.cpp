// The Android component installation, killed at every file-system step: after the next load every
// package is either installed whole or not marked at all, the whole installation is marked only when
// every package is, and nothing of the unpacking or of an installed package's archive is left.
#include "CrashHarness.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "ZipWriter.h"
#include "android/SDKPackage.h"
#include "android/VMFleet.h"
#include "android/VMModel.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Tree = QMap<QString, QByteArray>;

struct Package
{
    QString archiveName;
    QString destination;
    QString source;
    QByteArray archive;
    /** The installed folder as it must be: the archive's folder and the marker. */
    Tree installed;
};

class InstallCrashTest : public CrashHarness::Fixture<::testing::Test>
{
protected:
    void SetUp() override
    {
        Fixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        const QString fakes = QStringLiteral(CORVANE_FAKES_DIR);
        addPackage(QStringLiteral("emulator.zip"), QStringLiteral("emulator"), QStringLiteral("emulator"),
                   {{QStringLiteral("emulator"), readFile(fakes + QStringLiteral("/emulator"))}});
        addPackage(QStringLiteral("platform-tools.zip"), QStringLiteral("platform-tools"),
                   QStringLiteral("platform-tools"),
                   {{QStringLiteral("adb"), readFile(fakes + QStringLiteral("/adb"))}});
        addPackage(QStringLiteral("system-image.zip"),
                   QStringLiteral("system-images/android-34/default/arm64-v8a"), QStringLiteral("arm64-v8a"),
                   {{QStringLiteral("system.img"), QByteArray(4096, 's')},
                    {QStringLiteral("kernel-ranchu"), QByteArray(1024, 'k')},
                    {QStringLiteral("data/build.prop"), "ro.build=34"}});
        manifestFile = dir.filePath(QStringLiteral("packages.json"));
        writeFile(manifestFile, manifest());
        qputenv("CORVANE_ANDROID_MANIFEST", manifestFile.toUtf8());
    }
    void TearDown() override { qunsetenv("CORVANE_ANDROID_MANIFEST"); }

    void addPackage(const QString &archiveName, const QString &destination, const QString &source,
                    const QList<QPair<QString, QByteArray>> &files)
    {
        ZipWriter zip;
        zip.addFolder(source);
        Package package{archiveName, destination, source, {}, {}};
        for (const auto &[name, content] : files) {
            if (name.contains(u'/')) {
                zip.addFolder(source + u'/' + name.section(u'/', 0, 0));
                package.installed.insert(name.section(u'/', 0, 0), "<dir>");
            }
            zip.addFile(source + u'/' + name, content, 0755);
            package.installed.insert(name, content);
        }
        package.archive = zip.archive();
        package.installed.insert(QStringLiteral(".corvane-package"), sha1(package.archive).toUtf8());
        packages.append(package);
    }

    static QString sha1(const QByteArray &bytes)
    {
        return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
    }

    /** Addresses nobody answers: every archive is already downloaded and must not be fetched again. */
    QByteArray manifest() const
    {
        QJsonArray rows;
        for (const Package &package : packages) {
            rows.append(QJsonObject{
                {QStringLiteral("id"), package.source},
                {QStringLiteral("name"), package.source},
                {QStringLiteral("url"), QString(QStringLiteral("http://127.0.0.1:9/") + package.archiveName)},
                {QStringLiteral("sha1"), sha1(package.archive)},
                {QStringLiteral("size"), double(package.archive.size())},
                {QStringLiteral("destination"), package.destination},
                {QStringLiteral("source"), package.source},
            });
        }
        return QJsonDocument(rows).toJson();
    }

    void reset()
    {
        QDir(root).removeRecursively();
        const VMPaths paths(root);
        for (const Package &package : packages) {
            writeFile(paths.downloads() + u'/' + package.archiveName, package.archive);
        }
    }

    QString manifestFile;
    QList<Package> packages;
};

TEST_F(InstallCrashTest, EveryPackageIsInstalledWholeOrNotMarked)
{
    const VMPaths paths(root);
    const int kills = CrashHarness::killAtEveryStep(
        {QStringLiteral("android-install"), root}, [&] { reset(); },
        [&](bool killed, const QString &where) {
            const bool leftovers =
                !QDir(paths.downloads()).entryList({QStringLiteral("staging-*")}, QDir::Dirs).isEmpty() ||
                std::any_of(packages.cbegin(), packages.cend(), [&](const Package &package) {
                    return QFile::exists(paths.downloads() + u'/' + package.archiveName) &&
                           readFile(paths.sdk() + u'/' + package.destination +
                                    QStringLiteral("/.corvane-package")) == sha1(package.archive).toUtf8();
                });
            LogProbe::reset();
            VMFleet fleet(root);
            EXPECT_EQ(LogProbe::text().contains(
                          QStringLiteral("[WARN] [Android] 已清除中断的安卓组件安装留下的文件")),
                      leftovers)
                << where.toStdString();
            const std::string at = where.toStdString();
            int complete = 0;
            for (const Package &package : packages) {
                const QString folder = paths.sdk() + u'/' + package.destination;
                const bool marked =
                    readFile(folder + QStringLiteral("/.corvane-package")) == sha1(package.archive).toUtf8();
                if (marked) {
                    ++complete;
                    EXPECT_EQ(tree(folder), package.installed) << at << " " << package.source.toStdString();
                    EXPECT_FALSE(QFile::exists(paths.downloads() + u'/' + package.archiveName)) << at;
                } else {
                    EXPECT_EQ(readFile(paths.downloads() + u'/' + package.archiveName), package.archive)
                        << at << ": the verified archive of an unfinished package is kept";
                }
            }
            const bool installed = QFile::exists(paths.installedMarker());
            EXPECT_TRUE(!installed || complete == packages.size()) << at;
            EXPECT_EQ(fleet.current()->installed(), installed) << at;
            EXPECT_TRUE(killed || installed) << at;
            EXPECT_EQ(QDir(paths.downloads())
                          .entryList({QStringLiteral("staging-*")}, QDir::AllEntries | QDir::Hidden),
                      QStringList())
                << at;
            EXPECT_EQ(CrashHarness::hiddenEntries(paths.downloads()), QStringList()) << at;
        });
    EXPECT_GT(kills, 10);
}

} // namespace

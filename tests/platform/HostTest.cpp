#include "platform/Host.h"
#include "FakeHost.h"
#include "TestFiles.h"
#include "platform/Error.h"
#include "platform/Tools.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(Host, DataLivesUnderTheSandboxedDataFolderAndTheRealFactsAreSane)
{
    const QString home = QDir::homePath();
    EXPECT_TRUE(Host::dataRoot().startsWith(home)) << Host::dataRoot().toStdString();
    EXPECT_TRUE(Host::dataRoot().endsWith(QStringLiteral("/CorvaneBeta")));
    EXPECT_TRUE(Host::vphoneRoot().endsWith(QStringLiteral("/Corvane")));
    EXPECT_EQ(QFileInfo(Host::dataRoot()).path(), QFileInfo(Host::vphoneRoot()).path());

    const Host &host = Host::current();
    EXPECT_GE(host.activeProcessorCount(), 1);
    EXPECT_GT(host.physicalMemory(), qint64(256) << 20);
    // A folder that does not exist yet reports its nearest existing ancestor's volume.
    EXPECT_GT(host.availableCapacity(QDir::homePath() + QStringLiteral("/not/yet/there")), 0);
}

TEST(Host, TheDesktopsAnimationSwitchIsFollowedAsItsFilesChange)
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString kde = config + QStringLiteral("/kdeglobals");
    const QString gtk = config + QStringLiteral("/gtk-3.0/settings.ini");
    const Host &host = Host::current();
    EXPECT_FALSE(host.reduceMotion());
    ASSERT_TRUE(writeFile(kde, "[KDE]\nAnimationDurationFactor=0\n"));
    EXPECT_TRUE(host.reduceMotion());
    ASSERT_TRUE(writeFile(kde, "[KDE]\nAnimationDurationFactor=1.5\n"));
    EXPECT_FALSE(host.reduceMotion());
    ASSERT_TRUE(writeFile(gtk, "[Settings]\ngtk-enable-animations=false\n"));
    EXPECT_TRUE(host.reduceMotion());
    QFile::remove(gtk);
    QFile::remove(kde);
    EXPECT_FALSE(host.reduceMotion());
}

TEST(Host, RevealFolderMakesTheFolderFirstAndMoveToTrashRemovesTheFileOrSaysWhy)
{
    FakeHost fake;
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("snapshots/linux"));
    EXPECT_TRUE(Host::current().revealFolder(folder));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    // An existing folder is opened as it is, its content untouched.
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/kept"), "k"));
    EXPECT_TRUE(Host::current().revealFolder(folder));
    EXPECT_EQ(readFile(folder + QStringLiteral("/kept")), "k");
    EXPECT_EQ(fake.opened(), (QList<QUrl>{QUrl::fromLocalFile(folder), QUrl::fromLocalFile(folder)}));

    const QString path = dir.filePath(QStringLiteral("doomed.txt"));
    ASSERT_TRUE(writeFile(path, "x"));
    Host::current().moveToTrash(path);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_THROW(Host::current().moveToTrash(dir.filePath(QStringLiteral("missing"))), SystemError);
}

// The clone's and the unpacking's command lines run for real in RealClone and the component installation
// tests; the probe's runs only where no process table can be read, so it is checked here.
TEST(Tools, TheOpenFilesProbeAsksForTheProcessIdsOfEveryHolderUnderTheFolder)
{
    EXPECT_EQ(Tools::openFilesProbe(QStringLiteral("/d")).arguments,
              (QStringList{QStringLiteral("-t"), QStringLiteral("+D"), QStringLiteral("/d")}));
}

#ifdef Q_OS_LINUX
TEST(Tools, AMissingToolIsTracedToTheDebianPackageThatShipsIt)
{
    const QStringList paths{Tools::clone({}, {}).program,
                            Tools::openFilesProbe({}).program,
                            Tools::unpackArchive({}, {}).program,
                            Tools::listDiscImage({}).program,
                            Tools::qemu(),
                            Tools::qemuFirmwareCode(),
                            Tools::qemuFirmwareVariables()};
    int confirmed = 0;
    for (const QString &path : paths) {
        const QString package = Tools::providingPackage(path);
        ASSERT_FALSE(package.isEmpty()) << path.toStdString();
        EXPECT_EQ(Tools::installAdvice(path),
                  QStringLiteral("请安装 Debian 软件包 ") + package + QStringLiteral(" 后重试。"));
        // Where the tool is installed here, the package database must name the same package.
        QProcess owner;
        owner.start(QStringLiteral("/usr/bin/dpkg-query"), {QStringLiteral("-S"), path});
        if (owner.waitForFinished() && owner.exitStatus() == QProcess::NormalExit && owner.exitCode() == 0) {
            const QString line = QString::fromUtf8(owner.readAllStandardOutput()).trimmed();
            EXPECT_EQ(line.section(QStringLiteral(": "), 0, 0).section(u':', 0, 0), package)
                << line.toStdString();
            ++confirmed;
        }
    }
    EXPECT_GT(confirmed, 0) << "no tool could be checked against the package database";
    EXPECT_EQ(Tools::providingPackage(QStringLiteral("/usr/local/bin/unzip")), QString());
    EXPECT_EQ(Tools::installAdvice(QStringLiteral("/nonexistent/tool")), QString());
}
#endif

#include "ComponentInstallFixture.h"
#include "TestFiles.h"
#include "services/FileIO.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

TEST_F(ComponentInstallTest, InstallsFromTheMirrorOnlyWhenItReadsThenBootsAndASecondRunFetchesNothing)
{
    // A mirror's manifest named in the environment replaces the built-in one; one that cannot be read
    // stops the installation before any download.
    QTemporaryDir folder;
    const QString mirror = folder.filePath(QStringLiteral("mirror.json"));
    const ScopedEnv named("CORVANE_ANDROID_MANIFEST", QFile::encodeName(mirror));
    VMModel &unread = device(std::nullopt);
    unread.installation().setLicenseChecked(true);
    await(unread.installation().install());
    EXPECT_FALSE(unread.installed());
    EXPECT_TRUE(unread.error().contains(QStringLiteral("mirror.json"))) << unread.error().toStdString();
    EXPECT_TRUE(server.requests().isEmpty());

    const QByteArray bytes = manifest();
    ASSERT_TRUE(writeFile(mirror, bytes));
    VMModel &android = device(std::nullopt);
    EXPECT_FALSE(android.installed());
    EXPECT_EQ(android.status(), QStringLiteral("首次使用 · 需要安装安卓环境"));

    android.installation().requestInstall();
    ASSERT_TRUE(android.installation().showLicense());
    android.installation().acceptAndInstall();
    EXPECT_FALSE(android.busy()) << "nothing happens before the agreement box is checked";
    android.installation().setLicenseChecked(true);
    android.installation().acceptAndInstall();
    EXPECT_FALSE(android.installation().showLicense());
    ASSERT_TRUE(waitUntil([&] { return !android.busy(); }, 30000));

    ASSERT_TRUE(android.error().isEmpty()) << android.error().toStdString();
    EXPECT_TRUE(android.installed());
    EXPECT_EQ(android.status(), QStringLiteral("安卓环境已就绪"));
    EXPECT_EQ(android.detail(), QStringLiteral("点击「启动安卓」，首次启动可能需要 1–3 分钟。"));
    EXPECT_DOUBLE_EQ(android.installation().progress(), 1.0);
    const VMPaths &files = android.paths();
    EXPECT_EQ(readFile(files.installedMarker()), bytes);
    EXPECT_TRUE(QFile::exists(files.configIni()));
    const QString record = QString::fromUtf8(readFile(files.licenseRecord()));
    EXPECT_TRUE(record.startsWith(QStringLiteral("Accepted in Corvane at ")));
    EXPECT_TRUE(record.endsWith(QStringLiteral("\n\n") + ComponentInstallation::license()));
    EXPECT_EQ(readFile(files.sdk() + QStringLiteral("/platform-tools/.corvane-package")),
              sha1(components.archives[1]).toLatin1());
    // Archives and staging folders are gone once installed.
    EXPECT_EQ(entries(files.downloads()), QStringList());
    EXPECT_EQ(server.requests().size(), 3);

    android.start();
    ASSERT_TRUE(waitUntil([&] { return android.status() == QStringLiteral("安卓正在运行"); }, 15000))
        << android.status().toStdString() << " / " << android.error().toStdString();
    await(android.stop());

    server.clearRequests();
    ASSERT_TRUE(await(android.installation().install()).done);
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_EQ(android.status(), QStringLiteral("安卓环境已就绪"));
    EXPECT_DOUBLE_EQ(android.installation().progress(), 0.0);
}

TEST_F(ComponentInstallTest, CancellingKeepsTheSideFileAndTheNextRunResumes)
{
    TestHttpServer::Resource slow{components.archives[0]};
    slow.pieceBytes = 4096;
    slow.pieceIntervalMs = 20;
    server.serve(paths[0], slow);
    VMModel &android = device(manifest());
    android.installation().setLicenseChecked(true);
    android.installation().acceptAndInstall();
    ASSERT_TRUE(waitUntil([&] { return android.installation().progress() > 0.05; }, 15000));
    EXPECT_TRUE(android.status().startsWith(QStringLiteral("下载 1/3 · ")));
    EXPECT_EQ(android.detail(), QStringLiteral("来源：dl.google.com · 请保持网络连接"));
    android.installation().cancel();
    ASSERT_TRUE(waitUntil([&] { return !android.busy(); }, 15000));
    EXPECT_EQ(android.status(), QStringLiteral("安装已取消"));
    EXPECT_EQ(android.detail(), QStringLiteral("已安装的组件和下载断点会保留，重试时继续。"));
    EXPECT_TRUE(android.error().isEmpty());
    const QString side = android.paths().downloads() + QStringLiteral("/emulator-linux_x64-1.zip.partial");
    const qint64 kept = QFileInfo(side).size();
    EXPECT_GT(kept, 0);

    server.serve(paths[0], components.archives[0]);
    server.clearRequests();
    installAndWait(android);
    EXPECT_TRUE(android.installed()) << android.error().toStdString();
    ASSERT_FALSE(server.requests().isEmpty());
    EXPECT_EQ(server.requests().first().header("Range"), "bytes=" + QByteArray::number(kept) + "-");
}

TEST_F(ComponentInstallTest, FailuresLeaveNothingHalfDone)
{
    host.capacity = ComponentInstallation::minimumFreeBytes;
    VMModel *android = &device(manifest());
    installAndWait(*android);
    EXPECT_EQ(android->status(), QStringLiteral("安装未完成"));
    EXPECT_EQ(android->error(),
              QStringLiteral("至少需要 10GB 可用磁盘空间用于下载、解压和首次启动。请释放空间后重试。"));
    EXPECT_TRUE(server.requests().isEmpty());
    host.capacity = qint64(100) << 30;

    android = &device(manifest(1, {{QStringLiteral("sha1"), QString(40, u'0')}}));
    installAndWait(*android);
    EXPECT_EQ(android->error(), QStringLiteral("下载文件校验失败，已丢弃异常文件。请重试。"));
    EXPECT_EQ(android->detail(), QStringLiteral("已安装的组件和下载断点会保留，重试时继续。"));
    EXPECT_FALSE(
        QFile::exists(android->paths().downloads() + QStringLiteral("/platform-tools_r1-linux.zip")));
    // The first package stays installed for the next attempt.
    EXPECT_TRUE(QFile::exists(android->paths().sdk() + QStringLiteral("/emulator/.corvane-package")));
    EXPECT_FALSE(android->installed());

    android = &device(manifest(2, {{QStringLiteral("source"), QStringLiteral("x86_64")}}));
    installAndWait(*android);
    EXPECT_EQ(android->error(), QStringLiteral("安装包目录不符合预期：x86_64"));

    // An archive that fails to unpack is kept, so the next attempt fetches nothing and fails alike.
    server.clearRequests();
    android = &device(manifestServing(0, "not a zip archive, but the one the manifest names"));
    installAndWait(*android);
    EXPECT_EQ(android->status(), QStringLiteral("安装未完成"));
    const QString failure = android->error();
    EXPECT_TRUE(failure.contains(QStringLiteral("End-of-central-directory"))) << failure.toStdString();
    EXPECT_EQ(server.requests().size(), 1);
    const QString downloads = android->paths().downloads();
    EXPECT_TRUE(QFileInfo(downloads + QStringLiteral("/emulator-linux_x64-1.zip")).isFile());
    EXPECT_FALSE(FileIO::exists(downloads + QStringLiteral("/staging-0")));
    server.clearRequests();
    await(android->installation().install());
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_EQ(android->error(), failure);
}

TEST_F(ComponentInstallTest, PathsFromTheManifestOrTheArchiveNeverLeaveTheirFolders)
{
    for (const QString &hostile : {QStringLiteral("../outside"), QStringLiteral("/tmp/outside"),
                                   QStringLiteral("emulator/../../outside")}) {
        VMModel &android = device(manifest(0, {{QStringLiteral("destination"), hostile}}));
        installAndWait(android);
        EXPECT_EQ(android.status(), QStringLiteral("安装未完成"));
        EXPECT_EQ(android.error(), QStringLiteral("安装清单中的路径无效：") + hostile);
    }
    EXPECT_FALSE(QFileInfo::exists(root.filePath(QStringLiteral("outside"))));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/tmp/outside")));

    ZipWriter hostileArchive;
    hostileArchive.addFile(QStringLiteral("emulator/emulator"), "#!/bin/sh\n", 0755);
    hostileArchive.addFile(QStringLiteral("../../escaped.txt"), "gotcha");
    VMModel &android = device(manifestServing(0, hostileArchive.archive()));
    installAndWait(android);
    EXPECT_FALSE(QFileInfo::exists(android.paths().root() + QStringLiteral("/escaped.txt")));
    EXPECT_FALSE(
        QFileInfo::exists(QFileInfo(android.paths().root()).path() + QStringLiteral("/escaped.txt")));
}

TEST_F(ComponentInstallTest, LinksInAnArchiveNeverLeadOutOfWhatIsInstalled)
{
    QTemporaryDir outside;
    const QString outsideMarker = outside.filePath(QStringLiteral("marker"));
    const QByteArray emulatorProgram = readFile(QStringLiteral(CORVANE_FAKES_DIR "/emulator"));
    struct Hostile
    {
        QString entry;
        QString target;
    };
    const Hostile hostile[] = {
        // The marker would be written through it into a folder outside the data root.
        {QStringLiteral("emulator/.corvane-package"), outsideMarker},
        {QStringLiteral("emulator/lib"), QStringLiteral("../../outside")},
        // Inside the unpacking, but the installed folder goes on its own and the link with it.
        {QStringLiteral("emulator/up"), QStringLiteral("..")},
        // Read as text it stays inside; followed through the harmless link below it does not.
        {QStringLiteral("emulator/b"), QStringLiteral("d1/d2/up/../..")},
    };
    for (const auto &[entry, target] : hostile) {
        ZipWriter archive;
        archive.addFolder(QStringLiteral("emulator"));
        archive.addFile(QStringLiteral("emulator/emulator"), emulatorProgram, 0755);
        archive.addFolder(QStringLiteral("emulator/d1/d2"));
        archive.addSymlink(QStringLiteral("emulator/d1/d2/up"), QStringLiteral(".."));
        archive.addSymlink(entry, target);
        VMModel &android = device(manifestServing(0, archive.archive()));
        installAndWait(android);
        EXPECT_EQ(android.status(), QStringLiteral("安装未完成"));
        EXPECT_EQ(android.error(), QStringLiteral("安装包中的链接指向安装目录之外，已拒绝安装：") + entry);
        EXPECT_FALSE(FileIO::exists(android.paths().sdk() + QStringLiteral("/emulator")));
        EXPECT_FALSE(FileIO::exists(android.paths().downloads() + QStringLiteral("/staging-0")));
        EXPECT_FALSE(FileIO::exists(outsideMarker));
    }

    // Links that stay inside the package are installed as links.
    ZipWriter archive;
    archive.addFolder(QStringLiteral("emulator"));
    archive.addFile(QStringLiteral("emulator/emulator"), emulatorProgram, 0755);
    archive.addFile(QStringLiteral("emulator/lib64/libfoo.so.1"), "library");
    archive.addSymlink(QStringLiteral("emulator/lib64/libfoo.so"), QStringLiteral("libfoo.so.1"));
    archive.addFolder(QStringLiteral("emulator/d1/d2"));
    archive.addSymlink(QStringLiteral("emulator/d1/d2/up"), QStringLiteral(".."));
    const QByteArray bytes = archive.archive();
    VMModel &android = device(manifestServing(0, bytes));
    installAndWait(android);
    ASSERT_TRUE(android.installed()) << android.error().toStdString();
    const QFileInfo library(android.paths().sdk() + QStringLiteral("/emulator/lib64/libfoo.so"));
    EXPECT_TRUE(library.isSymLink());
    EXPECT_EQ(readFile(library.filePath()), "library");
    EXPECT_EQ(readFile(android.paths().sdk() + QStringLiteral("/emulator/.corvane-package")),
              sha1(bytes).toLatin1());
}

TEST_F(ComponentInstallTest, AnOlderOrUnreadableAcceptanceAndAMarkerThatNeverEndsCountAsAbsent)
{
    VMModel &android = device(manifest());
    QDir().mkpath(root.path());
    ASSERT_TRUE(writeFile(android.paths().licenseRecord(),
                          "Accepted in Corvane at 2020-01-01T00:00:00Z\n\nAn older licence text."));
    android.installation().requestInstall();
    EXPECT_TRUE(android.installation().showLicense()) << "an older licence is asked for again";
    EXPECT_FALSE(android.installation().licenseChecked());
    EXPECT_FALSE(android.busy());
    installAndWait(android);
    ASSERT_TRUE(android.installed()) << android.error().toStdString();
    const QString marker = android.paths().sdk() + QStringLiteral("/emulator/.corvane-package");
    const QString record = android.paths().licenseRecord();
    for (const QString &path : {marker, record}) {
        ASSERT_TRUE(QFile::remove(path) && QFile::link(QStringLiteral("/dev/zero"), path));
    }

    server.clearRequests();
    android.installation().requestInstall();
    EXPECT_TRUE(android.installation().showLicense()) << "an unreadable acceptance is no acceptance";
    android.installation().setLicenseChecked(true);
    android.installation().acceptAndInstall();
    ASSERT_TRUE(waitUntil([&] { return !android.busy(); }, 30000));
    ASSERT_TRUE(android.installed()) << android.error().toStdString();
    ASSERT_EQ(server.requests().size(), 1) << "only the package whose marker could not be read comes again";
    EXPECT_EQ(server.requests().first().path, paths[0]);
    for (const QString &path : {marker, record}) {
        EXPECT_FALSE(QFileInfo(path).isSymLink()) << path.toStdString();
    }
    EXPECT_EQ(readFile(marker), sha1(components.archives[0]).toLatin1());
}

TEST_F(ComponentInstallTest, LoadClearsWhatAKilledInstallationLeftAndNothingElse)
{
    const QByteArray bytes = manifest();
    QTemporaryDir folder;
    const QString manifestFile = folder.filePath(QStringLiteral("packages.json"));
    ASSERT_TRUE(writeFile(manifestFile, bytes));
    const ScopedEnv named("CORVANE_ANDROID_MANIFEST", QFile::encodeName(manifestFile));

    const VMPaths files(root.path());
    const QString downloads = files.downloads();
    const auto inDownloads = [&](const QString &name) -> QString { return downloads + u'/' + name; };
    // Killed while unpacking, and killed after marking the first package.
    ASSERT_TRUE(writeFile(inDownloads(QStringLiteral("staging-0/emulator/emulator")), "half"));
    ASSERT_TRUE(QDir().mkpath(inDownloads(QStringLiteral("staging-12"))));
    ASSERT_TRUE(writeFile(inDownloads(QStringLiteral("emulator-linux_x64-1.zip")), components.archives[0]));
    ASSERT_TRUE(writeFile(files.sdk() + QStringLiteral("/emulator/.corvane-package"),
                          sha1(components.archives[0]).toUtf8()));
    // What the next installation still needs, and what the installer never made.
    ASSERT_TRUE(
        writeFile(inDownloads(QStringLiteral("platform-tools_r1-linux.zip")), components.archives[1]));
    ASSERT_TRUE(writeFile(inDownloads(QStringLiteral("arm64-v8a-34_r04.zip.partial")), "resume from here"));
    ASSERT_TRUE(writeFile(inDownloads(QStringLiteral("notes.txt")), "mine"));
    ASSERT_TRUE(QDir().mkpath(inDownloads(QStringLiteral("staging-x"))));
    ASSERT_TRUE(writeFile(folder.filePath(QStringLiteral("elsewhere/kept.txt")), "mine"));
    ASSERT_TRUE(
        QFile::link(folder.filePath(QStringLiteral("elsewhere")), inDownloads(QStringLiteral("staging-3"))));
    ASSERT_TRUE(QDir().mkpath(root.filePath(QStringLiteral("staging-5"))));
    const QStringList untouched = entries(downloads);

    // While another copy installs, what it works on stays, and no second installation starts.
    const int otherCopy =
        ::open(QFile::encodeName(downloads).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(otherCopy, LOCK_EX | LOCK_NB), 0);
    VMModel &meanwhile = device(bytes);
    EXPECT_EQ(entries(downloads), untouched);
    installAndWait(meanwhile);
    EXPECT_EQ(meanwhile.error(), QStringLiteral("另一个窗口正在安装安卓环境，请等它完成后再试。"));
    EXPECT_EQ(entries(downloads), untouched);
    ::close(otherCopy);

    LogProbe::reset();
    device(bytes);
    EXPECT_EQ(entries(downloads),
              QStringList({QStringLiteral("arm64-v8a-34_r04.zip.partial"), QStringLiteral("notes.txt"),
                           QStringLiteral("platform-tools_r1-linux.zip"), QStringLiteral("staging-3"),
                           QStringLiteral("staging-x")}));
    EXPECT_EQ(readFile(folder.filePath(QStringLiteral("elsewhere/kept.txt"))), "mine");
    EXPECT_TRUE(QFileInfo(root.filePath(QStringLiteral("staging-5"))).isDir());
    const QStringList warnings = LogProbe::entries().filter(QStringLiteral("[WARN]"));
    ASSERT_EQ(warnings.size(), 1) << warnings.join(u'\n').toStdString();
    EXPECT_TRUE(warnings[0].endsWith(QStringLiteral("[WARN] [Android] 已清除中断的安卓组件安装留下的文件（") +
                                     downloads +
                                     QStringLiteral("）：staging-0、staging-12、emulator-linux_x64-1.zip")))
        << warnings[0].toStdString();
    // That a load with nothing to clear says nothing is InstallCrashTest's.
}

} // namespace

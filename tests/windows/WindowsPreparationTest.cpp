#include "WindowsFixture.h"

#include "platform/Error.h"

#include <QRegularExpression>

#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class WindowsPreparationTest : public WindowsFixture
{
protected:
    std::optional<QString> inspect(const QString &iso, const WindowsPreparation::Inspection &how)
    {
        return await(WindowsPreparation::inspectISO(iso, how)).error;
    }

    /** Nothing was listed, attached or left behind. */
    void expectUntouched(const char *what)
    {
        EXPECT_EQ(commandsStarted(), QStringList()) << what;
        EXPECT_TRUE(hdiutilCalls().isEmpty()) << what;
        EXPECT_EQ(entries(temporary()), QStringList()) << what;
    }
};

TEST_F(WindowsPreparationTest, TheGateTurnsAwayUnfinishedAndTinyFilesWithoutLookingInside)
{
    const QString good = windowsISO();
    const QByteArray content = readFile(good);
    writeFile(path("Win11_Arm64.iso.download"), content);
    writeFile(path("Win11_Arm64.iso.partial"), content);
    writeFile(path("Win11 Arm64.crdownload"), content);
    makeSparseFile(path("exactly-1MiB.iso"), 1'048'576);
    QDir().mkpath(path("folder.iso"));
    QFile::link(path("missing.iso"), path("dangling.iso"));

    for (const QString name :
         {"Win11_Arm64.iso.download", "Win11_Arm64.iso.partial", "Win11 Arm64.crdownload", "exactly-1MiB.iso",
          "folder.iso", "missing.iso", "dangling.iso"}) {
        for (const auto &how : {listing(), attaching()}) {
            EXPECT_EQ(inspect(path(name), how), gateMessage) << name.toStdString();
        }
    }
    expectUntouched("refused by the gate");

    // One byte over the limit goes on to the listing and the attach, which judge the content.
    makeSparseFile(path("just-over.ISO"), 1'048'577);
    const std::optional<QString> listed = inspect(path("just-over.ISO"), listing());
    ASSERT_TRUE(listed);
    EXPECT_TRUE(listed->contains(QStringLiteral("Cannot open the file as archive"))) << "7-Zip's own words";
    EXPECT_EQ(commandsStarted().size(), 1);
    EXPECT_EQ(inspect(path("just-over.ISO"), attaching()), armMessage) << "an empty volume";
    EXPECT_EQ(hdiutilCalls().value(0).value(0), QStringLiteral("attach"));
}

TEST_F(WindowsPreparationTest, AnUnreadableImageFailsTheGate)
{
    // The file must be reachable for the unprivileged user, so it lives in a world-readable folder.
    QTemporaryDir open(QDir::tempPath() + QStringLiteral("/corvane-unreadable-XXXXXX"));
    ASSERT_TRUE(open.isValid());
    ::chmod(QFile::encodeName(open.path()).constData(), 0755);
    const QString locked = open.filePath(QStringLiteral("locked.iso"));
    const QString readable = open.filePath(QStringLiteral("readable.iso"));
    makeSparseFile(locked, 4 * 1'048'576);
    makeSparseFile(readable, 4 * 1'048'576);
    ::chmod(QFile::encodeName(locked).constData(), 0);
    ::chmod(QFile::encodeName(readable).constData(), 0644);

    if (::geteuid() != 0) {
        EXPECT_EQ(inspect(locked, listing()), gateMessage);
        EXPECT_EQ(inspect(locked, attaching()), gateMessage);
        expectUntouched("unreadable");
        return;
    }
    // Root reads everything, so judge the file as an ordinary user would, in a child process.
    const auto gateAsNobody = [](const QString &file) {
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
                ::_exit(3);
            }
            const std::optional<QString> failure =
                failureOf<VMFailure>([&] { WindowsPreparation::checkFile(file); });
            ::_exit(!failure ? 0 : *failure == gateMessage ? 1 : 4);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(gateAsNobody(locked), 1) << "refused";
    EXPECT_EQ(gateAsNobody(readable), 0) << "the same file with read permission passes";
}

TEST_F(WindowsPreparationTest, TheListingJudgesUdfAndIso9660ImagesWithoutMounting)
{
    struct Case
    {
        const char *name;
        QStringList files;
        std::optional<QString> failure;
    };
    const QList<Case> cases{
        {"arm64-wim", arm64Files, std::nullopt},
        {"arm64-esd",
         {"efi/boot/bootaa64.efi", "setup.exe", "sources/install.esd", "sources/boot.wim"},
         std::nullopt},
        {"arm64-swm", {"efi/boot/bootaa64.efi", "setup.exe", "sources/install.swm"}, std::nullopt},
        {"x64", x64Files, armMessage},
        {"drivers",
         {"efi/boot/bootaa64.efi", "viostor/w11/ARM64/viostor.inf", "virtio-win-guest-tools.exe"},
         installerMessage},
        {"setup-only", {"efi/boot/bootaa64.efi", "setup.exe", "sources/boot.wim"}, installerMessage},
        {"image-at-root", {"efi/boot/bootaa64.efi", "setup.exe", "install.wim"}, installerMessage},
    };
    for (const Format format : {Format::UDF, Format::ISO9660, Format::Xorriso}) {
        for (const Case &c : cases) {
            const QString name = QString::fromLatin1(c.name);
            const QString iso = path(QStringLiteral("images/%1-%2.iso").arg(name).arg(int(format)));
            image(tree(name, c.files), iso, format);
            EXPECT_EQ(inspect(iso, listing()), c.failure) << c.name << " format " << int(format);
        }
    }
    EXPECT_EQ(entries(temporary()), QStringList()) << "nothing mounted";

    // The UDF images are read as UDF, not through an ISO 9660 directory beside it.
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/7zz"), {QStringLiteral("l"), QStringLiteral("-slt"),
                                                 path(QStringLiteral("images/arm64-wim-0.iso"))});
    ASSERT_TRUE(probe.waitForFinished(30000));
    EXPECT_TRUE(probe.readAll().contains("Type = Udf"));
}

TEST_F(WindowsPreparationTest, ListingsSkipTheArchiveHeaderNeverMergeTwoImagesAndNameTheImageLiterally)
{
    // The header's own "Path" names the image; only entries after the dashes count.
    const QString output =
        QStringLiteral("Listing archive: setup.exe.iso\r\n\r\n--\r\nPath = setup.exe\r\nType = Udf\r\n"
                       "\r\n----------\r\nPath = EFI/Boot/bootaa64.efi\r\nFolder = -\r\n\r\n"
                       "Path = sources/Install.WIM\r\n");
    EXPECT_EQ(WindowsPreparation::listedPaths(output),
              (QStringList{QStringLiteral("EFI/Boot/bootaa64.efi"), QStringLiteral("sources/Install.WIM")}));
    EXPECT_THROW(WindowsPreparation::validateListing(WindowsPreparation::listedPaths(output)), VMFailure);

    // 7-Zip's own output when a pattern named two images, an x64 one and an ARM64 one, is refused.
    const QString downloads = path(QStringLiteral("Downloads"));
    image(tree(QStringLiteral("x64"), x64Files), downloads + QStringLiteral("/Win11_x64.iso"));
    windowsISO(downloads + QStringLiteral("/Win11_ARM64.iso"));
    QProcess list;
    list.start(QStringLiteral("/usr/bin/7zz"),
               {QStringLiteral("l"), QStringLiteral("-slt"), downloads + QStringLiteral("/Win11_*.iso")});
    ASSERT_TRUE(list.waitForFinished(30000));
    const QString both = QString::fromUtf8(list.readAllStandardOutput());
    ASSERT_EQ(both.count(QStringLiteral("Listing archive: ")), 2) << both.toStdString();
    EXPECT_EQ(failureOf<VMFailure>([&] { WindowsPreparation::listedPaths(both); }),
              QStringLiteral("7-Zip 列出了不止一个映像，无法确定检查的是所选文件。请重新选择 ISO。"))
        << "two images merged into one listing";

    // An x64 image whose name, read as a pattern, also matches the ARM64 image beside it.
    for (const char *name : {"Win11_*.iso", "Win11_?RM64.iso"}) {
        const QString x64 = downloads + u'/' + QString::fromLatin1(name);
        image(tree(QStringLiteral("x64"), x64Files), x64);
        EXPECT_EQ(inspect(x64, listing()), armMessage) << name;
        QFile::remove(x64);
    }

    // Names 7-Zip would take for a switch or a list file, reached by a relative path.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(downloads));
    for (const char *name : {"-Win11 ARM64.iso", "@Win11 ARM64.iso"}) {
        QFile::copy(QStringLiteral("Win11_ARM64.iso"), QString::fromLatin1(name));
        EXPECT_EQ(inspect(QString::fromLatin1(name), listing()), std::nullopt) << name;
    }
    QDir::setCurrent(previous);
}

TEST_F(WindowsPreparationTest, AttachValidateDetachLeavesNoMountPointOfOursWhateverHappens)
{
    const QString iso = windowsISO(path(QStringLiteral("镜像 \"A\"/Win11 ARM64.iso")));
    const QRegularExpression mountPointName(
        QStringLiteral("^windows-iso-check-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));

    struct Case
    {
        const char *name;
        QStringList files;
        QByteArray attachMode;
        int failingDetaches;
        std::optional<QString> failure;
    };
    const QList<Case> cases{
        {"passes", arm64Files, "", 0, std::nullopt},
        {"x64 image", x64Files, "", 0, armMessage},
        {"driver disc", {"efi/boot/bootaa64.efi", "drivers/vioscsi.inf"}, "", 0, installerMessage},
        {"attach refused", arm64Files, "fail", 0, "hdiutil: attach failed - image not recognized"},
        {"attach failed late", arm64Files, "late-fail", 0, "hdiutil: attach failed - Operation timed out"},
        {"detach fails once", arm64Files, "", 1, "hdiutil: couldn't unmount \"disk4\" - Resource busy"},
        // Still mounted after the retry: its content belongs to the image and is not ours to delete.
        {"detach fails twice", arm64Files, "", 2, "hdiutil: couldn't unmount \"disk4\" - Resource busy"},
    };
    for (const Case &c : cases) {
        forgetCalls();
        const ScopedEnv files("FAKE_HDIUTIL_TREE", tree(QString::fromLatin1(c.name), c.files).toUtf8());
        const ScopedEnv attach("FAKE_HDIUTIL_ATTACH", c.attachMode);
        const ScopedEnv detach("FAKE_HDIUTIL_FAIL_DETACH", QByteArray::number(c.failingDetaches));

        const std::optional<QString> failure = inspect(iso, attaching());
        EXPECT_EQ(failure.value_or(QString()).trimmed(), c.failure.value_or(QString())) << c.name;

        // Always one attach, then a detach and at most one retry, even after a failed attach.
        const QList<QStringList> calls = hdiutilCalls();
        EXPECT_EQ(calls.size(), 2 + std::min(c.failingDetaches, 1)) << c.name;
        ASSERT_FALSE(calls.isEmpty());
        const QString mountPoint = calls.first().value(4);
        EXPECT_EQ(calls.first(),
                  (QStringList{"attach", "-readonly", "-nobrowse", "-mountpoint", mountPoint, iso}));
        EXPECT_EQ(QFileInfo(mountPoint).path(), temporary());
        EXPECT_TRUE(mountPointName.match(QFileInfo(mountPoint).fileName()).hasMatch())
            << mountPoint.toStdString();
        for (const QStringList &call : calls.mid(1)) {
            EXPECT_EQ(call, (QStringList{"detach", mountPoint})) << c.name;
        }
        EXPECT_EQ(entries(temporary()),
                  c.failingDetaches < 2 ? QStringList() : QStringList{QFileInfo(mountPoint).fileName()})
            << c.name;
    }
    EXPECT_TRUE(QFileInfo::exists(hdiutilCalls().first().value(4) + QStringLiteral("/setup.exe")));

    // A mount point that cannot be made fails before any attach.
    forgetCalls();
    WindowsPreparation::Inspection how = attaching();
    how.temporaryFolder = path(QStringLiteral("a-file"));
    writeFile(how.temporaryFolder, "not a folder");
    EXPECT_EQ(inspect(iso, how), QString::fromLocal8Bit(std::strerror(ENOTDIR)));
    EXPECT_TRUE(hdiutilCalls().isEmpty());
}

TEST_F(WindowsPreparationTest, CandidatesAreVisibleRegularIsoFilesSortedByName)
{
    const QString downloads = path(QStringLiteral("Downloads"));
    for (const char *name :
         {"b.iso", "A.ISO", "中文 版.iso", ".hidden.iso", "c.iso.download", "notes.txt", "iso"}) {
        writeFile(downloads + u'/' + QString::fromUtf8(name), "x");
    }
    QDir().mkpath(downloads + QStringLiteral("/folder.iso"));
    QFile::link(downloads + QStringLiteral("/b.iso"), downloads + QStringLiteral("/link.iso"));

    EXPECT_EQ(WindowsPreparation::isoCandidates(downloads),
              (QStringList{downloads + QStringLiteral("/A.ISO"), downloads + QStringLiteral("/b.iso"),
                           downloads + QStringLiteral("/中文 版.iso")}));
    EXPECT_EQ(WindowsPreparation::isoCandidates(path(QStringLiteral("no such folder"))), QStringList());
    EXPECT_EQ(WindowsPreparation::isoCandidates(QString()), QStringList());
}

TEST_F(WindowsPreparationTest, SpaceIsMeasuredOnTheNearestExistingFolder)
{
    host.capacity = 100 * GiB;
    const QString target = path(QStringLiteral("not yet/there/Windows ARM64.utm"));
    EXPECT_EQ(WindowsPreparation::availableSpace(target), 100 * GiB);

    // When the volume reports nothing for important use, its plain free size counts.
    host.capacity = 0;
    EXPECT_GT(WindowsPreparation::availableSpace(target), 0);
}

} // namespace

#include "services/FileIO.h"
#include "Await.h"
#include "TestFiles.h"
#include "platform/Error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(FileIO, AnAtomicWriteKeepsTheOldFileWholeOnFailureAndNeverWritesThroughALink)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("configuration.json"));
    FileIO::writeAtomically(path, "old");
    ASSERT_EQ(readFile(path), "old");

    withFileSizeLimit(4 * 1024, [&] {
        EXPECT_THROW(FileIO::writeAtomically(path, QByteArray(10 * 1024, 'n')), SystemError);
    });
    EXPECT_EQ(readFile(path), "old");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("configuration.json")});

    // A link in the file's place is replaced, not written through.
    const QString outside = dir.filePath(QStringLiteral("outside"));
    FileIO::writeAtomically(outside, "theirs");
    ASSERT_TRUE(QFile::remove(path) && QFile::link(outside, path));
    FileIO::writeAtomically(path, "ours");
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_EQ(readFile(path), "ours");
    EXPECT_EQ(readFile(outside), "theirs");
}

TEST(FileIO, FolderCreationAndRemovalSayWhyAndRefuseTheCurrentFolder)
{
    QTemporaryDir dir;
    FileIO::writeAtomically(dir.filePath(QStringLiteral("file")), "x");
    const std::optional<QString> why =
        failureOf<SystemError>([&] { FileIO::createFolder(dir.filePath(QStringLiteral("file/sub"))); });
    ASSERT_TRUE(why) << "a folder was created inside a file";
    EXPECT_FALSE(why->isEmpty());
    EXPECT_THROW(FileIO::removeAll(dir.filePath(QStringLiteral("missing"))), SystemError);

    // Paths that would mean the current folder.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    FileIO::removeIfPresent(QString());
    FileIO::removeIfPresent(QStringLiteral("."));
    EXPECT_THROW(FileIO::removeAll(QString()), SystemError);
    EXPECT_THROW(FileIO::removeAll(QStringLiteral("relative")), SystemError);
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("file"))));
    QDir::setCurrent(previous);
}

TEST(FileIO, SmallFileReadsOnlyRegularFilesWithinTheLimit)
{
    QTemporaryDir dir;
    const QString small = dir.filePath(QStringLiteral("small"));
    FileIO::writeAtomically(small, "12345");
    const QString zeroLink = dir.filePath(QStringLiteral("zero"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zeroLink));

    EXPECT_EQ(FileIO::readSmallFile(small, 5), QByteArray("12345"));
    EXPECT_EQ(FileIO::readSmallFile(small, 4), std::nullopt);
    EXPECT_EQ(FileIO::readSmallFile(zeroLink, 1024), std::nullopt);
    EXPECT_EQ(FileIO::readSmallFile(dir.path(), 1024), std::nullopt);
    EXPECT_EQ(FileIO::readSmallFile(dir.filePath(QStringLiteral("missing")), 1024), std::nullopt);
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(FileIO::readSmallFile(fifo, 1024), std::nullopt);
}

TEST(FileIO, OnlyWritesWhoseWriterHasDiedAreCleared)
{
    QTemporaryDir dir;
    const QString abandoned = dir.filePath(QStringLiteral(".configuration.json.partial-1A2B3C4D"));
    const QString inProgress = dir.filePath(QStringLiteral(".instance-name.txt.partial-5E6F7A8B"));
    const QString users = dir.filePath(QStringLiteral("notes.partial-1"));
    for (const QString &path : {abandoned, inProgress, users}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    // Another writer still holds its partial file.
    const int holder = ::open(QFile::encodeName(inProgress).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);

    EXPECT_EQ(FileIO::removeAbandonedWrites(dir.path()), QStringList{QFileInfo(abandoned).fileName()});
    EXPECT_FALSE(QFile::exists(abandoned));
    EXPECT_TRUE(QFile::exists(inProgress));
    EXPECT_TRUE(QFile::exists(users));
    ::close(holder);
}

TEST(FileIO, LaterWritesLandInOrderAreReadAtOnceAndReportFailures)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("windows-configuration.json"));
    QObject context;
    QStringList failures;
    const auto record = [&failures](const QString &failure) { failures.append(failure); };
    for (int i = 0; i < 100; ++i) {
        FileIO::writeAtomicallyLater(path, QByteArray::number(i), &context, record);
        ASSERT_EQ(FileIO::readSmallFile(path, 16), QByteArray::number(i))
            << "this process reads its own write";
    }
    FileIO::flushLaterWrites();
    EXPECT_EQ(readFile(path), "99");

    // A write that cannot land is told to its owner on the owner's thread, after the fact.
    const QString impossible = dir.filePath(QStringLiteral("missing-folder/file.json"));
    FileIO::writeAtomicallyLater(impossible, "x", &context, record);
    FileIO::flushLaterWrites();
    EXPECT_TRUE(failures.isEmpty()) << "reported through the event loop, not from the worker";
    QCoreApplication::processEvents();
    EXPECT_EQ(failures.size(), 1);
    EXPECT_EQ(FileIO::readSmallFile(impossible, 16), std::nullopt);
}

} // namespace

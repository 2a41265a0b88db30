#include "TestFiles.h"
#include "platform/FileCopy.h"
#include "platform/ProcessSignal.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

TEST(ProcessSignal, EndsOneRealProcessAndRefusesGroupAddresses)
{
    QProcess sleeper;
    sleeper.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(sleeper.waitForStarted());
    EXPECT_TRUE(ProcessSignal::send(sleeper.processId(), 0));
    EXPECT_TRUE(ProcessSignal::kill(sleeper.processId()));
    ASSERT_TRUE(sleeper.waitForFinished(5000));
    EXPECT_EQ(sleeper.exitStatus(), QProcess::CrashExit);

    // Signal 0 only asks whether delivery would work, so a refusal that fails harms nothing.
    EXPECT_FALSE(ProcessSignal::send(0, 0));  // this process's whole group
    EXPECT_FALSE(ProcessSignal::send(-1, 0)); // every process of the user
    EXPECT_FALSE(ProcessSignal::send(-qint64(::getpid()), 0));
    EXPECT_FALSE(ProcessSignal::send((qint64(1) << 32) + ::getpid(), 0)); // wraps to this process
    EXPECT_TRUE(ProcessSignal::send(::getpid(), 0));
}

TEST(FileCopy, KernelCopyLandsEveryByteAtItsOffsetAndRenameNeverReplaces)
{
    QTemporaryDir dir;
    const QByteArray content = patternedBytes(300'000);
    const QString source = dir.filePath(QStringLiteral("source"));
    ASSERT_TRUE(writeFile(source, content));
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY);
    const int out =
        ::open(QFile::encodeName(dir.filePath(QStringLiteral("copy"))).constData(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    // A middle range in small chunks: offsets and chunk boundaries must not shift the bytes.
    const off_t reached = FileCopy::copyRangeInKernel(in, out, 1000, 250'000, 4096);
    QByteArray copied(250'000, '\0');
    const ssize_t read = ::pread(out, copied.data(), size_t(copied.size()), 0);
    ::close(in);
    ::close(out);
#ifdef Q_OS_LINUX
    EXPECT_EQ(reached, 250'000);
#endif
    ASSERT_GE(reached, 1000);
    ASSERT_GE(read, qint64(reached));
    EXPECT_EQ(copied.mid(1000, int(reached) - 1000), content.mid(1000, int(reached) - 1000));
    EXPECT_EQ(copied.left(1000), QByteArray(1000, '\0'));

    // A rename into place that refuses to replace what is there.
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("built/inner")));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("taken")));
    const QByteArray built = QFile::encodeName(dir.filePath(QStringLiteral("built")));
    const QByteArray taken = QFile::encodeName(dir.filePath(QStringLiteral("taken")));
    const QByteArray free = QFile::encodeName(dir.filePath(QStringLiteral("free")));

    errno = 0;
    ASSERT_NE(FileCopy::renameNoReplace(built.constData(), taken.constData()), 0);
    if (errno == EINVAL || errno == ENOSYS) {
        GTEST_SKIP() << "this volume cannot refuse a rename by itself";
    }
    EXPECT_TRUE(errno == EEXIST || errno == ENOTEMPTY) << errno;
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("built/inner"))));
    EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("taken"))).isEmpty());

    EXPECT_EQ(FileCopy::renameNoReplace(built.constData(), free.constData()), 0);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("free/inner"))));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("built"))));
}

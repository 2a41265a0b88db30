#include "windows/WindowsConfiguration.h"
#include "Await.h"
#include "FakeHost.h"
#include "TestFiles.h"
#include "platform/Error.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr qint64 GiB = FakeHost::GiB;

WindowsConfiguration asked(qint64 cores, qint64 memoryGB, qint64 diskGB)
{
    return {cores, memoryGB, diskGB, QStringLiteral("/Downloads/Win11.iso"),
            QStringLiteral("/VMs/Windows ARM64.utm")};
}

TEST(WindowsConfigurationTest, ValidationKeepsTheMachineWithinWhatTheHostCanGive)
{
    struct Case
    {
        int processors;
        qint64 memory;
        WindowsConfiguration wanted;
        qint64 cores, memoryGB, diskGB;
    };
    const QList<Case> cases{
        {12, 16 * GiB, asked(12, 16, 64), 8, 8, 64},  // never more than 8 cores or 8 GB
        {10, 10 * GiB, asked(6, 8, 64), 6, 5, 64},    // half of 10 GB
        {4, 6 * GiB, asked(6, 8, 64), 4, 4, 64},      // at least 4 GB even where half is 3
        {8, 64 * GiB, asked(0, 2, 40), 1, 4, 64},     // lower bounds
        {8, 64 * GiB, asked(-3, 6, 1000), 1, 6, 512}, // upper disk bound
        {0, 0, asked(4, 4, 64), 1, 4, 64},            // a host that reports nothing
    };
    for (const Case &c : cases) {
        FakeHost host(c.processors, c.memory);
        const WindowsConfiguration result = c.wanted.validated();
        EXPECT_EQ(result, asked(c.cores, c.memoryGB, c.diskGB))
            << c.processors << " cpus, " << c.memory / GiB << " GiB";
        EXPECT_EQ(result.validated(), result) << "stable";
    }
}

TEST(WindowsConfigurationTest, SettingsFileNeedsAllFiveFieldsOrTheDefaultsApply)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("windows-configuration.json"));

    EXPECT_EQ(WindowsConfiguration::load(file), WindowsConfiguration()) << "missing";

    const WindowsConfiguration saved = asked(6, 8, 128);
    writeFile(file, saved.toJson());
    EXPECT_EQ(WindowsConfiguration::load(file), saved);
    EXPECT_FALSE(saved.toJson().contains('\n')) << "compact";

    const QByteArray complete =
        R"({"cores":6,"memoryGB":8,"diskGB":128,"isoPath":"/a b/中文.iso","projectPath":""})";
    writeFile(file, complete);
    EXPECT_EQ(WindowsConfiguration::load(file).isoPath, QStringLiteral("/a b/中文.iso"));

    for (const QByteArray &broken :
         {QByteArray(R"({"cores":6,"memoryGB":8,"diskGB":128,"isoPath":"/x.iso"})"),
          QByteArray(R"({"memoryGB":8,"diskGB":128,"isoPath":"","projectPath":""})"),
          QByteArray(R"({"cores":"6","memoryGB":8,"diskGB":128,"isoPath":"","projectPath":""})"),
          QByteArray(R"({"cores":6.5,"memoryGB":8,"diskGB":128,"isoPath":"","projectPath":""})"),
          QByteArray(R"({"cores":6,"memoryGB":8,"diskGB":128,"isoPath":null,"projectPath":""})"),
          QByteArray(R"({"cores":6,"memoryGB":8,"diskGB":1e30,"isoPath":"","projectPath":""})"),
          QByteArray(R"([6,8,128,"",""])"), complete.left(complete.size() - 1), QByteArray()}) {
        writeFile(file, broken);
        EXPECT_EQ(WindowsConfiguration::load(file), WindowsConfiguration()) << broken.toStdString();
        EXPECT_THROW(WindowsConfiguration::fromJson(broken), SystemError) << broken.toStdString();
    }
    const std::optional<QString> missing = failureOf<SystemError>(
        [] { WindowsConfiguration::fromJson(R"({"cores":6,"memoryGB":8,"diskGB":128,"isoPath":""})"); });
    EXPECT_TRUE(missing.value_or(QString()).contains(QStringLiteral("projectPath")))
        << "says what is missing";
}

TEST(WindowsConfigurationTest, TheDiskNeverReplacesAFile)
{
    QTemporaryDir dir;
    const QString disk = dir.filePath(QStringLiteral("Data/windows.img"));
    QDir().mkpath(dir.filePath(QStringLiteral("Data")));

    // Its size and sparseness: WindowsCreateTest.BuildsACompleteBundleAndOpensItInUTM.
    ASSERT_TRUE(writeFile(disk, "installed Windows"));
    EXPECT_EQ(failureOf<VMFailure>([&] { WindowsConfiguration::sparseDisk(disk, 64 * GiB); }),
              QStringLiteral("目标磁盘已存在，不会覆盖。"));
    EXPECT_EQ(QFileInfo(disk).size(), qint64(sizeof "installed Windows" - 1));

    EXPECT_EQ(failureOf<VMFailure>([&] {
                  WindowsConfiguration::sparseDisk(dir.filePath(QStringLiteral("no folder/windows.img")),
                                                   GiB);
              }),
              QStringLiteral("无法创建虚拟磁盘。"));

    // A size the volume cannot hold is a failure, not an empty disk.
    const QString huge = dir.filePath(QStringLiteral("Data/huge.img"));
    EXPECT_THROW(WindowsConfiguration::sparseDisk(huge, std::numeric_limits<qint64>::max()), SystemError);
    EXPECT_FALSE(QFileInfo::exists(huge));
}

} // namespace

#include "platform/ProcessTableScan.h"
#include "TestFiles.h"
#include "platform/Tools.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

/** A real process that holds something under a folder until the test ends. */
class Holder
{
public:
    Holder(const QString &program, const QStringList &arguments, const QString &workingFolder = {})
    {
        m_process.setProgram(program);
        m_process.setArguments(arguments);
        m_process.setWorkingDirectory(workingFolder); // empty: this process's own
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
    }
    ~Holder()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    /** Waits until the process says it holds what it holds. */
    bool ready() { return m_process.waitForReadyRead(10000) && m_process.readLine().trimmed() == "ready"; }
    qint64 pid() const { return m_process.processId(); }

private:
    QProcess m_process;
};

// The outside probe the program falls back on, with the program's own command line.
QList<qint64> lsof(const QString &folder)
{
    const ToolCommand command = Tools::openFilesProbe(folder);
    QProcess probe;
    probe.start(command.program, command.arguments);
    probe.waitForFinished(30000);
    QList<qint64> found;
    for (const QString &line :
         QString::fromLatin1(probe.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)) {
        found.append(line.toLongLong());
    }
    return found;
}

TEST(ProcessTableScan, FindsHoldersByDescriptorWorkingFolderAndMemoryMapAsLsofDoes)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("machine"));
    const QString disk = folder + QStringLiteral("/sub/Disk.img");
    ASSERT_TRUE(writeFile(disk, QByteArray(8192, 'd')));
    EXPECT_EQ(ProcessTableScan::holders(QStringLiteral("/proc"), folder).holders, QList<qint64>());

    const QString shell = QStringLiteral("/bin/sh");
    Holder descriptor(
        shell, {QStringLiteral("-c"), QStringLiteral("exec 3<\"$0\"; echo ready; exec sleep 60"), disk});
    Holder workingFolder(shell, {QStringLiteral("-c"), QStringLiteral("echo ready; exec sleep 60")},
                         folder + QStringLiteral("/sub"));
    // The map outlives the descriptor it was made from.
    Holder map(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral("-c"),
                QStringLiteral(
                    "import mmap,sys,time\n"
                    "f=open(sys.argv[1],'rb'); m=mmap.mmap(f.fileno(),0,access=mmap.ACCESS_READ); f.close()\n"
                    "print('ready',flush=True); time.sleep(60)"),
                disk});
    ASSERT_TRUE(descriptor.ready() && workingFolder.ready() && map.ready());

    const ProcessTableScan::Result scan = ProcessTableScan::holders(QStringLiteral("/proc"), folder);
    ASSERT_FALSE(scan.failure);
    for (const qint64 pid : {descriptor.pid(), workingFolder.pid(), map.pid()}) {
        EXPECT_TRUE(scan.holders.contains(pid)) << pid;
    }
    QList<qint64> mine = scan.holders;
    QList<qint64> theirs = lsof(folder);
    std::sort(mine.begin(), mine.end());
    std::sort(theirs.begin(), theirs.end());
    EXPECT_EQ(mine, theirs);

    // A sibling whose name starts like the folder's is another folder.
    EXPECT_EQ(ProcessTableScan::holders(QStringLiteral("/proc"), folder.chopped(1)).holders, QList<qint64>());
}

} // namespace

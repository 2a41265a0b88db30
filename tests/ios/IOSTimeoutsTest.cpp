// Each simctl and open run ends at its own time-out. With every time-out shrunk by one factor, a call
// that never returns is ended by the runner after its stated seconds times that factor: no sooner, and
// not so much later that another operation's time-out could pass for it.
#include "IOSModelFixture.h"
#include "Wait.h"

#include <QDateTime>

#include <functional>

namespace {

class IOSTimeoutsTest : public IOSModelFixture
{
protected:
    static constexpr double scale = 0.01;

    /** The stand-ins with every time-out shrunk by `scale`. */
    static IOSModel::Options shrunk()
    {
        IOSModel::Options options = standIns();
        options.timeoutScale = scale;
        return options;
    }

    IOSDevice device() const { return listed(*current, phone); }

    /**
     * Runs `operation` with the simctl calls that `hang` names never ending, and checks that the
     * runner ended the first run whose command line contains `words` after `seconds` × `scale`.
     */
    void expectEndedAfter(double seconds, const QString &hang, const QString &words,
                          const std::function<QCoro::Task<>()> &operation)
    {
        qputenv("FAKE_SIMCTL_HANG", hang.toUtf8());
        LogProbe::reset();
        bool done = false;
        QCoro::connect(operation(), current, [&] { done = true; });
        const qint64 expected = qint64(seconds * scale * 1000);
        const bool ended = waitUntil([&] { return done; }, int(expected) + 5000);
        qunsetenv("FAKE_SIMCTL_HANG");
        ASSERT_TRUE(ended) << words.toStdString() << " was not ended at its time-out";

        const QStringList entries = LogProbe::entries();
        const QString started = QStringLiteral("] [INFO] [命令] 开始：");
        const auto start = std::find_if(entries.cbegin(), entries.cend(), [&](const QString &entry) {
            return entry.contains(started) && entry.contains(words);
        });
        ASSERT_NE(start, entries.cend()) << words.toStdString() << " never ran";
        const QString command = start->section(started, 1);
        const auto end = std::find_if(start, entries.cend(), [&](const QString &entry) {
            return entry.contains(QStringLiteral("] [ERROR] [命令] 失败：") + command);
        });
        ASSERT_NE(end, entries.cend()) << words.toStdString() << " was not ended";
        const auto stamp = [](const QString &entry) {
            return QDateTime::fromString(entry.mid(1, entry.indexOf(u']') - 1), Qt::ISODateWithMs);
        };
        const qint64 ran = stamp(*start).msecsTo(stamp(*end));
        // The closest two time-outs are 15 s apart, 150 ms at the usual factor: a run given the wrong one
        // lands outside this window, while starting and ending the program takes some 30 ms here.
        EXPECT_GE(ran, expected - 20) << words.toStdString();
        EXPECT_LT(ran, expected + 140) << words.toStdString();
    }

    IOSModel *current = nullptr;
};

} // namespace

TEST_F(IOSTimeoutsTest, EachDeviceAndSnapshotCommandEndsAtItsOwnTimeOut)
{
    current = &model(shrunk());
    expectEndedAfter(45, QStringLiteral("list"), QStringLiteral("simctl list"),
                     [&] { return current->refresh(); });

    current = &model(shrunk());
    await(current->refresh());
    current->setRuntime(ios18);
    current->setType(iPhone15);
    current->setName(QStringLiteral("Phone"));
    expectEndedAfter(60, QStringLiteral("create"), QStringLiteral("simctl create"),
                     [&] { return current->create(); });
    // A device that cannot be recorded is deleted again, within the same time.
    ASSERT_TRUE(QDir().mkpath(registry()));
    expectEndedAfter(60, QStringLiteral("delete"), QStringLiteral("simctl delete"),
                     [&] { return current->create(); });
    ASSERT_TRUE(QDir(registry()).removeRecursively());

    // One device through every command that names it; its open never returns.
    const QString hungOpen = path("open-never-returns");
    ASSERT_TRUE(writeExecutable(hungOpen, "#!/bin/sh\nexec /bin/sleep 600\n"));
    IOSModel::Options hanging = shrunk();
    hanging.open = hungOpen;
    current = &withPhone(hanging);
    for (const QString &action : {QStringLiteral("boot"), QStringLiteral("delete")}) {
        expectEndedAfter(60, action, QStringLiteral("simctl ") + action,
                         [&] { return current->operate(device(), action); });
    }
    expectEndedAfter(30, QStringLiteral("rename"), QStringLiteral("simctl rename"),
                     [&] { return current->rename(device(), QStringLiteral("新名字")); });
    // Showing the device after it booted: the open that never returns.
    expectEndedAfter(60, {}, hungOpen, [&] { return current->operate(device(), QStringLiteral("boot")); });
    // Booted: a shutdown, and a forced one.
    ASSERT_EQ(simulators().value(phone)["state"].toString(), QStringLiteral("Booted"));
    expectEndedAfter(60, QStringLiteral("shutdown"), QStringLiteral("simctl shutdown"),
                     [&] { return current->operate(device(), QStringLiteral("shutdown")); });
    expectEndedAfter(30, QStringLiteral("shutdown"), QStringLiteral("simctl shutdown"),
                     [&] { return current->operate(device(), QStringLiteral("force")); });

    // A deleted device's snapshot devices go with it.
    current = &withPhone(shrunk());
    await(current->createSnapshot(device()));
    const std::optional<IOSSnapshotRecord> snapshot = current->latestSnapshot(device());
    ASSERT_TRUE(snapshot);
    const QString clone = snapshot->snapshotDeviceID;
    expectEndedAfter(60, clone, QStringLiteral("simctl delete ") + clone,
                     [&] { return current->operate(device(), QStringLiteral("delete")); });

    // The snapshot commands.
    current = &withPhone(shrunk());
    expectEndedAfter(300, QStringLiteral("clone"), QStringLiteral("simctl clone"),
                     [&] { return current->createSnapshot(device()); });
    // A snapshot that cannot be recorded is deleted again.
    QFile::remove(snapshotRegistry());
    ASSERT_TRUE(QDir().mkpath(snapshotRegistry()));
    expectEndedAfter(60, QStringLiteral("delete"), QStringLiteral("simctl delete"),
                     [&] { return current->createSnapshot(device()); });
    ASSERT_TRUE(QDir(snapshotRegistry()).removeRecursively());

    const auto withSnapshot = [&] {
        current = &withPhone(shrunk());
        await(current->createSnapshot(device()));
        ASSERT_TRUE(current->latestSnapshot(device()));
    };
    withSnapshot();
    expectEndedAfter(300, QStringLiteral("clone"), QStringLiteral("simctl clone"),
                     [&] { return current->rollback(device()); });
    withSnapshot();
    expectEndedAfter(60, QStringLiteral("rename"), QStringLiteral("simctl rename"),
                     [&] { return current->rollback(device()); });
    withSnapshot();
    const IOSDevice old = device();
    expectEndedAfter(120, old.udid, QStringLiteral("simctl delete ") + old.udid,
                     [&] { return current->rollback(old); });
    withSnapshot();
    expectEndedAfter(120, QStringLiteral("delete"), QStringLiteral("simctl delete"),
                     [&] { return current->deleteLatestSnapshot(device()); });
}

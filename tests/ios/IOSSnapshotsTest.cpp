#include "IOSModelFixture.h"
#include "services/SnapshotText.h"

#include <QUuid>

namespace {

using IOSSnapshotsTest = IOSModelFixture;
using SnapshotText::shortDateTime;

/** Seconds since 2001-01-01 00:00:00 UTC. */
double nowSinceReference()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000 - 978307200;
}

TEST_F(IOSSnapshotsTest,
       SnapshotsAreHiddenClonesOfShutDownDevicesRolledBackUnderTheOldNameWithoutHalfDoneFailures)
{
    IOSModel &ios = withPhone();
    await(ios.operate(listed(ios, phone), QStringLiteral("boot")));
    forgetCalls();
    await(ios.createSnapshot(listed(ios, phone)));
    await(ios.rollback(listed(ios, phone)));
    EXPECT_TRUE(changes().isEmpty()) << "a running device is neither snapshotted nor rolled back";
    await(ios.operate(listed(ios, phone), QStringLiteral("shutdown")));

    ios.setName(QString());
    await(ios.create());
    ASSERT_FALSE(ios.error().isEmpty());
    forgetCalls();
    const double before = nowSinceReference();
    const QString earliest =
        QStringLiteral("Corvane 快照 · Phone · ") + shortDateTime(QDateTime::currentDateTime());
    await(ios.createSnapshot(listed(ios, phone)));
    EXPECT_TRUE(ios.error().isEmpty()) << "a snapshot starts by clearing the last failure";
    await(ios.createSnapshot(listed(ios, phone)));
    const QString latest =
        QStringLiteral("Corvane 快照 · Phone · ") + shortDateTime(QDateTime::currentDateTime());
    const double after = nowSinceReference();

    const QList<QStringList> clones = changes();
    ASSERT_EQ(clones.size(), 2);
    for (const QStringList &call : clones) {
        EXPECT_EQ(call.mid(0, 3), (QStringList{"simctl", "clone", phone}));
        EXPECT_TRUE(call.value(3) == earliest || call.value(3) == latest) << call.value(3).toStdString();
    }
    const QList<IOSSnapshotRecord> snapshots = ios.snapshots();
    ASSERT_EQ(snapshots.size(), 2);
    for (const IOSSnapshotRecord &snapshot : snapshots) {
        EXPECT_EQ(snapshot.id, QUuid::fromString(snapshot.id).toString(QUuid::WithoutBraces).toUpper());
        EXPECT_EQ(snapshot.sourceDeviceID, phone);
        EXPECT_EQ(snapshot.deviceName, QStringLiteral("Phone"));
        EXPECT_TRUE(snapshot.createdAt >= before - 0.001 && snapshot.createdAt <= after + 0.001)
            << snapshot.createdAt;
        EXPECT_TRUE(simulators().contains(snapshot.snapshotDeviceID));
    }
    EXPECT_GT(snapshots[0].createdAt, snapshots[1].createdAt);
    EXPECT_EQ(ios.latestSnapshot(listed(ios, phone)), snapshots[0]);
    EXPECT_EQ(ios.devices().size(), 1) << "snapshot devices are not listed";

    EXPECT_EQ(IOSSnapshotRecord::decodeList(readFile(snapshotRegistry())), snapshots);
    EXPECT_EQ(LogProbe::messages("快照"),
              (QStringList{QStringLiteral("INFO 已创建 iPhone 快照：Phone · ") + snapshots[1].id,
                           QStringLiteral("INFO 已创建 iPhone 快照：Phone · ") + snapshots[0].id}));

    // A rollback restores the newest under the old name; failures leave nothing half done.
    const IOSSnapshotRecord older = snapshots[1];
    const IOSSnapshotRecord newer = snapshots[0];
    forgetCalls();
    LogProbe::reset();

    await(ios.rollback(listed(ios, phone)));
    ASSERT_TRUE(ios.error().isEmpty()) << ios.error().toStdString();
    ASSERT_EQ(ios.devices().size(), 1);
    const IOSDevice restored = ios.devices().first();
    EXPECT_EQ(restored.name, QStringLiteral("Phone"));
    EXPECT_NE(restored.udid, phone);
    EXPECT_EQ(changes(), (QList<QStringList>{{"simctl", "clone", newer.snapshotDeviceID, "Phone · 正在恢复"},
                                             {"simctl", "rename", restored.udid, "Phone"},
                                             {"simctl", "delete", phone}}));
    EXPECT_EQ(readFile(registry()), "[\"" + restored.udid.toUtf8() + "\"]");
    for (const IOSSnapshotRecord &snapshot : ios.snapshots()) {
        EXPECT_EQ(snapshot.sourceDeviceID, restored.udid);
    }
    EXPECT_EQ(IOSSnapshotRecord::decodeList(readFile(snapshotRegistry())), ios.snapshots());
    EXPECT_EQ(ios.status(), QStringLiteral("Phone 已回滚到 ") + shortDateTime(newer.created()));
    EXPECT_EQ(LogProbe::messages("快照"),
              QStringList{QStringLiteral("INFO 已回滚 iPhone：Phone · ") + newer.id});

    forgetCalls();
    await(ios.deleteLatestSnapshot(restored));
    EXPECT_EQ(changes(), (QList<QStringList>{{"simctl", "delete", newer.snapshotDeviceID}}));
    EXPECT_EQ(LogProbe::messages("快照").last(),
              QStringLiteral("INFO 已删除 iPhone 快照：Phone · ") + newer.id);
    // An old device that cannot be deleted leaves a warning, and the rollback completes.
    forgetCalls();
    qputenv("FAKE_SIMCTL_FAIL_UDIDS", restored.udid.toUtf8());
    LogProbe::reset();
    await(ios.rollback(restored));
    EXPECT_TRUE(ios.error().isEmpty()) << ios.error().toStdString();
    EXPECT_EQ(changes().value(0),
              (QStringList{"simctl", "clone", older.snapshotDeviceID, "Phone · 正在恢复"}));
    EXPECT_EQ(ios.snapshots().size(), 1);
    const QStringList lines = LogProbe::messages("快照");
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("WARN iPhone 已恢复出新设备，但旧设备删除失败：")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("INFO 已回滚 iPhone：Phone · ")));
    EXPECT_TRUE(simulators().contains(restored.udid));
    EXPECT_FALSE(readFile(registry()).contains(restored.udid.toUtf8()));
    ASSERT_EQ(ios.devices().size(), 1);
    EXPECT_NE(ios.devices().first().udid, restored.udid);

    // Failures are shown and logged, and leave no half-recorded snapshot.
    qunsetenv("FAKE_SIMCTL_FAIL_UDIDS");
    phone = ios.devices().first().udid;
    const QList<IOSSnapshotRecord> kept = ios.snapshots();
    LogProbe::reset();
    qputenv("FAKE_SIMCTL_NON_UUID", "1");
    await(ios.createSnapshot(listed(ios, phone)));
    await(ios.rollback(listed(ios, phone)));
    qunsetenv("FAKE_SIMCTL_NON_UUID");
    EXPECT_EQ(LogProbe::messages("快照"),
              (QStringList{QStringLiteral("ERROR iPhone 快照创建失败：Xcode 未返回有效的快照设备标识。"),
                           QStringLiteral("ERROR iPhone 回滚失败：Xcode 未返回有效的恢复设备标识。")}));
    EXPECT_EQ(ios.error(), QStringLiteral("Xcode 未返回有效的恢复设备标识。"));
    EXPECT_EQ(ios.owned(), QSet<QString>{phone});

    qputenv("FAKE_SIMCTL_FAIL", "delete");
    await(ios.deleteLatestSnapshot(listed(ios, phone)));
    EXPECT_FALSE(ios.error().isEmpty());
    EXPECT_EQ(ios.snapshots(), kept);
    qunsetenv("FAKE_SIMCTL_FAIL");

    // The registry cannot be written: the new clone is deleted again.
    QFile::remove(snapshotRegistry());
    ASSERT_TRUE(QDir().mkpath(snapshotRegistry()));
    forgetCalls();
    await(ios.createSnapshot(listed(ios, phone)));
    const QList<QStringList> made = changes();
    ASSERT_EQ(made.size(), 2);
    EXPECT_EQ(made[1].mid(0, 2), (QStringList{"simctl", "delete"}));
    EXPECT_FALSE(simulators().contains(made[1].value(2)));
    EXPECT_EQ(ios.snapshots(), kept);
    EXPECT_EQ(LogProbe::messages("快照").last(), QStringLiteral("ERROR iPhone 快照创建失败：") + ios.error());
}

TEST_F(IOSSnapshotsTest, UnreadableRegistriesAreSetAsideAndReadableOnesReadNewestFirstAndRewrittenWhole)
{
    const QByteArray devices = R"(["AAAAAAAA-0000-4000-8000-000000000001", 7])";
    const QByteArray snapshots = R"([{"id":"X","sourceDeviceID":"A","snapshotDeviceID":"B","deviceName":"P",
                                     "createdAt":"2026-03-01T08:15:42Z"}])";
    writeFile(registry(), devices);
    EXPECT_TRUE(model().error().startsWith(QStringLiteral("iOS 设备记录无法读取：")))
        << model().error().toStdString();
    writeFile(snapshotRegistry(), snapshots);
    const IOSModel &first = model();
    EXPECT_TRUE(first.error().startsWith(QStringLiteral("iOS 快照记录无法读取：")))
        << "the later failure wins";
    EXPECT_TRUE(first.owned().isEmpty() && first.snapshots().isEmpty());

    IOSModel &ios = withPhone();
    await(ios.createSnapshot(listed(ios, phone)));
    EXPECT_EQ(readFile(registry()), "[\"" + phone.toUtf8() + "\"]");
    EXPECT_EQ(IOSSnapshotRecord::decodeList(readFile(snapshotRegistry())), ios.snapshots());
    const struct
    {
        QString file;
        QByteArray content;
        QString category;
        QString warning;
    } unreadable[] = {
        {"ios-devices.json", devices, "iPhone", "WARN iOS 设备记录无法读取，原文件已另存为 "},
        {"ios-snapshots.json", snapshots, "快照", "WARN iOS 快照记录无法读取，原文件已另存为 "}};
    for (const auto &[file, content, category, warning] : unreadable) {
        const QStringList kept = QDir(root()).entryList(QStringList{file + QStringLiteral(".unreadable-*")});
        ASSERT_EQ(kept.size(), 1) << file.toStdString();
        EXPECT_EQ(readFile(root() + u'/' + kept.first()), content);
        EXPECT_TRUE(LogProbe::messages(category).contains(warning + kept.first()));
    }

    // Out of order, two of equal time, a key of another writer, precision beyond the millisecond.
    const QString source = QStringLiteral("AAAAAAAA-0000-4000-8000-00000000000A");
    QJsonObject changed = machine();
    changed["devices"] =
        QJsonObject{{ios17, QJsonArray{device(source, QStringLiteral("Phone")),
                                       device(QStringLiteral("S-TIE-1"), QStringLiteral("c"))}}};
    writeState(changed);
    writeFile(registry(), "[\"" + source.toUtf8() + "\"]");
    const auto record = [&](const char *id, const char *createdAt) {
        return QByteArray("{\"id\":\"" + QByteArray(id) + "\",\"sourceDeviceID\":\"" + source.toUtf8() +
                          "\",\"snapshotDeviceID\":\"S-" + id +
                          "\",\"deviceName\":\"Phone\",\"createdAt\":" + createdAt + '}');
    };
    writeFile(snapshotRegistry(), '[' + record("OLD", "700000000.5") + ',' +
                                      record("TIE-1", "761234567.123456").chopped(1) + ",\"note\":1}," +
                                      record("TIE-2", "761234567.123456") + ']');

    IOSModel &reread = model();
    ASSERT_EQ(reread.snapshots().size(), 3);
    EXPECT_EQ(reread.snapshots()[0].id + reread.snapshots()[1].id + reread.snapshots()[2].id,
              QStringLiteral("TIE-1TIE-2OLD"));
    EXPECT_EQ(reread.snapshots()[0].created(), QDateTime(QDate(2025, 2, 14), QTime(14, 2, 47, 123), Qt::UTC));
    await(reread.refresh());
    EXPECT_EQ(reread.latestSnapshot(listed(reread, source))->id, QStringLiteral("TIE-1"));
    await(reread.deleteLatestSnapshot(listed(reread, source)));
    EXPECT_EQ(readFile(snapshotRegistry()),
              '[' + record("TIE-2", "761234567.123456") + ',' + record("OLD", "700000000.5") + ']');
    EXPECT_EQ(reread.latestSnapshot(listed(reread, source))->id, QStringLiteral("TIE-2"));
}

} // namespace

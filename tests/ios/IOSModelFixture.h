#pragma once

#include "Await.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "ios/IOSModel.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

inline void PrintTo(const IOSSnapshotRecord &record, std::ostream *out)
{
    *out << record.id.toStdString() << " of " << record.sourceDeviceID.toStdString() << " at "
         << QByteArray::number(record.createdAt, 'f', 6).toStdString();
}

/** An IOSModel run against the xcrun and open stand-ins over a simulator set of the test's own. */
class IOSModelFixture : public ::testing::Test
{
protected:
    static inline const QString ios17 = QStringLiteral("com.apple.CoreSimulator.SimRuntime.iOS-17-5");
    static inline const QString ios18 = QStringLiteral("com.apple.CoreSimulator.SimRuntime.iOS-18-2");
    static inline const QString iPhone15 = QStringLiteral("com.apple.CoreSimulator.SimDeviceType.iPhone-15");
    static inline const QString iPhone16Pro =
        QStringLiteral("com.apple.CoreSimulator.SimDeviceType.iPhone-16-Pro");
    static inline const QString iPadAir = QStringLiteral("com.apple.CoreSimulator.SimDeviceType.iPad-Air-M2");
    static inline const QString outsider = QStringLiteral("0E5A1D3C-0000-4000-8000-000000000001");

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("FAKE_SIMCTL_STATE", path("simulators.json").toUtf8());
        qputenv("FAKE_SIMCTL_RECORD", path("simctl.calls").toUtf8());
        qputenv("FAKE_OPEN_RECORD", path("open.calls").toUtf8());
        writeState(machine());
    }

    void TearDown() override
    {
        for (const char *name :
             {"FAKE_SIMCTL_STATE", "FAKE_SIMCTL_RECORD", "FAKE_OPEN_RECORD", "FAKE_SIMCTL_NON_UUID",
              "FAKE_SIMCTL_FAIL", "FAKE_SIMCTL_FAIL_UDIDS", "FAKE_SIMCTL_MALFORMED_JSON",
              "FAKE_SIMCTL_DELAY_MS", "FAKE_SIMCTL_HANG", "FAKE_OPEN_FAIL"}) {
            qunsetenv(name);
        }
    }

    static QJsonObject entry(const QString &identifier, const QString &name,
                             std::optional<bool> available = {})
    {
        QJsonObject object{{"identifier", identifier}, {"name", name}, {"other", "ignored"}};
        if (available) {
            object.insert("isAvailable", *available);
        }
        return object;
    }

    static QJsonObject device(const QString &udid, const QString &name)
    {
        return {
            {"udid", udid}, {"name", name}, {"state", "Shutdown"}, {"isAvailable", true}, {"dataPath", "/x"}};
    }

    /** Usable iOS 17.5 and 18.2 beside an unusable iOS and a watchOS; phone, tablet, TV and watch types;
     *  one device made by someone else. */
    static QJsonObject machine()
    {
        const QJsonArray runtimes{
            entry(QStringLiteral("r.iOS-16-4"), QStringLiteral("iOS 16.4"), false),
            entry(ios17, QStringLiteral("iOS 17.5"), true), entry(ios18, QStringLiteral("iOS 18.2"), true),
            entry(QStringLiteral("r.watchOS-10-5"), QStringLiteral("watchOS 10.5"), true)};
        const QJsonArray types{
            entry(iPhone15, QStringLiteral("iPhone 15")), entry(iPhone16Pro, QStringLiteral("iPhone 16 Pro")),
            entry(iPadAir, QStringLiteral("iPad Air (M2)")),
            entry(QStringLiteral("t.Apple-TV"), QStringLiteral("Apple TV")),
            entry(QStringLiteral("t.Apple-Watch"), QStringLiteral("Apple Watch Series 9"))};
        const QJsonObject devices{{ios18, QJsonArray{device(outsider, QStringLiteral("Work Phone"))}}};
        return {
            {"runtimes", runtimes}, {"devicetypes", types}, {"devices", devices}, {"pairs", QJsonObject{}}};
    }

    void writeState(const QJsonObject &state)
    {
        writeFile(path("simulators.json"), QJsonDocument(state).toJson());
    }

    /** The devices of the stand-in's state file, any runtime, by UDID. */
    static QMap<QString, QJsonObject> simulatorsIn(const QString &stateFile)
    {
        QMap<QString, QJsonObject> all;
        const QJsonObject groups =
            QJsonDocument::fromJson(readFile(stateFile)).object()["devices"].toObject();
        for (const QJsonValue &group : groups) {
            for (const QJsonValue &each : group.toArray()) {
                all.insert(each["udid"].toString(), each.toObject());
            }
        }
        return all;
    }
    QMap<QString, QJsonObject> simulators() const { return simulatorsIn(path("simulators.json")); }

    /** Every recorded call of a stand-in as its argument list. */
    QList<QStringList> calls(const char *file = "simctl.calls") const { return recordedCalls(path(file)); }

    /** Recorded simctl calls other than inventory reads. */
    QList<QStringList> changes() const
    {
        QList<QStringList> result = calls();
        result.removeIf([](const QStringList &call) { return call.value(1) == QLatin1String("list"); });
        return result;
    }

    void forgetCalls() const
    {
        QFile::remove(path("simctl.calls"));
        QFile::remove(path("open.calls"));
    }

    /** The stand-ins, every time-out as stated. */
    static IOSModel::Options standIns()
    {
        IOSModel::Options options;
        options.xcrun = QStringLiteral(CORVANE_FAKES_DIR "/xcrun");
        options.open = QStringLiteral(CORVANE_FAKES_DIR "/open");
        return options;
    }

    /** A new model over the same folder, in place of the last one. */
    IOSModel &model(const IOSModel::Options &options = standIns())
    {
        m_model = std::make_unique<IOSModel>(root(), options);
        return *m_model;
    }

    void destroyModel() { m_model.reset(); }

    /** A refreshed model in place of the last one that made one shut-down iPhone 15 `name` on iOS 18.2;
     *  its UDID in `phone`. */
    IOSModel &withPhone(const IOSModel::Options &options = standIns(),
                        const QString &name = QStringLiteral("Phone"))
    {
        IOSModel &ios = model(options);
        await(ios.refresh());
        ios.setRuntime(ios18);
        ios.setType(iPhone15);
        phone = create(ios, name);
        return ios;
    }

    /** Makes a device `name` with the model's current choices; gives its UDID. */
    static QString create(IOSModel &ios, const QString &name)
    {
        const QSet<QString> before = ios.owned();
        ios.setName(name);
        await(ios.create());
        const QSet<QString> added = ios.owned() - before;
        EXPECT_EQ(added.size(), 1) << ios.error().toStdString();
        return added.isEmpty() ? QString() : *added.begin();
    }

    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }
    QString root() const { return path("CorvaneBeta"); }
    QString registry() const { return root() + QStringLiteral("/ios-devices.json"); }
    QString snapshotRegistry() const { return root() + QStringLiteral("/ios-snapshots.json"); }
    /** The listed device with this UDID, or an empty one. */
    static IOSDevice listed(const IOSModel &model, const QString &udid)
    {
        const auto found = std::find_if(model.devices().cbegin(), model.devices().cend(),
                                        [&](const IOSDevice &each) { return each.udid == udid; });
        return found == model.devices().cend() ? IOSDevice() : *found;
    }

    QTemporaryDir dir;
    QString phone;

private:
    std::unique_ptr<IOSModel> m_model;
};

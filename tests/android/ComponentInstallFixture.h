// The component installation tests' shared ground: a local server holding the three component
// archives (emulator and adb stand-ins, a tiny system image) and a device installing from it.
#pragma once

#include "Await.h"
#include "FakeHost.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "TestHttpServer.h"
#include "Wait.h"
#include "ZipWriter.h"
#include "android/VMModel.h"
#include "platform/Tools.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

inline QString sha1(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

/** The three component archives, built from the emulator and adb stand-ins and a tiny system image
 *  whose top folder is the image's ABI, as in Google's archives. */
struct Components
{
    explicit Components(const QString &abi = QStringLiteral("arm64-v8a"))
        : abi(abi)
    {
        const QString fakes = QStringLiteral(CORVANE_FAKES_DIR);
        contents = {{{QStringLiteral("emulator"), readFile(fakes + QStringLiteral("/emulator"))}},
                    {{QStringLiteral("adb"), readFile(fakes + QStringLiteral("/adb"))}},
                    {{QStringLiteral("system.img"), QByteArray(4096, 's')},
                     {QStringLiteral("kernel-ranchu"), QByteArray(1024, 'k')},
                     {QStringLiteral("data/build.prop"), "ro.build=34"}}};
        for (int i = 0; i < 3; ++i) {
            ZipWriter zip;
            zip.addFolder(sources[i]);
            for (const auto &[name, content] : contents[i].asKeyValueRange()) {
                if (name.contains(u'/')) {
                    zip.addFolder(sources[i] + u'/' + name.section(u'/', 0, 0));
                }
                zip.addFile(sources[i] + u'/' + name, content, 0755);
            }
            archives.append(zip.archive());
        }
    }

    /** The manifest rows of the three archives, each fetched from `base` followed by its name. */
    QJsonArray manifest(const QString &base) const
    {
        const char *const ids[] = {"emulator", "platform-tools", "system-image"};
        QJsonArray rows;
        for (int i = 0; i < 3; ++i) {
            rows.append(QJsonObject{
                {QStringLiteral("id"), QLatin1String(ids[i])},
                {QStringLiteral("name"), QStringLiteral("Package %1").arg(i + 1)},
                {QStringLiteral("url"), QString(base + names[i])},
                {QStringLiteral("sha1"), sha1(archives[i])},
                {QStringLiteral("size"), qint64(archives[i].size())},
                {QStringLiteral("destination"), destinations[i]},
                {QStringLiteral("source"), sources[i]},
            });
        }
        return rows;
    }

    QString abi;
    QStringList names{QStringLiteral("emulator-linux_x64-1.zip"),
                      QStringLiteral("platform-tools_r1-linux.zip"), abi + QStringLiteral("-34_r04.zip")};
    QStringList destinations{QStringLiteral("emulator"), QStringLiteral("platform-tools"),
                             QStringLiteral("system-images/android-34/default/") + abi};
    QStringList sources{QStringLiteral("emulator"), QStringLiteral("platform-tools"), abi};
    /** What each archive's folder holds, by relative path. */
    QList<QMap<QString, QByteArray>> contents;
    QList<QByteArray> archives;
};

class ComponentInstallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.listen());
        for (int i = 0; i < 3; ++i) {
            paths[i] = QStringLiteral("/repository/") + components.names[i];
            server.serve(paths[i], components.archives[i]);
        }
    }

    void TearDown() override
    {
        if (model && model->running()) {
            await(model->stop());
        }
    }

    /** The manifest, with the fields in `changes` replaced in package `index`'s row. */
    QByteArray manifest(int index = 0, const QJsonObject &changes = {}) const
    {
        QJsonArray rows = components.manifest(server.url(QStringLiteral("/repository/")).toString());
        QJsonObject row = rows[index].toObject();
        for (auto change = changes.begin(); change != changes.end(); ++change) {
            row[change.key()] = change.value();
        }
        rows[index] = row;
        return QJsonDocument(rows).toJson();
    }

    /** A manifest whose package `index` is `bytes`, which the server now serves. */
    QByteArray manifestServing(int index, const QByteArray &bytes)
    {
        server.serve(paths[index], bytes);
        return manifest(
            index, {{QStringLiteral("sha1"), sha1(bytes)}, {QStringLiteral("size"), qint64(bytes.size())}});
    }

    /** A device installing from `manifestBytes`; from SDKPackage::activeManifest() when there are none. */
    VMModel &device(std::optional<QByteArray> manifestBytes)
    {
        VMModel::Options options;
        options.manifest = std::move(manifestBytes);
        options.timing.bootPollInterval = std::chrono::milliseconds(50);
        options.timing.stopPollInterval = std::chrono::milliseconds(20);
        model = std::make_unique<VMModel>(VMPaths(root.path()), QStringLiteral("primary"),
                                          QStringLiteral("安卓 1"), std::move(options));
        return *model;
    }

    void installAndWait(VMModel &device)
    {
        device.installation().requestInstall();
        if (device.installation().showLicense()) {
            device.installation().setLicenseChecked(true);
            device.installation().acceptAndInstall();
        }
        ASSERT_TRUE(waitUntil([&] { return !device.busy(); }, 30000));
    }

    FakeHost host;
    QTemporaryDir root;
    TestHttpServer server;
    Components components;
    QString paths[3];
    const ScopedEnv bootDelay{"FAKE_EMULATOR_BOOT_DELAY_MS", "200"};
    std::unique_ptr<VMModel> model;
};

#include "preferences/AppPreferences.h"
#include "FakeHost.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "android/VMConfiguration.h"
#include "preferences/AppAppearance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

using P = AppPreferences;

namespace {

constexpr qint64 GiB = FakeHost::GiB;

class AppPreferencesTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;

    // Each store gets a file of its own: QSettings caches files by name within the process.
    std::unique_ptr<QSettings> storeWith(const QByteArray &content)
    {
        const QString path = dir.filePath(QString::number(++m_files) + QStringLiteral(".json"));
        if (!content.isNull()) {
            writeFile(path, content);
        }
        return std::make_unique<QSettings>(path, P::jsonFormat());
    }

private:
    int m_files = 0;
};

} // namespace

TEST_F(AppPreferencesTest, AWriteIsSeenAtOnceAndReachesTheFileInOrderWithItsType)
{
    auto store = storeWith({});
    const QString file = store->fileName();
    for (int cores = 1; cores <= 50; ++cores) {
        P::write(*store, P::newDeviceCores, cores);
        // Another reader of the same file in this process, as every page opens its own.
        EXPECT_EQ(P::read(QSettings(file, P::jsonFormat()), P::newDeviceCores), cores);
    }
    P::write(*store, P::appearanceAnimations, false);
    P::write(*store, P::selectedVMTab, QStringLiteral("linux"));
    store->setValue(QStringLiteral("ratio"), 2.0);
    store->setValue(QStringLiteral("big"), qint64(1) << 60);
    P::flush();
    store->sync();

    const QJsonObject stored = QJsonDocument::fromJson(readFile(file)).object();
    EXPECT_EQ(stored.value(QStringLiteral("newDeviceCores")).toInteger(), 50);
    EXPECT_EQ(stored.value(QStringLiteral("selectedVMTab")).toString(), QStringLiteral("linux"));
    const QSettings reread(file, P::jsonFormat());
    EXPECT_EQ(reread.status(), QSettings::NoError);
    EXPECT_FALSE(P::read(reread, P::appearanceAnimations));
    EXPECT_EQ(P::read(reread, P::newDeviceCores), 50);
    EXPECT_EQ(reread.value(QStringLiteral("ratio")).typeId(), QMetaType::Double);
    EXPECT_EQ(reread.value(QStringLiteral("big")).toLongLong(), qint64(1) << 60);
}

TEST_F(AppPreferencesTest, WhatCannotBeReadReadsAsDefaultsAndAnUnreadableFileIsSetAsideBeforeTheFirstWrite)
{
    FakeHost host(8, 8 * GiB);
    const auto keys =
        std::tuple{P::selectedVMTab,        P::appearanceTheme,         P::appearanceAccent,
                   P::appearanceAnimations, P::appearanceGlass,         P::newDeviceCores,
                   P::newDeviceMemoryGB,    P::newDeviceSoftwareGPU,    P::experimentalVPhoneEnabled,
                   P::developerModeEnabled, P::vphonePermanentlyBlocked};
    // Each key's default, then the memory budget's, which depends on the host.
    const QVariantList defaults{"windows", "system", "blue", true, true, 2, 2, false, false, false, false, 4};
    const QByteArray wrongTypes = R"({"selectedVMTab":3,"appearanceTheme":true,"appearanceAccent":null,
        "appearanceAnimations":"false","appearanceGlass":0,"newDeviceCores":true,"newDeviceMemoryGB":"4",
        "newDeviceSoftwareGPU":"true","multiMemoryGB":2.5,"experimentalVPhoneEnabled":1,
        "developerModeEnabled":[true],"vphonePermanentlyBlocked":{"double":1}})";
    const QByteArray cutShort = R"({"developerModeEnabled":true,"multiMemoryGB":6,"appearanceTheme":"dark")";
    const QByteArray tooLarge = R"({"developerModeEnabled":true})" + QByteArray(2 * 1024 * 1024, ' ');
    // An empty file holds nothing to lose, and a file of wrong types is ours to keep.
    const std::pair<QByteArray, bool> cases[] = {{wrongTypes, false}, {QByteArray(""), false},
                                                 {cutShort, true},    {QByteArray("newDeviceCores=6"), true},
                                                 {"[1,2]", true},     {tooLarge, true}};
    for (const auto &[content, unreadable] : cases) {
        SCOPED_TRACE(content.left(80).toStdString());
        LogProbe::reset();
        auto store = storeWith(content);
        QVariantList read =
            std::apply([&](const auto &...key) { return QVariantList{P::read(*store, key)...}; }, keys);
        read.append(P::multiMemoryGB(*store));
        EXPECT_EQ(read, defaults);

        const QString name = QFileInfo(store->fileName()).fileName();
        P::write(*store, P::selectedVMTab, QStringLiteral("android"));
        P::write(*store, P::appearanceGlass, false);
        P::flush();
        P::write(*store, P::newDeviceCores, 4);
        P::flush();
        const QSettings reread(store->fileName(), P::jsonFormat());
        EXPECT_EQ(P::read(reread, P::newDeviceCores), 4) << "a change made after the read is kept";
        const QStringList kept = QDir(dir.path()).entryList({name + QStringLiteral(".unreadable-*")});
        ASSERT_EQ(kept.size(), unreadable ? 1 : 0);
        if (unreadable) {
            EXPECT_EQ(readFile(dir.filePath(kept.first())), content);
            QStringList written = reread.allKeys();
            written.sort();
            EXPECT_EQ(written, (QStringList{"appearanceGlass", "newDeviceCores", "selectedVMTab"}));
            ASSERT_EQ(LogProbe::entries().size(), 1);
            EXPECT_TRUE(LogProbe::entries().first().endsWith(
                QStringLiteral("] [WARN] [设置] 偏好设置文件无法读取，原文件已另存为 ") + kept.first()));
        }
    }
}

TEST_F(AppPreferencesTest, TheUsersStoreLivesInTheSandboxedConfigFolder)
{
#ifdef Q_OS_MACOS
    GTEST_SKIP() << "the user-defaults domain has no file of ours";
#endif
    auto store = P::openStore();
    EXPECT_TRUE(store->fileName().startsWith(QDir::homePath()));
    EXPECT_TRUE(store->fileName().endsWith(QStringLiteral("/Corvane/CorvaneBeta.json")));
    P::write(*store, P::appearanceAccent, QStringLiteral("green"));
    store->sync();
    EXPECT_EQ(AppAppearance::fromPreferences(*P::openStore()).accent, QColor(0x34C759));
    QFile::remove(store->fileName());
}

TEST_F(AppPreferencesTest, MemoryBudgetLeavesFourGigabytesToTheHost)
{
    // clang-format off
    struct Case { qint64 memory; std::optional<qint64> stored; qint64 budget; };
    const Case cases[] = {
        {8 * GiB, std::nullopt, 4096}, {8 * GiB, 10, 4096}, {8 * GiB, 2, 2048},     {8 * GiB, 0, 1024},
        {4 * GiB, 10, 1024},           {GiB * 3 / 2, 2, 1024}, {5 * GiB, 3, 1024}, {6 * GiB, std::nullopt, 2048},
        {16 * GiB, 100, 12288},        {32 * GiB, std::nullopt, 28672},            {32 * GiB, -7, 1024},
    };
    // clang-format on
    for (const Case &c : cases) {
        FakeHost host(8, c.memory);
        auto store = storeWith({});
        if (c.stored) {
            P::setMultiMemoryGB(*store, *c.stored);
        }
        EXPECT_EQ(P::memoryBudgetMB(*store), c.budget)
            << c.memory << " bytes, stored " << c.stored.value_or(-1);
    }
    FakeHost host(8, 32 * GiB);
    auto text = storeWith(R"({"multiMemoryGB":"12"})");
    EXPECT_EQ(P::memoryBudgetMB(*text), 28672);
}

TEST_F(AppPreferencesTest, NewDeviceFollowsTheSettingsWithinTheHost)
{
    // clang-format off
    struct Case { int cpus; qint64 memory; QByteArray stored; VMConfiguration expected; };
    // clang-format on
    const QString screen = QStringLiteral(u"720 × 1280");
    const Case cases[] = {
        {12, 32 * GiB, R"({"newDeviceMemoryGB":12,"newDeviceCores":16})", {8, 8192, screen, false}},
        {8, 6 * GiB, R"({"newDeviceMemoryGB":0})", {2, 1024, screen, false}},
        {8, 6 * GiB, R"({"newDeviceMemoryGB":5,"newDeviceSoftwareGPU":true})", {2, 3072, screen, true}},
        {4, GiB * 3 / 2, R"({"newDeviceMemoryGB":4,"newDeviceCores":0})", {1, 1024, screen, false}},
        {4, 8 * GiB, R"({"newDeviceCores":8,"newDeviceSoftwareGPU":"true"})", {4, 2048, screen, false}},
        {8, 16 * GiB, R"({"newDeviceMemoryGB":-2,"newDeviceCores":"6"})", {2, 1024, screen, false}},
        {8, 4 * GiB, R"({"newDeviceMemoryGB":3})", {2, 2048, screen, false}},
    };
    for (const Case &c : cases) {
        FakeHost host(c.cpus, c.memory);
        EXPECT_EQ(VMConfiguration::forNewDevice(*storeWith(c.stored)), c.expected)
            << c.cpus << " cpus, " << c.stored.data();
    }
}

TEST(AppPreferences, StepperRangesFollowTheHost)
{
    using R = AppPreferences::Range;
    EXPECT_EQ(P::newDeviceCoresRange(4), (R{1, 4}));
    EXPECT_EQ(P::newDeviceCoresRange(12), (R{1, 8}));
    // clang-format off
    struct Case { qint64 memory; R deviceMemory; R budget; qint64 budgetDefault; };
    // clang-format on
    const Case cases[] = {
        {GiB * 3 / 2, {1, 1}, {1, 1}, 1}, {4 * GiB, {1, 2}, {1, 1}, 1}, {5 * GiB, {1, 2}, {1, 1}, 1},
        {6 * GiB, {1, 3}, {1, 2}, 2},     {8 * GiB, {1, 4}, {1, 4}, 4}, {32 * GiB, {1, 8}, {1, 28}, 28},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(P::newDeviceMemoryGBRange(c.memory), c.deviceMemory) << c.memory;
        EXPECT_EQ(P::multiMemoryGBRange(c.memory), c.budget) << c.memory;
        EXPECT_EQ(P::multiMemoryGBDefault(c.memory), c.budgetDefault) << c.memory;
    }
}

TEST(AppAppearance, ThemeForcesASchemeAndAccentPicksASystemColour)
{
    using S = AppAppearance::ColorScheme;
    EXPECT_EQ(AppAppearance::resolve(QStringLiteral("dark"), {}).colorScheme, S::Dark);
    EXPECT_EQ(AppAppearance::resolve(QStringLiteral("light"), {}).colorScheme, S::Light);
    for (const char *theme : {"system", "sepia", "Dark", ""}) {
        EXPECT_EQ(AppAppearance::resolve(QString::fromLatin1(theme), {}).colorScheme, S::System) << theme;
    }
    // clang-format off
    struct Case { const char *accent; QRgb light, dark; };
    // clang-format on
    for (const Case &c : {Case{"purple", 0xAF52DE, 0xBF5AF2}, Case{"green", 0x34C759, 0x30D158},
                          Case{"orange", 0xFF9500, 0xFF9F0A}, Case{"blue", 0x007AFF, 0x0A84FF},
                          Case{"pink", 0x007AFF, 0x0A84FF}, Case{"Purple", 0x007AFF, 0x0A84FF}}) {
        const AppAppearance appearance =
            AppAppearance::resolve(QStringLiteral("system"), QString::fromLatin1(c.accent));
        EXPECT_EQ(appearance.accentFor(false), QColor(c.light)) << c.accent;
        EXPECT_EQ(appearance.accentFor(true), QColor(c.dark)) << c.accent;
    }
}

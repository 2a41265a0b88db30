#include "android/VMConfiguration.h"
#include "FakeHost.h"
#include "TestFiles.h"
#include "services/FileIO.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

constexpr qint64 GiB = FakeHost::GiB;
const QString defaultScreen = QStringLiteral(u"720 × 1280");

// What config.ini must hold: %1 cores, %2 memory, %3 width, %4 height, %5 density, %6 GPU mode, %7 image.
const char *const expectedIni = R"(AvdId=Corvane
avd.ini.displayname=Corvane
avd.ini.encoding=UTF-8
abi.type=arm64-v8a
hw.cpu.arch=arm64
hw.cpu.ncore=%1
hw.ramSize=%2
hw.lcd.width=%3
hw.lcd.height=%4
hw.lcd.density=%5
hw.keyboard=yes
hw.mainKeys=no
hw.gpu.enabled=yes
hw.gpu.mode=%6
hw.audioInput=no
hw.camera.back=none
hw.camera.front=none
hw.sensors.orientation=yes
hw.sensors.proximity=yes
hw.battery=yes
hw.accelerometer=yes
hw.dPad=no
hw.gsmModem=yes
hw.gps=yes
hw.sdCard=no
disk.dataPartition.size=8G
disk.cachePartition=yes
disk.cachePartition.size=128M
image.sysdir.1=%7/
tag.id=default
tag.display=Default
target=android-34
fastboot.forceColdBoot=yes
fastboot.forceFastBoot=no
showDeviceFrame=no
skin.dynamic=yes
skin.name=%3x%4
vm.heapSize=256)";

} // namespace

TEST(VMConfiguration, IniIsTheWholeExpectedFileWithValidatedValuesForEveryScreenAndGpuMode)
{
    FakeHost host(12, 32 * GiB);
    const QString image = QStringLiteral("/data/sdk/system-images/android-34/default/arm64-v8a");
    const QList<VMConfiguration::ScreenPreset> screens{{defaultScreen, 720, 1280, 320},
                                                       {QStringLiteral(u"1080 × 1920"), 1080, 1920, 420},
                                                       {QStringLiteral(u"1280 × 800"), 1280, 800, 240},
                                                       {QStringLiteral("720x1280"), 720, 1280, 320}};
    QStringList presets;
    for (const VMConfiguration::ScreenPreset &preset : VMConfiguration::screenPresets()) {
        presets << preset.label;
    }
    EXPECT_EQ(presets, (QStringList{screens[0].label, screens[1].label, screens[2].label}));

    // Cores and memory as validated for this host, as the emulator is started with them.
    for (const VMConfiguration::ScreenPreset &screen : screens) {
        for (const bool software : {false, true}) {
            EXPECT_EQ(VMConfiguration({16, 16384, screen.label, software}).ini(image),
                      QString::fromLatin1(expectedIni)
                              .arg(QStringLiteral("8"), QStringLiteral("8192"), QString::number(screen.width),
                                   QString::number(screen.height), QString::number(screen.density),
                                   software ? QStringLiteral("software") : QStringLiteral("auto"), image) +
                          u'\n');
        }
    }
}

TEST(VMConfiguration, ArgumentsUseTheValidatedValues)
{
    FakeHost host(12, 8 * GiB);
    const VMConfiguration wild{16, 16384, QStringLiteral("720x1280"), true};
    EXPECT_EQ(wild.arguments(5580),
              QStringList({"-avd", "Corvane", "-port", "5580", "-cores", "8", "-memory", "4096", "-gpu",
                           "software", "-no-snapshot", "-no-boot-anim", "-no-metrics"}));
    EXPECT_EQ(VMConfiguration({2, 2048, defaultScreen, false}).arguments(5554)[9], QStringLiteral("auto"));
}

TEST(VMConfiguration, ValidationClampsToTheHost)
{
    const qint64 huge = std::numeric_limits<qint64>::max();
    // clang-format off
    struct Case { int cpus; qint64 memory; qint64 cores, mb; qint64 wantCores, wantMB; };
    const Case cases[] = {
        {12, 8 * GiB, 0, 512, 1, 1024},     {12, 8 * GiB, 16, 16384, 8, 4096},
        {12, 32 * GiB, 6, 12288, 6, 8192},  {4, GiB * 3 / 2, 4, 65536, 4, 1024},
        {4, 4 * GiB, 6, 4096, 4, 2048},     {8, 6 * GiB, -5, -1, 1, 1024},
        {8, 16 * GiB, 8, 12000, 8, 8192},   {8, 16 * GiB - (1 << 20), 8, 12000, 8, 8191},
        {8, 2 * GiB, 2, 4096, 2, 1024},     {8, 2 * GiB - 1, 2, 4096, 2, 1024},
        {4, 64 * GiB, huge, huge, 4, 8192},
    };
    // clang-format on
    for (const Case &c : cases) {
        FakeHost host(c.cpus, c.memory);
        const VMConfiguration result = VMConfiguration{c.cores, c.mb, defaultScreen, true}.validated();
        EXPECT_EQ(result, (VMConfiguration{c.wantCores, c.wantMB, defaultScreen, true}))
            << c.cpus << " cpus, " << c.memory << " bytes, " << c.cores << "/" << c.mb;
    }
    FakeHost host(8, 16 * GiB);
    for (const QString &label : {QStringLiteral("720x1280"), QString(), QStringLiteral(u"1080 × 1920 ")}) {
        EXPECT_EQ(VMConfiguration({4, 4096, label, false}).validated().screen, defaultScreen);
    }
    EXPECT_EQ(VMConfiguration({4, 4096, QStringLiteral(u"1280 × 800"), false}).validated().screen,
              QStringLiteral(u"1280 × 800"));
}

TEST(VMConfiguration, JsonIsCompactAndDecodesOnlyWithAllFourTypedKeys)
{
    const VMConfiguration config{3, 9007199254740993, QStringLiteral(u"1280 × 800"), true};
    const QByteArray json = config.toJson();
    EXPECT_FALSE(QByteArray(json).replace(config.screen.toUtf8(), "").contains(' ') || json.contains('\n'));
    EXPECT_EQ(json.count(':'), 4);
    EXPECT_EQ(VMConfiguration::fromJson(json), config);
    EXPECT_EQ(
        VMConfiguration::fromJson(R"({"softwareGPU":false,"screen":"x","memoryMB":2048.0,"cores":2,"a":1})"),
        (VMConfiguration{2, 2048, QStringLiteral("x"), false}));

    const QJsonObject valid{{"cores", 4}, {"memoryMB", 4096}, {"screen", "s"}, {"softwareGPU", false}};
    ASSERT_TRUE(VMConfiguration::fromJson(QJsonDocument(valid).toJson()));
    const std::pair<QString, QJsonValue> wrongTypes[] = {{"cores", "4"},
                                                         {"cores", 4.5},
                                                         {"cores", true},
                                                         {"memoryMB", 1e30},
                                                         {"screen", 720},
                                                         {"softwareGPU", 1},
                                                         {"softwareGPU", QJsonValue::Null}};
    for (const auto &[key, value] : wrongTypes) {
        QJsonObject bad = valid;
        bad[key] = value;
        EXPECT_FALSE(VMConfiguration::fromJson(QJsonDocument(bad).toJson())) << key.toStdString();
    }
    for (const QString &key : valid.keys()) {
        QJsonObject bad = valid;
        bad.remove(key);
        EXPECT_FALSE(VMConfiguration::fromJson(QJsonDocument(bad).toJson())) << key.toStdString();
    }
    for (const char *bad : {R"({"cores":4,"memoryMB":4096,"scr)", R"([4,4096,"s",false])", "not json"}) {
        EXPECT_FALSE(VMConfiguration::fromJson(bad)) << bad;
    }
}

TEST(VMConfiguration, LoadFallsBackToTheValidatedDefaultAndLeavesTheFileAlone)
{
    FakeHost host(2, 6 * GiB);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("configuration.json"));
    const VMConfiguration fallback{2, 3072, defaultScreen, false};
    // A folder, an endless device or a huge file in its place is HostileFilesTest's.
    EXPECT_EQ(VMConfiguration::load(path), fallback);

    const QByteArray partial = R"({"cores":2,"memoryMB":2048})";
    FileIO::writeAtomically(path, partial);
    EXPECT_EQ(VMConfiguration::load(path), fallback);
    EXPECT_EQ(readFile(path), partial);

    // A stored configuration comes back as written; clamping happens where it is used.
    const VMConfiguration stored{64, 65536, QStringLiteral("720x1280"), true};
    FileIO::writeAtomically(path, stored.toJson());
    EXPECT_EQ(VMConfiguration::load(path), stored);
}

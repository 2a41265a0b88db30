// The Windows ISO check and bundle build as the user feels them: inspecting an image costs the same
// whatever its size (nothing is hashed or read in full), and the window keeps drawing while the build
// copies a multi-gigabyte ISO on a worker thread. Needs genisoimage and 7-Zip (scripts/dev.sh installs them).
#include "BenchSandbox.h"
#include "platform/Host.h"
#include "services/FileIO.h"
#include "services/Interaction.h"
#include "windows/WindowsModel.h"
#include "windows/WindowsPreparation.h"

#include <QCoreApplication>
#include <QCoroTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <unistd.h>

namespace {

constexpr qint64 MiB = qint64(1) << 20;
constexpr qint64 GiB = qint64(1) << 30;

QString s_root;

/** A host with UTM installed in the benchmark's folder and room for any disk setting. */
class BenchHost : public Host
{
public:
    QString utm;
    qint64 availableCapacity(const QString &) const override { return qint64(1) << 40; }
    QString applicationPath(const QString &bundleIdentifier) const override
    {
        return bundleIdentifier == WindowsModel::utmBundleIdentifier ? utm : QString();
    }
    bool openWithApplication(const QString &, const QString &) override { return true; }
};

/** Answers every save panel with the next target. */
class BenchInteraction : public Interaction
{
public:
    QString target;
    QCoro::Task<QString> chooseFile(QString, QStringList) override { co_return QString(); }
    // A copy: g++ 12 moves from a data member named in co_return.
    QCoro::Task<QString> chooseSaveLocation(QString, QString, QStringList) override
    {
        co_return QString(target);
    }
    QCoro::Task<int> ask(QString, QString, QStringList) override { co_return -1; }
};

bool writeFile(const QString &path, qint64 size, char fill)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    QByteArray chunk(16 * MiB, fill);
    for (qint64 written = 0; written < size; written += chunk.size()) {
        const qint64 n = std::min<qint64>(chunk.size(), size - written);
        chunk[0] = char(written >> 24);
        if (file.write(chunk.constData(), n) != n) {
            return false;
        }
    }
    return file.flush() && ::fsync(file.handle()) == 0;
}

/** A UDF image of an ARM64 installer tree with `payload` bytes of real data in its install image. */
bool makeISO(const QString &iso, qint64 payload)
{
    const QString tree = s_root + QStringLiteral("/tree-") + QFileInfo(iso).baseName();
    FileIO::removeIfPresent(tree);
    if (!writeFile(tree + QStringLiteral("/efi/boot/bootaa64.efi"), 4096, 'e') ||
        !writeFile(tree + QStringLiteral("/setup.exe"), 4096, 's') ||
        !writeFile(tree + QStringLiteral("/sources/install.wim"), payload, 'w')) {
        return false;
    }
    QProcess genisoimage;
    genisoimage.start(QStringLiteral("/usr/bin/genisoimage"),
                      {QStringLiteral("-quiet"), QStringLiteral("-udf"), QStringLiteral("-o"), iso, tree});
    const bool made = genisoimage.waitForFinished(-1) && genisoimage.exitCode() == 0;
    FileIO::removeIfPresent(tree);
    return made;
}

QCoro::Task<> inspect(QString iso, bool *passed)
{
    WindowsPreparation::Inspection listing;
    listing.method = WindowsPreparation::Inspection::Method::List;
    try {
        co_await WindowsPreparation::inspectISO(iso, listing);
        *passed = true;
    } catch (...) {
        *passed = false;
    }
}

void BM_InspectISO(benchmark::State &state)
{
    const qint64 size = state.range(0) * MiB;
    const QString iso = s_root + QStringLiteral("/inspect-%1.iso").arg(state.range(0));
    // Both images hold the same 48 MiB; the large one is mostly a hole, which a full read would still
    // take a second or more to get through.
    if (!makeISO(iso, 48 * MiB) || !QFile(iso).resize(std::max(size, QFileInfo(iso).size()))) {
        state.SkipWithError("could not make the image");
        return;
    }
    for (auto _ : state) {
        bool passed = false;
        QCoro::waitFor(inspect(iso, &passed));
        if (!passed) {
            state.SkipWithError("the image did not pass");
            break;
        }
    }
    state.counters["image_MiB"] = double(QFileInfo(iso).size()) / double(MiB);
    QFile::remove(iso);
}
BENCHMARK(BM_InspectISO)
    ->Arg(50)
    ->Arg(5 * 1024)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);

/** Ticks a 10 ms timer while `work` runs on the event loop; the longest interval between two ticks. */
template<typename Work> qint64 longestGapWhile(Work work, qint64 *ticks, qint64 *slowTicks)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = std::max(longest, now - last);
        *slowTicks += now - last > 50 ? 1 : 0;
        if (now - last > 25) {
            qWarning() << "gap" << now - last << "at" << now;
        }
        ++*ticks;
        last = now;
    });
    tick.start(10);
    work();
    tick.stop();
    return longest;
}

QCoro::Task<> idle(std::chrono::milliseconds duration)
{
    QTimer timer;
    timer.setSingleShot(true);
    timer.start(duration);
    co_await timer;
}

/** The same measure with nothing to do: what the machine's other load alone costs the event loop. */
void BM_IdleWindowTicks(benchmark::State &state)
{
    qint64 longest = 0;
    qint64 ticks = 0;
    qint64 slowTicks = 0;
    for (auto _ : state) {
        longest = std::max(longest, longestGapWhile([] { QCoro::waitFor(idle(std::chrono::seconds(6))); },
                                                    &ticks, &slowTicks));
    }
    state.counters["longest_gap_ms"] = double(longest);
    state.counters["gaps_over_50ms"] = double(slowTicks);
    state.counters["ticks"] = double(ticks);
}
BENCHMARK(BM_IdleWindowTicks)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_CreateWhileTheWindowTicks(benchmark::State &state)
{
    const qint64 isoBytes = state.range(0) * GiB;
    const QString iso = s_root + QStringLiteral("/build.iso");
    if (!makeISO(iso, isoBytes)) {
        state.SkipWithError("could not make the image");
        return;
    }
    BenchHost host;
    host.utm = s_root + QStringLiteral("/UTM.app");
    if (!writeFile(host.utm + QStringLiteral("/Contents/Resources/qemu/edk2-arm-secure-vars.fd"), 64 * 1024,
                   'v')) {
        state.SkipWithError("could not make UTM.app");
        return;
    }
    Host::install(&host);
    BenchInteraction interaction;
    interaction.target = s_root + QStringLiteral("/Bench.utm");
    Interaction::install(&interaction);
    const bool dropCaches = qEnvironmentVariableIntValue("CORVANE_BENCH_DROP_CACHES") != 0;

    WindowsModel::Options options;
    options.inspection.method = WindowsPreparation::Inspection::Method::List;
    WindowsModel model(s_root + QStringLiteral("/CorvaneBeta"), options);
    QCoro::waitFor(model.useISO(iso));
    if (!model.confirmedARM()) {
        state.SkipWithError(qPrintable(QStringLiteral("the image did not pass: ") + model.error()));
        Interaction::install(nullptr);
        Host::install(nullptr);
        return;
    }

    qint64 longestGapMs = 0;
    qint64 ticks = 0;
    qint64 slowTicks = 0;
    int failures = 0;
    for (auto _ : state) {
        state.PauseTiming();
        FileIO::removeIfPresent(interaction.target);
        // Let the disk finish freeing the last bundle, so only this build's own work is measured.
        ::sync();
        if (dropCaches) {
            // Read the ISO from the disk rather than the page cache (needs root).
            QFile drop(QStringLiteral("/proc/sys/vm/drop_caches"));
            if (drop.open(QIODevice::WriteOnly)) {
                drop.write("3\n");
            }
        }
        state.ResumeTiming();

        longestGapMs = std::max(longestGapMs,
                                longestGapWhile([&] { QCoro::waitFor(model.create()); }, &ticks, &slowTicks));
        if (!model.error().isEmpty() ||
            !QFileInfo::exists(interaction.target + QStringLiteral("/Data/installer.iso"))) {
            ++failures;
        }
    }
    state.counters["iso_GiB"] = double(state.range(0));
    state.counters["longest_gap_ms"] = double(longestGapMs);
    state.counters["gaps_over_50ms"] = double(slowTicks);
    state.counters["ticks"] = double(ticks);
    state.counters["copy_MiB_per_s"] = benchmark::Counter(
        double(isoBytes) / double(MiB) * double(state.iterations()), benchmark::Counter::kIsRate);
    if (failures > 0) {
        state.SkipWithError(
            qPrintable(QStringLiteral("build failed: ") + model.message() + u' ' + model.error()));
    }
    FileIO::removeIfPresent(interaction.target);
    QFile::remove(iso);
    Interaction::install(nullptr);
    Host::install(nullptr);
}
BENCHMARK(BM_CreateWhileTheWindowTicks)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    // CORVANE_BENCH_DIR picks a volume with room for the images.
    const BenchSandbox sandbox(qgetenv("CORVANE_BENCH_DIR").isEmpty() ? QByteArray("/tmp")
                                                                      : qgetenv("CORVANE_BENCH_DIR"));
    QCoreApplication app(argc, argv);
    s_root = sandbox.path();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Snapshot create and restore of a device folder on a copy-on-write volume, for written disk images of
// 1 GiB and 8 GiB: clones should cost the same whatever the size. Needs CORVANE_REFLINK_DIR on a volume
// with room for the images (see docs/benchmarks.md for how to mount one).
#include "BenchSandbox.h"
#include "services/FileSnapshotStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <unistd.h>

namespace {

bool writeImage(const QString &path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    QByteArray chunk(64 << 20, 'a');
    for (qint64 written = 0; written < size; written += chunk.size()) {
        chunk[0] = char(written >> 26);
        if (file.write(chunk) != chunk.size()) {
            return false;
        }
    }
    // A clone first writes back dirty pages; settle them so the timing shows the clone alone.
    return file.flush() && ::fsync(file.handle()) == 0;
}

template<typename T> T run(QCoro::Task<T> task)
{
    return QCoro::waitFor(std::move(task));
}

void BM_SnapshotCreateAndRestore(benchmark::State &state)
{
    const QString volume = qEnvironmentVariable("CORVANE_REFLINK_DIR");
    if (volume.isEmpty()) {
        state.SkipWithError("CORVANE_REFLINK_DIR is not set");
        return;
    }
    QTemporaryDir dir(volume + QStringLiteral("/bench-XXXXXX"));
    const QString source = dir.filePath(QStringLiteral("avd"));
    const QString collection = dir.filePath(QStringLiteral("snapshots"));
    const qint64 size = state.range(0) << 30;
    if (!writeImage(source + QStringLiteral("/userdata-qemu.img"), size)) {
        state.SkipWithError("could not write the disk image");
        return;
    }
    double createSeconds = 0;
    double restoreSeconds = 0;
    for (auto _ : state) {
        const auto started = std::chrono::steady_clock::now();
        const SnapshotRecord record = run(
            FileSnapshotStore::create(source, collection, QStringLiteral("Android"), QStringLiteral("bench"),
                                      QStringLiteral("bench"), std::nullopt, QStringLiteral("bench")));
        const auto created = std::chrono::steady_clock::now();
        run(FileSnapshotStore::restore(source, collection, record, QStringLiteral("bench")));
        const auto restored = std::chrono::steady_clock::now();
        createSeconds += std::chrono::duration<double>(created - started).count();
        restoreSeconds += std::chrono::duration<double>(restored - created).count();
        state.PauseTiming();
        FileSnapshotStore::deleteSnapshot(collection, record);
        state.ResumeTiming();
    }
    state.counters["create_ms"] = createSeconds * 1000 / double(state.iterations());
    state.counters["restore_ms"] = restoreSeconds * 1000 / double(state.iterations());
}
BENCHMARK(BM_SnapshotCreateAndRestore)
    ->Arg(1)
    ->Arg(8)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    const BenchSandbox sandbox;
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

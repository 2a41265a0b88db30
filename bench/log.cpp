// Global log costs: a write as its caller sees it, sustained throughput to disk, reading the display
// tail of a full-size log, and filtering that tail.
#include "BenchSandbox.h"
#include "services/AppLog.h"
#include "services/GlobalLogModel.h"

#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

namespace {

const QString category = QStringLiteral("命令");
const QString message =
    QStringLiteral("完成：/usr/bin/lsof -t +D \"/Users/someone/Library/Application Support/CorvaneBeta\"");

void BM_WriteAsSeenByCaller(benchmark::State &state)
{
    std::vector<double> nanos;
    nanos.reserve(1 << 20);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        AppLog::info(category, message);
        nanos.push_back(
            std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count());
    }
    AppLog::readTail(0);
    std::sort(nanos.begin(), nanos.end());
    state.counters["median_ns"] = nanos[nanos.size() / 2];
    state.counters["p99_ns"] = nanos[nanos.size() * 99 / 100];
}
BENCHMARK(BM_WriteAsSeenByCaller)->Iterations(200000);

void BM_SustainedWritesToDisk(benchmark::State &state)
{
    const int batch = 20000;
    for (auto _ : state) {
        for (int i = 0; i < batch; ++i) {
            AppLog::info(category, message);
        }
        // Waits until every queued entry is on disk.
        AppLog::readTail(0);
    }
    state.counters["entries_per_s"] =
        benchmark::Counter(double(batch) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SustainedWritesToDisk)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void fillLog(qint64 size)
{
    AppLog::readTail(0);
    QDir().mkpath(QFileInfo(AppLog::file()).path());
    QFile file(AppLog::file());
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    const QByteArray line = "[2026-03-01T08:15:42.317Z] [INFO] [命令] " + message.toUtf8() + '\n';
    const QByteArray error = "[2026-03-01T08:15:42.318Z] [ERROR] [Android] 无法启动：端口被占用\n";
    for (int i = 0; file.size() < size; ++i) {
        file.write(i % 10 == 0 ? error : line);
    }
}

void BM_ReadDisplayTailOf5MiBLog(benchmark::State &state)
{
    fillLog(5 * 1024 * 1024);
    for (auto _ : state) {
        benchmark::DoNotOptimize(AppLog::readTail(AppLog::displayTailBytes));
    }
}
BENCHMARK(BM_ReadDisplayTailOf5MiBLog)->Unit(benchmark::kMillisecond);

void BM_FilterDisplayTail(benchmark::State &state)
{
    fillLog(5 * 1024 * 1024);
    const QString tail = AppLog::readTail(AppLog::displayTailBytes);
    for (auto _ : state) {
        benchmark::DoNotOptimize(GlobalLogModel::filter(tail, QStringLiteral(" error ")));
    }
}
BENCHMARK(BM_FilterDisplayTail)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    const BenchSandbox sandbox;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    AppLog::readTail(0);
    return 0;
}

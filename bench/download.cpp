// Throughput, memory and progress rate of Downloader fetching one large file from an HTTP server in
// another process (bench_file_server, started by compare-download.sh, which times curl on the same
// file in the same run). CORVANE_DOWNLOAD_URL names the file, CORVANE_DOWNLOAD_SIZE its size.
// Each iteration starts from an empty side file; the download lands in a temporary folder.
// CORVANE_DOWNLOAD_ITERATIONS sets the number of downloads (default 5).
#include "android/Downloader.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <unistd.h>

namespace {

QUrl s_url;
qint64 s_size = 0;

/** The process's peak resident set so far, in KiB (VmHWM), or -1 where /proc has no answer. */
qint64 peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return -1;
}

QCoro::Task<std::optional<QString>> fetch(Downloader &downloader, QString destination, int &reports)
{
    // waitFor never returns from a task that throws, so the failure becomes a value here.
    try {
        co_await downloader.download(s_url, destination, s_size, [&reports](double) { ++reports; });
        co_return std::nullopt;
    } catch (const std::exception &e) {
        co_return QString::fromUtf8(e.what());
    }
}

void BM_Download(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString destination = dir.filePath(QStringLiteral("download.bin"));
    const qint64 baseline = peakResidentKiB();
    int reports = 0;
    double seconds = 0;
    for (auto _ : state) {
        // Each transfer starts with the previous one's file gone and its pages written back, so
        // one run's writeback does not slow the next (compare-download.sh does the same for curl).
        state.PauseTiming();
        QFile::remove(destination);
        ::sync();
        state.ResumeTiming();
        Downloader downloader;
        QElapsedTimer clock;
        clock.start();
        const std::optional<QString> error = QCoro::waitFor(fetch(downloader, destination, reports));
        seconds += clock.nsecsElapsed() / 1e9;
        if (error) {
            state.SkipWithError(error->toUtf8().constData());
            return;
        }
        if (QFileInfo(destination).size() != s_size) {
            state.SkipWithError("downloaded file has the wrong size");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * s_size);
    state.counters["progress_reports_per_s"] = reports / seconds;
    state.counters["progress_reports_per_download"] = double(reports) / double(state.iterations());
    state.counters["peak_rss_KiB"] = double(peakResidentKiB());
    state.counters["peak_rss_growth_KiB"] = double(peakResidentKiB() - baseline);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    s_url = QUrl(qEnvironmentVariable("CORVANE_DOWNLOAD_URL"));
    s_size = qEnvironmentVariable("CORVANE_DOWNLOAD_SIZE").toLongLong();
    if (!s_url.isValid() || s_url.isEmpty() || s_size <= 0) {
        std::fprintf(stderr,
                     "set CORVANE_DOWNLOAD_URL and CORVANE_DOWNLOAD_SIZE (bench/compare-download.sh does)\n");
        return 64;
    }
    const int iterations = qEnvironmentVariableIntValue("CORVANE_DOWNLOAD_ITERATIONS");
    // Real time: the transfer runs in Qt's network thread as well as this one.
    benchmark::RegisterBenchmark("BM_Download", BM_Download)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(iterations > 0 ? iterations : 5);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

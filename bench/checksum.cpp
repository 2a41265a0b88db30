// Throughput of Command::checksum on a 1 GiB file, beside Qt's own SHA-1 over the same chunks for
// reference. CORVANE_CHECKSUM_FILE names an existing file to
// hash instead, so compare-checksum.sh can time `openssl sha1` on the very same bytes.
#include "services/Command.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <optional>

namespace {

constexpr qint64 fileBytes = qint64(1) << 30;

QString benchFile;

QCoro::Task<std::optional<QString>> digestOf(QString path)
{
    // waitFor never returns from a task that throws, so the failure becomes a value here.
    try {
        co_return co_await Command::checksum(path);
    } catch (...) {
        co_return std::nullopt;
    }
}

// Incompressible-looking content without the cost of a real random source.
bool createFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    for (qint64 written = 0; written < fileBytes; written += chunk.size()) {
        auto *words = reinterpret_cast<std::uint64_t *>(chunk.data());
        for (qsizetype i = 0; i < chunk.size() / qsizetype(sizeof(std::uint64_t)); ++i) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            words[i] = state;
        }
        if (file.write(chunk) != chunk.size()) {
            return false;
        }
    }
    return true;
}

void BM_Checksum1GiB(benchmark::State &state)
{
    for (auto _ : state) {
        const std::optional<QString> digest = QCoro::waitFor(digestOf(benchFile));
        if (!digest) {
            state.SkipWithError("checksum failed");
            break;
        }
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(benchFile).size());
}
// Real time: the hashing happens on a worker thread, not the one the library measures.
BENCHMARK(BM_Checksum1GiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_QtSha1_1GiB(benchmark::State &state)
{
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (auto _ : state) {
        QFile file(benchFile);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            state.SkipWithError("cannot open");
            break;
        }
        QCryptographicHash hash(QCryptographicHash::Sha1);
        for (qint64 read; (read = file.read(chunk.data(), chunk.size())) > 0;) {
            hash.addData(QByteArrayView(chunk.constData(), read));
        }
        benchmark::DoNotOptimize(hash.result());
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(benchFile).size());
}
BENCHMARK(BM_QtSha1_1GiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    QTemporaryDir dir;
    benchFile = qEnvironmentVariable("CORVANE_CHECKSUM_FILE");
    if (benchFile.isEmpty()) {
        benchFile = dir.filePath(QStringLiteral("1GiB.bin"));
        if (!createFile(benchFile)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(benchFile));
            return 1;
        }
    }
    // One pass first: it warms the page cache and shows the digest for checking against other tools.
    const std::optional<QString> digest = QCoro::waitFor(digestOf(benchFile));
    if (!digest) {
        std::fprintf(stderr, "cannot hash %s\n", qPrintable(benchFile));
        return 1;
    }
    std::fprintf(stderr, "digest: %s\n", qPrintable(*digest));

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

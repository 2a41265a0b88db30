// Loading the Android fleet at start-up: the first device plus 200 instance folders, each with its
// name file and configuration, until the fleet is ready for the screens.
#include "BenchSandbox.h"
#include "android/VMConfiguration.h"
#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "android/VMPaths.h"
#include "services/FileIO.h"

#include <QCoreApplication>
#include <QDir>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

QString s_root;

void makeFleetFolder(const QString &root, int instances)
{
    const VMPaths shared(root);
    saveConfiguration(shared, VMConfiguration{});
    for (int i = 0; i < instances; ++i) {
        const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        const VMPaths paths(shared.instanceFolder(id), root);
        FileIO::createFolder(paths.root());
        FileIO::writeAtomically(paths.instanceNameFile(), QStringLiteral("安卓 %1").arg(i + 2).toUtf8());
        FileIO::writeAtomically(paths.configurationFile(), VMConfiguration{}.toJson());
    }
}

void BM_LoadFleetOf200Instances(benchmark::State &state)
{
    qsizetype devices = 0;
    for (auto _ : state) {
        auto fleet = std::make_unique<VMFleet>(s_root);
        devices = fleet->models().size();
        benchmark::DoNotOptimize(fleet->current());
        state.PauseTiming();
        fleet.reset();
        state.ResumeTiming();
    }
    state.counters["devices"] = double(devices);
    state.counters["per_device"] =
        benchmark::Counter(double(devices) * double(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    if (devices != 201) {
        state.SkipWithError("the fleet did not load every device");
    }
}
BENCHMARK(BM_LoadFleetOf200Instances)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    const BenchSandbox sandbox;
    QCoreApplication app(argc, argv);
    s_root = sandbox.path() + QStringLiteral("/CorvaneBeta");
    makeFleetFolder(s_root, 200);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

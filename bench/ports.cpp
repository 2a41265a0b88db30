// The synchronous part of starting an Android device: walking all 64 console-port candidates (all but the
// last taken) and taking the instance lock. It runs on the GUI thread and must stay well under a frame.
#include "android/detail/EmulatorPorts.h"
#include "services/InstanceLock.h"

#include <QTcpServer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

void BM_PortWalkAndLock(benchmark::State &state)
{
    std::vector<std::unique_ptr<QTcpServer>> taken;
    const QList<int> &candidates = EmulatorPorts::candidates();
    for (qsizetype i = 0; i + 1 < candidates.size(); ++i) {
        auto server = std::make_unique<QTcpServer>();
        server->listen(QHostAddress::LocalHost, quint16(candidates[i]));
        taken.push_back(std::move(server));
    }
    QTemporaryDir dir;
    const QString lockFile = dir.filePath(QStringLiteral("instance.lock"));
    for (auto _ : state) {
        int found = 0;
        for (const int port : candidates) {
            if (!EmulatorPorts::reserved().contains(port) && EmulatorPorts::available(port)) {
                found = port;
                break;
            }
        }
        InstanceLock::Attempt lock = InstanceLock::acquire(lockFile);
        benchmark::DoNotOptimize(found);
        InstanceLock::release(lock.descriptor);
    }
}
BENCHMARK(BM_PortWalkAndLock)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

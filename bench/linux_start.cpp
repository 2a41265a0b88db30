// The Linux machine's first start as a user makes it, from the press of the page's start button half a
// second after the page came into view, with nothing on disk, to "running" (the folder,
// the sparse disk, the firmware's variable store and the identifier made, the lock taken, QEMU
// started and resumed), beside bare QEMU started with the same arguments and resumed over the same
// monitor protocol, in the same run. Needs qemu-system-arm and qemu-efi-aarch64.
//   bench_linux_start [runs]
#include "BenchSandbox.h"
#include "linux/LinuxModel.h"
#include "linux/LinuxPaths.h"
#include "linux/engine/QemuEngine.h"
#include "linux/engine/detail/QemuCommandLine.h"
#include "services/FileIO.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int timeoutMs = 60'000;

/** Runs the event loop until `condition` holds or the time-out passes. */
template<typename Condition> bool spin(Condition condition)
{
    QElapsedTimer clock;
    clock.start();
    // Sleeps until something happens (a wake-up now and then for the time-out): a busy loop would
    // take the processor from QEMU.
    QTimer wake;
    wake.start(100);
    while (!condition() && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return condition();
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

/** The application's first start: milliseconds from the click to "running", or -1. */
double firstStart(QemuEngine &engine, const QString &data, const QString &iso)
{
    FileIO::removeIfPresent(data);
    LinuxModel model(engine, data);
    LinuxConfiguration configuration = model.configuration();
    configuration.cores = 1;
    configuration.memoryGB = 1;
    configuration.diskGB = 16;
    configuration.isoPath = iso;
    configuration.attachISO = true;
    model.setConfiguration(configuration);
    // The page has been in view a moment before its start button is pressed.
    model.expectStart();
    QElapsedTimer shown;
    shown.start();
    spin([&] { return shown.elapsed() >= 500; });
    QElapsedTimer clock;
    clock.start();
    QCoro::waitFor(model.start());
    const double elapsed = model.running() ? clock.nsecsElapsed() / 1e6 : -1;
    if (!model.running()) {
        QTextStream(stderr) << "the machine did not start: " << model.error() << '\n';
    }
    QCoro::waitFor(model.forceStop());
    return elapsed;
}

/** QEMU alone with the machine `data` holds: milliseconds from its start to "running", or -1. */
double bareStart(const QemuInstallation &installation, QemuEngine &engine, const QString &data)
{
    // The settings the first start saved: the same machine, network card and all.
    const LinuxConfiguration configuration =
        LinuxConfiguration::load(data + QStringLiteral("/linux-configuration.json"), engine).validated();
    const MachineConfiguration machine =
        LinuxPaths(data + QStringLiteral("/Linux")).makeVMConfiguration(configuration, engine);
    QTemporaryDir sockets;
    const detail::QemuSockets places{sockets.filePath(QStringLiteral("m")),
                                     sockets.filePath(QStringLiteral("d"))};
    QLocalServer server;
    server.listen(places.monitor);
    QProcess qemu;
    qemu.setProcessChannelMode(QProcess::ForwardedChannels);

    QElapsedTimer clock;
    clock.start();
    qemu.start(installation.program, detail::qemuArguments(installation, machine, places));
    if (!spin([&] { return server.hasPendingConnections(); })) {
        return -1;
    }
    QLocalSocket *monitor = server.nextPendingConnection();
    // The greeting, then one command at a time, each answered by a line with "return".
    QList<QByteArray> commands{R"({"execute":"qmp_capabilities"})", R"({"execute":"cont"})",
                               R"({"execute":"query-status"})"};
    bool running = false;
    QByteArray pending;
    const bool answered = spin([&] {
        pending += monitor->readAll();
        while (pending.contains('\n')) {
            const qsizetype end = pending.indexOf('\n');
            const QJsonObject reply = QJsonDocument::fromJson(pending.left(end)).object();
            pending.remove(0, end + 1);
            if (reply.contains(QStringLiteral("QMP")) || reply.contains(QStringLiteral("return"))) {
                running = reply.value(QStringLiteral("return")).toObject().value(QStringLiteral("status")) ==
                          QStringLiteral("running");
                if (!commands.isEmpty()) {
                    monitor->write(commands.takeFirst() + '\n');
                }
            }
        }
        return running;
    });
    const double elapsed = answered ? clock.nsecsElapsed() / 1e6 : -1;
    qemu.kill();
    qemu.waitForFinished();
    return elapsed;
}

} // namespace

int main(int argc, char *argv[])
{
    const BenchSandbox sandbox;
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const QemuInstallation installation = QemuInstallation::locate();
    if (!installation.isUsable()) {
        QTextStream(stderr) << "needs qemu-system-aarch64 and the AArch64 UEFI firmware\n";
        return 1;
    }
    const QDir root(sandbox.path());
    // With nothing to boot the firmware only opens its shell: the start is all that is measured.
    const QString iso = root.filePath(QStringLiteral("blank-arm64.iso"));
    QFile image(iso);
    if (!image.open(QIODevice::WriteOnly) || !image.resize(4 << 20)) {
        return 1;
    }
    image.close();
    QemuEngine engine(installation);
    const QString data = root.filePath(QStringLiteral("CorvaneBeta"));

    // A start to warm the caches and leave a machine for QEMU alone; then the two take turns.
    if (firstStart(engine, data, iso) < 0) {
        return 1;
    }
    QList<double> application_, bare;
    for (int run = 0; run < runs; ++run) {
        const double alone = bareStart(installation, engine, data);
        const double first = firstStart(engine, data, iso);
        if (first < 0 || alone < 0) {
            return 1;
        }
        application_ << first;
        bare << alone;
        QTextStream(stdout) << "run " << run + 1 << ": first start " << first << " ms, bare QEMU " << alone
                            << " ms\n";
    }
    QTextStream(stdout) << "median: first start " << median(application_) << " ms, bare QEMU " << median(bare)
                        << " ms, ratio " << median(application_) / median(bare) << '\n';
    return 0;
}

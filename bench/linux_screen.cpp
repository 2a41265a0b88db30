// The Linux machine's screen as the application shows it: the real QEMU under emulation boots its
// UEFI firmware, and the page's LinuxDisplay reads the screen from QEMU's VNC socket. Measured are
// the pictures painted per second and the application's own CPU time (all its threads, not QEMU's),
// once while the firmware's shell waits at its prompt and once while a script scrolls its console
// without pause. Needs qemu-system-arm, qemu-efi-aarch64, mtools and dosfstools.
#include "BenchSandbox.h"
#include "FirmwareScreen.h"
#include "IdleFor.h"
#include "linux/LinuxModel.h"
#include "linux/engine/QemuEngine.h"
#include "linux/screen/VncConnection.h"
#include "platform/Host.h"
#include "services/FileIO.h"
#include "ui/linux/LinuxDisplay.h"
#include "ui/linux/LinuxDisplayWindow.h"
#include "ui/linux/LinuxView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr qint64 GiB = qint64(1) << 30;
constexpr int measureMs = 10'000;

QString s_root;

/** The real host, with room on the data volume whatever the sandbox's is. */
class BenchHost : public Host
{
public:
    qint64 availableCapacity(const QString &) const override { return qint64(1) << 40; }
};

double cpuMilliseconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

/** An "ISO" holding a FAT file system whose startup.nsh prints lines without end. */
QString scrollingInstaller()
{
    const QString image = s_root + QStringLiteral("/scrolling-arm64.iso");
    const QString startup = s_root + QStringLiteral("/startup.nsh");
    const QStringList script{
        QStringLiteral(":again"),
        QStringLiteral("echo Corvane screen benchmark: a console that never stops scrolling"),
        QStringLiteral("goto again")};
    QFile file(startup);
    if (!file.open(QIODevice::WriteOnly)) {
        return {};
    }
    file.write(script.join(QStringLiteral("\r\n")).toLatin1() + "\r\n");
    file.close();
    QFile::remove(image);
    const QStringList format{QStringLiteral("-C"), image, QStringLiteral("8192")};
    const QStringList copy{QStringLiteral("-i"), image, startup, QStringLiteral("::/startup.nsh")};
    if (QProcess::execute(QStringLiteral("/usr/sbin/mkfs.vfat"), format) != 0 ||
        QProcess::execute(QStringLiteral("/usr/bin/mcopy"), copy) != 0) {
        return {};
    }
    return image;
}

/** An "ISO" with no file system at all. */
QString blankInstaller()
{
    const QString image = s_root + QStringLiteral("/blank-arm64.iso");
    QFile file(image);
    return file.open(QIODevice::WriteOnly) && file.resize(4 << 20) ? image : QString();
}

/** Runs the event loop until `condition` holds; false when `withinMs` passed first. */
template<typename Condition> bool waitFor(Condition condition, int withinMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > withinMs) {
            return false;
        }
        idleFor(100);
    }
    return true;
}

enum class Scene { Resting, Scrolling };
enum class Place { Page, Window };

/** Boots the firmware with `script`, shows its screen in `place` and measures over `measureMs`. */
void measure(benchmark::State &state, Scene scene, Place place)
{
    const QemuInstallation installation = QemuInstallation::locate();
    if (!installation.isUsable()) {
        state.SkipWithError("needs qemu-system-aarch64 and the AArch64 UEFI firmware");
        return;
    }
    // With nothing to boot the firmware opens its shell and waits at the prompt; a script on the
    // installer's FAT file system can keep the console scrolling instead.
    const QString iso = scene == Scene::Scrolling ? scrollingInstaller() : blankInstaller();
    if (iso.isEmpty()) {
        state.SkipWithError("needs mkfs.vfat and mcopy (dosfstools, mtools)");
        return;
    }
    QemuEngine engine(installation);
    const QString data = s_root + QStringLiteral("/CorvaneBeta");
    FileIO::removeIfPresent(data);
    LinuxModel model(engine, data);
    LinuxConfiguration configuration = model.configuration();
    configuration.cores = 1;
    configuration.memoryGB = 1;
    configuration.diskGB = 16;
    configuration.isoPath = iso;
    configuration.attachISO = true;
    model.setConfiguration(configuration);

    LinuxView page(model);
    page.resize(1040, 1500);
    page.show();
    std::unique_ptr<LinuxDisplayWindow> window;
    if (place == Place::Window) {
        window = std::make_unique<LinuxDisplayWindow>(model);
        window->resize(1280 + 2 * LinuxDisplayWindow::margin, 800 + 2 * LinuxDisplayWindow::margin);
        window->show();
    }
    QCoro::waitFor(model.start());
    if (!model.running()) {
        const std::string reason = "the machine did not start: " + model.error().toStdString();
        state.SkipWithError(reason.c_str());
        return;
    }
    LinuxDisplay &display = window ? *window->display() : *page.display();
    const VncConnection &connection = *display.connection();
    bool ready = false;
    if (scene == Scene::Resting) {
        ready = waitFor([&] { return FirmwareScreen::showsShell(connection.frame()); }, 240'000) &&
                FirmwareScreen::settles(connection, 3000, 60'000);
    } else {
        // Past the shell's countdown: the console scrolls.
        ready = waitFor([&] { return connection.updates() > 60; }, 240'000);
    }
    if (!ready) {
        state.SkipWithError("the firmware's screen never reached the scene");
        QCoro::waitFor(model.forceStop());
        return;
    }

    double frames = 0;
    double updates = 0;
    double cpu = 0;
    double seconds = 0;
    for (auto _ : state) {
        const quint64 shownBefore = display.framesShown();
        const quint64 updatesBefore = connection.updates();
        const double cpuBefore = cpuMilliseconds();
        QElapsedTimer clock;
        clock.start();
        idleFor(measureMs);
        seconds = clock.elapsed() / 1000.0;
        cpu = cpuMilliseconds() - cpuBefore;
        frames = double(display.framesShown() - shownBefore);
        updates = double(connection.updates() - updatesBefore);
        state.SetIterationTime(seconds);
    }
    state.counters["frames_per_s"] = frames / seconds;
    state.counters["updates_per_s"] = updates / seconds;
    state.counters["app_cpu_ms_per_s"] = cpu / seconds;
    state.counters["app_cpu_ms_per_frame"] = frames > 0 ? cpu / frames : 0.0;
    state.counters["screen_w"] = connection.frame().width();
    state.counters["shown_w"] = display.imageRect().width();
    QCoro::waitFor(model.forceStop());
}

void BM_RestingScreenInThePage(benchmark::State &state)
{
    measure(state, Scene::Resting, Place::Page);
}
BENCHMARK(BM_RestingScreenInThePage)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

void BM_ScrollingScreenInThePage(benchmark::State &state)
{
    measure(state, Scene::Scrolling, Place::Page);
}
BENCHMARK(BM_ScrollingScreenInThePage)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

void BM_ScrollingScreenInTheWindowAtFullSize(benchmark::State &state)
{
    measure(state, Scene::Scrolling, Place::Window);
}
BENCHMARK(BM_ScrollingScreenInTheWindowAtFullSize)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    const BenchSandbox sandbox;
    QApplication app(argc, argv);
    s_root = sandbox.path();
    BenchHost host;
    Host::install(&host);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Host::install(nullptr);
    return 0;
}

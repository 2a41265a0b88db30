// Runs one operation of the program on a data root, the way the window would, and exits. The crash
// tests run it under strace and kill it at each of its file-system steps.
//
//   crash_driver android-snapshot create|rollback|delete ROOT
//   crash_driver linux-snapshot create|rollback|delete ROOT
//   crash_driver android-copy ROOT
//   crash_driver android-delete ROOT ID
//   crash_driver android-install ROOT
//   crash_driver android-run ROOT       starts the first device, says "running", runs until killed
//   crash_driver linux-run ROOT         the same with the Linux machine
#include "FakeHost.h"
#include "crash/CrashGuests.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QCoroTimer>

#include <cstdio>

namespace {

/** Tells the test the guest runs, then keeps this copy of the program alive until it is killed. */
QCoro::Task<> runUntilKilled()
{
    std::printf("running\n");
    std::fflush(stdout);
    for (;;) {
        co_await QCoro::sleepFor(std::chrono::seconds(1));
    }
}

QCoro::Task<QString> androidRun(QString root)
{
    VMFleet fleet(root);
    VMModel *device = fleet.current();
    device->start();
    while (!device->booted() && device->error().isEmpty()) {
        co_await QCoro::sleepFor(std::chrono::milliseconds(50));
    }
    if (!device->error().isEmpty()) {
        co_return device->error();
    }
    co_await runUntilKilled();
    co_return QString();
}

QCoro::Task<QString> linuxRun(QString root)
{
    FakeEngine engine;
    LinuxModel machine(engine, root);
    co_await machine.start();
    if (!machine.running()) {
        co_return machine.error();
    }
    co_await runUntilKilled();
    co_return QString();
}

QCoro::Task<QString> perform(QStringList arguments)
{
    const QString operation = arguments.value(1);
    if (operation == QLatin1String("android-snapshot")) {
        co_return CrashGuests::AndroidGuest().operate(arguments.value(3), arguments.value(2));
    }
    if (operation == QLatin1String("linux-snapshot")) {
        co_return CrashGuests::LinuxGuest().operate(arguments.value(3), arguments.value(2));
    }
    if (operation == QLatin1String("android-copy")) {
        VMFleet fleet(arguments.value(2));
        co_await fleet.duplicateTask();
        co_return fleet.error();
    }
    if (operation == QLatin1String("android-delete")) {
        VMFleet fleet(arguments.value(2));
        co_await fleet.deleteTask(arguments.value(3));
        co_return fleet.error();
    }
    if (operation == QLatin1String("android-install")) {
        VMFleet fleet(arguments.value(2));
        co_await fleet.current()->installation().install();
        co_return fleet.current()->error();
    }
    if (operation == QLatin1String("android-run")) {
        co_return co_await androidRun(arguments.value(2));
    }
    if (operation == QLatin1String("linux-run")) {
        co_return co_await linuxRun(arguments.value(2));
    }
    co_return QStringLiteral("unknown operation ") + operation;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    FakeHost host(8, 16 * FakeHost::GiB);
    host.capacity = qint64(100) << 30;
    const QString error = QCoro::waitFor(perform(app.arguments()));
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 3;
    }
    return 0;
}

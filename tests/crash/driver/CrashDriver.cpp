// Runs one operation of the program on a data root, the way the window would, and exits. The crash
// tests run it under strace and kill it at each of its file-system steps.
//
//   crash_driver android-snapshot create|rollback|delete ROOT
//   crash_driver linux-snapshot create|rollback|delete ROOT
//   crash_driver android-copy ROOT
//   crash_driver android-delete ROOT ID
//   crash_driver android-install ROOT
#include "FakeHost.h"
#include "crash/CrashGuests.h"
#include "services/Background.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

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
    co_return QStringLiteral("unknown operation ") + operation;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // strace counts the calls of the thread it traces, the main one: every step has to happen there.
    Background::runWhereStarted();
    const FakeHost host(8, 16 * FakeHost::GiB);
    const QString error = QCoro::waitFor(perform(app.arguments()));
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 3;
    }
    return 0;
}

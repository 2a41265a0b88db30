// corvanectl: the guests of Corvane from a shell, over the same models as the window and without a display.
#include "cli/Commands.h"
#include "cli/SignalPipe.h"
#include "cli/Terminal.h"
#include "services/AppLog.h"
#include "services/Tasks.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QTimer>

#include <csignal>

namespace {

QCoro::Task<> runAndQuit(QStringList arguments, SignalPipe *signals)
{
    const int status = co_await Commands::run(std::move(arguments), signals);
    QCoreApplication::exit(status);
}

} // namespace

int main(int argc, char *argv[])
{
    // A reader that goes away (`corvanectl log | head`) must end the program quietly, not kill it.
    ::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Corvane Beta"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.2 Beta"));

    std::unique_ptr<SignalPipe> signals;
    try {
        signals = std::make_unique<SignalPipe>();
    } catch (const CommandFailure &failure) {
        Terminal::err(QStringLiteral("corvanectl：") + failure.message);
        return Commands::Failed;
    }
    QStringList arguments = QCoreApplication::arguments().mid(1);
    QTimer::singleShot(0, &app, [&arguments, &signals] {
        startTask(runAndQuit(std::move(arguments), signals.get()), QStringLiteral("corvanectl"));
    });
    const int status = QCoreApplication::exec();
    // Every line queued for the global log reaches the file before the program ends.
    AppLog::readTail(0);
    return status;
}

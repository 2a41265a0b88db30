// The global log sheet over a full 768 KiB tail: how long the GUI thread is held at once while the
// sheet opens and while its filter changes, against laying the whole tail out in the editor as one
// call. The time of an iteration is the longest single hold of the GUI thread; settle_ms is how long
// until the text is on screen. Runs in a home folder of its own.
//   bench_log_sheet [--benchmark_* options]
#include "services/AppLog.h"
#include "services/GlobalLogModel.h"
#include "ui/logs/GlobalLogView.h"
#include "ui/logs/LogFilterField.h"
#include "ui/logs/LogTextView.h"
#include "ui/settings/GlobalLogSheet.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <functional>

namespace {

struct Hold
{
    double longestMs = 0;
    double settleMs = 0;
};

/**
 * Runs `act`, then turns the event loop until `done`, timing each turn: a turn is as long as the GUI
 * thread was kept from answering.
 */
Hold measure(const std::function<void()> &act, const std::function<bool()> &done)
{
    Hold hold;
    QElapsedTimer total;
    total.start();
    QElapsedTimer turn;
    turn.start();
    act();
    hold.longestMs = turn.nsecsElapsed() / 1e6;
    while (!done() && total.elapsed() < 10'000) {
        QThread::usleep(200);
        turn.start();
        QCoreApplication::processEvents();
        hold.longestMs = std::max(hold.longestMs, turn.nsecsElapsed() / 1e6);
    }
    // A last round for the paint that shows the text.
    turn.start();
    QCoreApplication::processEvents();
    hold.longestMs = std::max(hold.longestMs, turn.nsecsElapsed() / 1e6);
    hold.settleMs = total.nsecsElapsed() / 1e6;
    return hold;
}

void report(benchmark::State &state, const Hold &hold, double &settle)
{
    state.SetIterationTime(hold.longestMs / 1e3);
    settle += hold.settleMs;
    if (!state.counters.contains("worst_ms") || state.counters["worst_ms"].value < hold.longestMs) {
        state.counters["worst_ms"] = hold.longestMs;
    }
}

bool shows(const GlobalLogView *view)
{
    return !view->logText()->settling() && view->logText()->text() == view->model().filteredText();
}

void BM_OpenSheet(benchmark::State &state)
{
    double settle = 0;
    for (auto _ : state) {
        GlobalLogSheet *sheet = nullptr;
        const Hold hold = measure(
            [&] {
                sheet = new GlobalLogSheet;
                sheet->show();
            },
            [&] { return shows(sheet->view()); });
        report(state, hold, settle);
        delete sheet;
        QCoreApplication::processEvents();
    }
    state.counters["settle_ms"] = benchmark::Counter(settle / double(state.iterations()));
}

/** Each change goes from one query to the other, so every change shows a new text. */
void filterChange(benchmark::State &state, const QString &query, const QString &other)
{
    GlobalLogSheet sheet;
    sheet.show();
    measure([] {}, [&] { return shows(sheet.view()); });
    double settle = 0;
    bool filtered = false;
    for (auto _ : state) {
        filtered = !filtered;
        const Hold hold = measure([&] { sheet.view()->filterField()->setText(filtered ? query : other); },
                                  [&] { return shows(sheet.view()); });
        report(state, hold, settle);
    }
    state.counters["settle_ms"] = benchmark::Counter(settle / double(state.iterations()));
}

// Half of the lines match each query: about 384 KiB of text to show at every change.
void BM_FilterMatchingHalf(benchmark::State &state)
{
    filterChange(state, QStringLiteral("已启动"), QStringLiteral("已停止"));
}

void BM_FilterMatchingFew(benchmark::State &state)
{
    filterChange(state, QStringLiteral("第 77"), QStringLiteral("第 78"));
}

// What opening and every filter change cost before: the whole tail laid out in one call.
void BM_WholeTailInOneCall(benchmark::State &state)
{
    const QString tail = AppLog::readTail(AppLog::displayTailBytes);
    QPlainTextEdit editor;
    editor.resize(870, 420);
    editor.show();
    QCoreApplication::processEvents();
    double settle = 0;
    for (auto _ : state) {
        editor.clear();
        QCoreApplication::processEvents();
        bool done = false;
        const Hold hold = measure(
            [&] {
                editor.setPlainText(tail);
                done = true;
            },
            [&] { return done; });
        report(state, hold, settle);
    }
    state.counters["settle_ms"] = benchmark::Counter(settle / double(state.iterations()));
}

BENCHMARK(BM_OpenSheet)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_FilterMatchingHalf)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_FilterMatchingFew)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_WholeTailInOneCall)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    for (const char *variable : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
        qputenv(variable, home.path().toLocal8Bit() + "/" + variable);
        QDir().mkpath(qEnvironmentVariable(variable));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    int line = 0;
    qint64 written = 0;
    while (written < AppLog::displayTailBytes + 65'536) {
        const QString message = QStringLiteral("第 %1 行：/usr/bin/qemu-system-aarch64 %2，端口 5555")
                                    .arg(line)
                                    .arg(line % 2 ? QStringLiteral("已停止") : QStringLiteral("已启动"));
        ++line;
        AppLog::info(QStringLiteral("Android"), message);
        written += message.toUtf8().size() + 48;
    }
    const qint64 tail = AppLog::readTail(AppLog::displayTailBytes).toUtf8().size();
    // Each write queued a change notice; none of them may land inside a measurement.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    std::printf("log tail: %lld bytes, %d lines written\n", static_cast<long long>(tail), line);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

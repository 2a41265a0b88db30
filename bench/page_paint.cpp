// What a tab click costs the GUI thread in the real window: the slide's pictures of the leaving and
// the arriving page, and the tab bar. Each round visits every tab in turn and lets the slide end; the
// first round is each page's first arrival, the later ones a return to it. Also the longest the
// GUI thread was held while the window came up and made its other pages, and as developer mode then
// widens the window and brings in the log sidebar.
//   xvfb-run -a bench_page_paint [ROUNDS]
#include "BenchSandbox.h"
#include "preferences/AppPreferences.h"
#include "ui/shell/CorvaneApp.h"
#include "ui/shell/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <ctime>

namespace {

double threadMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

/**
 * Runs the event loop for `ms` and returns the processor time of the longest stretch between two
 * ticks of a 1 ms timer: the longest the GUI thread was held.
 */
double run(int ms)
{
    QElapsedTimer timer;
    timer.start();
    double last = threadMs();
    double longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double now = threadMs();
        longest = std::max(longest, now - last);
        last = now;
    });
    tick.start(1);
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return longest;
}

} // namespace

int main(int argc, char *argv[])
{
    const BenchSandbox sandbox;
    QApplication app(argc, argv);
    const int rounds = std::max(2, argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10);
    CorvaneApp corvane;
    corvane.show();
    run(200); // the first frame, which may take as long as it needs
    const double making = run(3000);
    const QStringList tabs{QStringLiteral("ios"),      QStringLiteral("windows"),
                           QStringLiteral("linux"),    QStringLiteral("vphone-beta"),
                           QStringLiteral("settings"), QStringLiteral("android")};
    QMap<QString, QList<double>> click;
    QMap<QString, double> slide;
    for (int round = 0; round < rounds; ++round) {
        for (const QString &tab : tabs) {
            const double before = threadMs();
            corvane.window()->selectTab(tab);
            click[tab].append(threadMs() - before);
            slide[tab] = std::max(slide[tab], run(600));
        }
    }
    // Developer mode widens the window and brings the log sidebar in.
    const auto preferences = AppPreferences::openStore();
    AppPreferences::write(*preferences, AppPreferences::developerModeEnabled, true);
    const double developer = run(1000);
    QTextStream out(stdout);
    out << "longest GUI-thread hold after the first frame, while the window makes its other pages: "
        << QString::number(making, 'f', 1) << " ms\n";
    out << "tab           first click   later: median   worst   longest hold during a slide   (ms of "
           "GUI-thread processor time)\n";
    for (const QString &tab : tabs) {
        QList<double> later = click[tab].mid(1);
        std::sort(later.begin(), later.end());
        out << qSetFieldWidth(14) << Qt::left << tab << qSetFieldWidth(0)
            << QString::number(click[tab].first(), 'f', 1) << "          "
            << QString::number(later[later.size() / 2], 'f', 1) << "            "
            << QString::number(later.last(), 'f', 1) << "     " << QString::number(slide[tab], 'f', 1)
            << "\n";
    }
    out << "longest GUI-thread hold as developer mode opens the log sidebar: "
        << QString::number(developer, 'f', 1) << " ms\n";
    return 0;
}

// What painting each page of the real window costs the GUI thread: the picture a tab slide takes of
// the arriving page. Each round visits every page in turn, as tab clicks do; the first round is each
// page's first paint, the later ones what a return to it costs. Processor time of the GUI thread.
//   xvfb-run -a bench_page_paint [ROUNDS]
#include "BenchSandbox.h"
#include "ui/shell/CorvaneApp.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/PageArea.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <ctime>

namespace {

double threadMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

/** Lets the window make its deferred pages, as a user's first seconds would. */
void settle(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    const BenchSandbox sandbox;
    QApplication app(argc, argv);
    const int rounds = std::max(2, argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10);
    CorvaneApp corvane;
    corvane.show();
    settle(3000);
    auto *area = corvane.window()->findChild<PageArea *>();
    const QStringList pages{QStringLiteral("android"),     QStringLiteral("ios"),
                            QStringLiteral("windows"),     QStringLiteral("linux"),
                            QStringLiteral("vphone-beta"), QStringLiteral("settings")};
    QMap<QString, QList<double>> used;
    for (int round = 0; round < rounds; ++round) {
        for (const QString &id : pages) {
            QWidget *page = area->page(id);
            page->setGeometry(area->rect());
            const double before = threadMs();
            const QPixmap picture = page->grab();
            used[id].append(threadMs() - before);
        }
    }
    QTextStream out(stdout);
    out << "page          first paint   later: median   worst   (ms of GUI-thread processor time)\n";
    for (const QString &id : pages) {
        QList<double> later = used[id].mid(1);
        std::sort(later.begin(), later.end());
        out << qSetFieldWidth(14) << Qt::left << id << qSetFieldWidth(0)
            << QString::number(used[id].first(), 'f', 1) << "          "
            << QString::number(later[later.size() / 2], 'f', 1) << "          "
            << QString::number(later.last(), 'f', 1) << "\n";
    }
    return 0;
}

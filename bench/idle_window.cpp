// The yardstick for the stall benchmark: a plain Qt window with 40 Chinese labels, measured by the
// same monitor as the program (CORVANE_STALL_REPORT), which quits after the given seconds.
//   bench_idle_window SECONDS
#include "ui/shell/StallMonitor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QLabel>
#include <QTimer>
#include <QWidget>

int main(int argc, char *argv[])
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    QApplication app(argc, argv);
    StallMonitor::installFromEnvironment(sinceStart);
    QWidget window;
    window.setWindowTitle(QStringLiteral("空闲窗口"));
    auto *grid = new QGridLayout(&window);
    for (int i = 0; i < 40; ++i) {
        grid->addWidget(new QLabel(QStringLiteral("安卓设备 %1 · 正在运行").arg(i + 1)), i / 4, i % 4);
    }
    window.resize(1040, 760);
    window.show();
    const int seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 5;
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    return QApplication::exec();
}

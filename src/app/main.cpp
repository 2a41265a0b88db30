#include "platform/Host.h"
#include "ui/shell/CorvaneApp.h"
#include "ui/shell/QtTranslations.h"
#include "ui/shell/StallMonitor.h"
#include "ui/style/ChineseFont.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    // Without a display Qt would abort inside QApplication; say so plainly instead.
    if (!Host::displayAvailable()) {
        QTextStream(stderr)
            << "Corvane Beta 需要图形桌面才能打开窗口（未找到 DISPLAY 或 WAYLAND_DISPLAY）。\n"
               "Corvane Beta needs a graphical desktop: neither DISPLAY nor WAYLAND_DISPLAY is set.\n";
        return 1;
    }
    ChineseFont::askEarly();
    QApplication app(argc, argv);
    StallMonitor::installFromEnvironment(sinceStart);
    QApplication::setApplicationName(QStringLiteral("Corvane Beta"));
    QApplication::setApplicationDisplayName(QStringLiteral("Corvane Beta"));
    QApplication::setApplicationVersion(QStringLiteral("1.2 Beta"));

    // Before the first widget: Qt's own buttons, dialogs and errors in Chinese like the rest.
    QtTranslations::installChinese();
    ChineseFont::check();
    ChineseFont::install();
    CorvaneApp corvane;
    corvane.show();
    return QApplication::exec();
}

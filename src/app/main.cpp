#include <QApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane Beta"));
    QApplication::setApplicationVersion(QStringLiteral("1.2 Beta"));

    // The models and services are in place; the window that presents them arrives with the UI.
    QTextStream(stderr) << "Corvane Beta 1.2: the main window is not built yet; "
                           "this build provides the core library and its tests.\n";
    return 0;
}

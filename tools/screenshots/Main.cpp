// The shared main of the screenshot programs: a sandbox for the user's folders, the application, the
// output folder from the command line, then the program's pictures.
#include "ScreenshotSupport.h"
#include "ui/style/ChineseFont.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

/**
 * Points HOME and the XDG folders at a fresh folder under /tmp and returns it, so that nothing a
 * program does touches the user's own data or settings. Call it before the application exists.
 */
QString sandbox()
{
    std::string pattern = "/tmp/corvane-screenshots-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    for (const char *variable :
         {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const std::string path = pattern + "/" + variable;
        QDir().mkpath(QString::fromStdString(path));
        ::setenv(variable, path.c_str(), 1);
    }
    // Sockets go here; the runtime folder must be the user's alone.
    QFile::setPermissions(QString::fromStdString(pattern + "/XDG_RUNTIME_DIR"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return QString::fromStdString(pattern);
}

/** The output folder named on the command line, created; empty (after the usage) when it is missing. */
QString outputFolder(const QStringList &arguments, QTextStream &err)
{
    if (arguments.size() != 2) {
        err << "usage: " << QCoreApplication::applicationName() << " OUTPUT_FOLDER\n";
        return {};
    }
    const QString output = QDir(arguments.at(1)).absolutePath();
    QDir().mkpath(output);
    return output;
}

/** Removes the sandbox and gives the program's exit status. */
int finish(const QString &sandboxRoot, int failures, QTextStream &err)
{
    QDir(sandboxRoot).removeRecursively();
    if (failures > 0) {
        err << failures << " screenshot(s) failed\n";
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const QString root = sandbox();
    QApplication app(argc, argv);
    QTextStream err(stderr);
    const QString output = outputFolder(app.arguments(), err);
    if (output.isEmpty()) {
        return 64;
    }
    if (!ChineseFont::check()) {
        return 1;
    }
    ChineseFont::install();
    return finish(root, Screenshots::takePictures(root, output, err), err);
}

// Stands in for macOS's open(1) on a Mac whose only application is the Simulator. Nothing is shown: a call
// that names the Simulator (or files that exist) succeeds, the rest fail with the real tool's message.
//
// Usage: open [-a APPLICATION | -b BUNDLE-ID] [-n] [-g] [-F] [-j] [FILE…] [--args ARGUMENT…]
//
// Knobs: FAKE_OPEN_FAIL=1 (the Simulator is not installed), FAKE_OPEN_RECORD=FILE (one line per call, also
// for failing calls, format in stand_in.h).
#include "stand_in.h"

#include <QFileInfo>

using StandIn::fail;
using StandIn::say;

namespace {

const QString usage = QStringLiteral(
    "Usage: open [-e] [-t] [-f] [-W] [-R] [-n] [-g] [-h] [-s <partial SDK name>][-b <bundle identifier>] "
    "[-a <application>] [-u URL] [filenames] [--args arguments]");

bool installed(const QString &application)
{
    return !StandIn::flag("FAKE_OPEN_FAIL") &&
           (application == "Simulator" || application == "Simulator.app" ||
            application == "/Applications/Xcode.app/Contents/Developer/Applications/Simulator.app");
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments = StandIn::arguments(argc, argv);
    StandIn::record("FAKE_OPEN_RECORD", arguments);

    QString application;
    QString bundle;
    QStringList files;
    while (!arguments.isEmpty()) {
        const QString argument = arguments.takeFirst();
        if (argument == "--args") {
            break; // the rest belongs to the application
        }
        if (argument == "-a" || argument == "-b") {
            if (arguments.isEmpty()) {
                return fail(usage);
            }
            (argument == "-a" ? application : bundle) = arguments.takeFirst();
        } else if (argument == "-n" || argument == "-g" || argument == "-F" || argument == "-j") {
            continue;
        } else if (argument.startsWith(u'-')) {
            return fail("open: invalid option -- " + argument.mid(1) + u'\n' + usage);
        } else {
            files << argument;
        }
    }
    if (application.isEmpty() && bundle.isEmpty() && files.isEmpty()) {
        return fail(usage);
    }
    for (const QString &file : files) {
        if (!QFileInfo::exists(file)) {
            return fail("The file " + QFileInfo(file).absoluteFilePath() + " does not exist.");
        }
    }
    if (!application.isEmpty() && !installed(application)) {
        return fail("Unable to find application named '" + application + "'");
    }
    if (!bundle.isEmpty() && (bundle != "com.apple.iphonesimulator" || !installed("Simulator"))) {
        return fail("Unable to find application with bundle identifier '" + bundle + "'");
    }
    return 0;
}

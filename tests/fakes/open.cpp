// Stands in for macOS's open(1) on a Mac whose only application is the Simulator. Nothing is shown: a call
// that names the Simulator succeeds, the rest fail with the real tool's message.
//
// Usage: open -a APPLICATION [--args ARGUMENT…]
//
// Knobs: FAKE_OPEN_FAIL=1 (the Simulator is not installed), FAKE_OPEN_RECORD=FILE (one line per call, also
// for failing calls, format in stand_in.h).
#include "stand_in.h"

using StandIn::fail;

int main(int argc, char *argv[])
{
    const QStringList arguments = StandIn::arguments(argc, argv);
    StandIn::record("FAKE_OPEN_RECORD", arguments);
    if (arguments.size() < 2 || arguments[0] != "-a" || (arguments.size() > 2 && arguments[2] != "--args")) {
        return fail("Usage: open [-e] [-t] [-f] [-W] [-R] [-n] [-g] [-h] [-b <bundle identifier>] "
                    "[-a <application>] [filenames] [--args arguments]");
    }
    if (arguments[1] != "Simulator" || StandIn::flag("FAKE_OPEN_FAIL")) {
        return fail("Unable to find application named '" + arguments[1] + "'");
    }
    return 0;
}

// Stands in for macOS's csrutil: "status" reports System Integrity Protection; the launcher asks nothing
// else, so anything else is a usage error.
//
// Usage: csrutil status
//
// Knobs: FAKE_CSRUTIL_STATUS=enabled (default) | disabled | custom (a partly disabled configuration),
//        FAKE_CSRUTIL_EXIT=N (the exit status of "status"), FAKE_CSRUTIL_DELAY_MS=N (waits before answering).
#include "stand_in.h"

#include <QThread>

int main(int argc, char *argv[])
{
    QThread::msleep(static_cast<unsigned long>(StandIn::knob("FAKE_CSRUTIL_DELAY_MS", 0)));
    const QStringList arguments = StandIn::arguments(argc, argv);
    if (arguments == QStringList{"status"}) {
        const QString status = qEnvironmentVariable("FAKE_CSRUTIL_STATUS", "enabled");
        StandIn::say(stdout, status != "custom"
                                 ? QString("System Integrity Protection status: " + status + ".")
                                 : "System Integrity Protection status: unknown (Custom Configuration).\n\n"
                                   "Configuration:\n"
                                   "\tApple Internal: disabled\n"
                                   "\tKext Signing: disabled\n"
                                   "\tFilesystem Protections: disabled\n"
                                   "\tDebugging Restrictions: enabled\n"
                                   "\tDTrace Restrictions: enabled\n"
                                   "\tNVRAM Protections: enabled\n"
                                   "\tBaseSystem Verification: enabled\n\n"
                                   "This is an unsupported configuration, likely to break in the future and "
                                   "leave your machine in an unknown state.");
        return StandIn::knob("FAKE_CSRUTIL_EXIT", 0);
    }
    return StandIn::fail("usage: csrutil <command>\nAvailable commands: clear disable enable status");
}

// Shared by the emulator and adb stand-ins: knobs from the environment, flushed output, invocation records.
#pragma once

#include "stand_in.h"

namespace AndroidTool {

using StandIn::arguments;
using StandIn::flag;
using StandIn::knob;
using StandIn::say;

// One line per call: the command line, then NAME=value for each Android variable set, separated by tabs.
// Appended with a single write so that concurrent callers do not interleave.
inline void record(const char *program, const QStringList &arguments)
{
    if (!qEnvironmentVariableIsSet("FAKE_ANDROID_RECORD")) {
        return;
    }
    const auto flat = [](QString text) {
        return text.replace(u'\t', QLatin1String("\\t")).replace(u'\n', QLatin1String("\\n"));
    };
    QStringList fields{flat((QStringList{QLatin1String(program)} + arguments).join(u' '))};
    for (const char *name : {"ANDROID_SDK_ROOT", "ANDROID_HOME", "ANDROID_AVD_HOME", "ANDROID_EMULATOR_HOME",
                             "ANDROID_ADB_SERVER_PORT"}) {
        if (qEnvironmentVariableIsSet(name)) {
            fields << QLatin1String(name) + u'=' + flat(qEnvironmentVariable(name));
        }
    }
    StandIn::appendLine("FAKE_ANDROID_RECORD", fields.join(u'\t').toUtf8() + '\n');
}

} // namespace AndroidTool

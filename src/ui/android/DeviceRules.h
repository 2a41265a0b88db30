#pragma once

#include "preferences/AppPreferences.h"

#include <QString>

class VMModel;

/** What the device detail shows for one device: each rule is a function of the device's published state. */
namespace DeviceRules {

/** The published fields the rules read. */
struct State
{
    bool installed = false;
    bool busy = false;
    bool running = false;
    bool booted = false;
    bool stopping = false;
    bool forceQuitting = false;
    bool snapshotBusy = false;
    bool hasLatestSnapshot = false;

    static State of(const VMModel &model);
};

/** One control: whether it shows, whether it takes clicks, and its label. */
struct Action
{
    bool visible = false;
    bool enabled = false;
    QString text;
};

struct Actions
{
    Action install;
    Action stop;
    Action installApk;
    Action start;
    Action forceQuit;
};

Actions actions(const State &state);

bool canRename(const State &state);
/** A start still in its checks, an installation, or a copy or deletion: something runs but no emulator yet.
 */
bool showsProgress(const State &state);
/** The progress is an installation's, with a bar, a percentage and a cancel button. */
bool showsInstallProgress(const State &state);
/** "42%": the whole percent reached, never rounded up to a finish that has not happened. */
QString percentText(double progress);

/** Hardware settings can be changed only while the device is off and idle. */
bool hardwareEditable(const State &state);
QString hardwareSubtitle(const State &state);
AppPreferences::Range coresRange(int activeProcessors);
AppPreferences::Range memoryGBRange(qint64 physicalMemory);
QString coresHint(const AppPreferences::Range &range);
QString memoryHint(const AppPreferences::Range &range);

/** The line about the system a device runs, naming the architecture of this host's image. */
QString informationText();
/** What the installation consent sheet says will be downloaded, for this host's image. */
QString licenseSummary();

struct SnapshotActions
{
    bool create = false;
    bool rollback = false;
    bool menu = false;
};

SnapshotActions snapshotActions(const State &state);

} // namespace DeviceRules

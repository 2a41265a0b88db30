#pragma once

#include "platform/Host.h"
#include "preferences/AppPreferences.h"

#include <QList>
#include <QString>

#include <optional>
#include <utility>

class LinuxModel;

/** What the Linux page shows and allows: each rule is a function of the model's published state. */
namespace LinuxRules {

/** The published fields the rules read. */
struct State
{
    bool hasMachine = false;
    bool separateWindow = false;
    bool running = false;
    bool busy = false;
    bool prepared = false;
    bool snapshotBusy = false;
    bool hasLatestSnapshot = false;
    bool attachISO = true;
    bool hasUsableISO = false;

    static State of(const LinuxModel &model);
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
    /** The row as a whole; a control inside it takes clicks only when both say so. */
    bool rowEnabled = false;
    Action start;
    Action stop;
    Action forceStop;
};

Actions actions(const State &state);

/** Settings can be edited while the machine is off and idle; edits are then saved at once. */
bool configurationEditable(const State &state);
/** A disk once created is never resized from here. */
bool diskEditable(const State &state);
bool showsDownloads(const State &state);

struct SnapshotActions
{
    bool create = false;
    bool rollback = false;
    bool deleteLatest = false;
};

SnapshotActions snapshotActions(const State &state);

enum class DisplayCase {
    /** The machine's screen, inline. */
    Screen,
    /** The screen is in the separate window: only a note here. */
    SeparateWindow,
    /** No machine: the placeholder. */
    Placeholder,
};

DisplayCase displayCase(const State &state);

AppPreferences::Range coresRange(int activeProcessors);
AppPreferences::Range memoryGBRange(qint64 physicalMemory);
AppPreferences::Range diskGBRange();
inline constexpr qint64 diskGBStep = 8;

/** One entry of the resolution menu: what it reads and the tag it stores. */
struct Resolution
{
    QString label;
    QString tag;
};

QList<Resolution> resolutions();
/** The tag a configuration's resolution has: width "x" height. */
QString resolutionTag(qint64 width, qint64 height);
/** Width and height from a tag, or nothing unless it is two positive whole numbers around one "x". */
std::optional<std::pair<qint64, qint64>> parseResolutionTag(const QString &tag);

/** The chosen ISO's file name, or the note that none is chosen. */
QString isoText(const QString &isoPath);

/** The line under the screen: what runs the machine and what it offers, as true on this host. */
QString footerText(Host::LinuxEngine engine);

} // namespace LinuxRules

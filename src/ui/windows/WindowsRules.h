#pragma once

#include "preferences/AppPreferences.h"

#include <QList>
#include <QString>
#include <QUrl>

/** What the Windows page shows and allows, as functions of the model's published state and the host. */
namespace WindowsRules {

/** The values a stepper offers. */
using Range = AppPreferences::Range;

/** 1 to the host's processors, at most 8. */
Range coresRange(int activeProcessors);
/** 4 to half the host's memory in whole GiB, kept within 4 to 8. */
Range memoryRange(qint64 physicalMemory);
/** 64 to 512 GB, in steps of `diskStep`. */
Range diskRange();
inline constexpr qint64 diskStep = 16;

/** The chosen ISO, or "尚未选择 ISO". */
QString isoPathText(const QString &isoPath);
/** Checking again needs a file to check. */
bool showsRecheck(const QString &isoPath);
/** A machine is built only from an ISO that passed its check in this run, where UTM exists. */
bool canCreate(bool confirmedARM, const QString &isoPath, bool utmSupported);
/** What the page says where UTM does not exist (every system but macOS); empty where it does. */
QString withoutUTMNote(bool utmSupported);

struct ProjectActions
{
    bool open = false;
    bool associate = false;
    bool progress = false;
};

ProjectActions projectActions(bool hasProject, bool busy, bool utmSupported);

struct SnapshotActions
{
    bool create = false;
    bool rollback = false;
    bool menu = false;
    bool openFolder = false;
    bool progress = false;
};

SnapshotActions snapshotActions(bool hasProject, bool hasLatestSnapshot, bool hasCollection, bool busy);

/** A link that only opens a web page in the browser. */
struct Link
{
    QString text;
    QUrl url;
};

QUrl utmDownload();
QUrl windowsDownload();
QUrl utmWindowsGuide();
/** The three numbered links of "稍后自行准备". */
QList<Link> preparationLinks();

} // namespace WindowsRules

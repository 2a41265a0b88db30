#pragma once

#include <QList>
#include <QString>

/**
 * The note a restore leaves beside the guest's folder before it touches anything: which folder it
 * replaces, where the fresh clone is built and where the live data goes during the swap. Whatever
 * moment the program dies at, the next load finds the note and finishes or undoes the swap.
 */
namespace RestoreJournal {

struct Entry
{
    QString journal;
    QString source;
    /** The fresh clone of the snapshot (".snapshot-restore-…"). */
    QString restore;
    /** The live data while it is moved aside (".snapshot-backup-…"). */
    QString backup;
};

/** Names the temporaries for a restore of `source` and writes the note; throws SystemError. */
Entry begin(const QString &source);
/** Removes the note: the restore has left nothing behind that needs it. */
void end(const Entry &entry);
/** The notes beside `source` that name it; unreadable or foreign notes are left alone. */
QList<Entry> pending(const QString &source);

} // namespace RestoreJournal

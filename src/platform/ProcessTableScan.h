#pragma once

#include <QList>
#include <QString>

#include <optional>

/**
 * Finds the processes that use anything under a folder by reading the system's process table
 * ("/proc"): open descriptors, working and root folders, executables and memory maps. It answers what
 * `lsof +D` answers, in-process and in a few milliseconds. Processes whose entries this user may not
 * read are passed over, as lsof passes them over.
 */
namespace ProcessTableScan {

struct Result
{
    QList<qint64> holders;
    /** Set when the table itself cannot be read: then nothing can be said about who holds what. */
    std::optional<QString> failure;
};

/** Safe to run on a worker thread. */
Result holders(const QString &table, const QString &folder);

} // namespace ProcessTableScan

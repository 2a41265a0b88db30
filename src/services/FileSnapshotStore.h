#pragma once

#include "services/SnapshotRecord.h"

#include <QCoroTask>
#include <QList>
#include <QString>

#include <optional>

/**
 * Point-in-time copies of a guest's data folder, made as copy-on-write clones. Each snapshot is a
 * self-describing folder in a collection; restoring puts a complete clone next to the live data
 * before swapping it in with two renames.
 */
namespace FileSnapshotStore {

/** The snapshots of a collection, newest first; unreadable entries are skipped. */
QList<SnapshotRecord> records(const QString &collection);

/** Fails with "<label>仍被其他程序使用。…" when a process has files open under `path`. */
QCoro::Task<> ensureUnused(QString path, QString label);

/** Clones `source` into a new snapshot; refused (ensureUnused) while a program holds files in it. */
QCoro::Task<SnapshotRecord> create(QString source, QString collection, QString platform, QString deviceID,
                                   QString displayName, std::optional<QByteArray> configuration,
                                   QString inUseLabel);

/**
 * Replaces `source` with the snapshot's payload; returns the configuration kept with it, if any.
 * Refused (ensureUnused) while a program holds files in `source`.
 */
QCoro::Task<std::optional<QByteArray>> restore(QString source, QString collection, SnapshotRecord record,
                                               QString inUseLabel);

/** Deletes the snapshot permanently. */
void deleteSnapshot(const QString &collection, const SnapshotRecord &record);

/** Whether restore temporaries beside the source that carry no note can only be this guest's. */
enum class Temporaries { Shared, Own };

/**
 * Finishes or undoes what an interrupted create, restore or delete left for `source` and its
 * `collection`: a restore is undone unless its swap had completed, and unfinished or half-deleted
 * snapshots are removed. Call with the guest's lock held and before the guest's files are read.
 * Writes one WARN line to the global log for each thing it finds.
 */
void recover(const QString &source, const QString &collection, const QString &platform,
             Temporaries temporaries);

} // namespace FileSnapshotStore

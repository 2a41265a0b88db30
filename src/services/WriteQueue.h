#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

/**
 * Atomic, durable writes of small files on one worker thread, so that the GUI thread never waits for
 * the disk. Writes reach each file in the order they were made; a newer write replaces an older one
 * still waiting. Until a write is on disk, this process reads it from here (FileIO::readSmallFile).
 */
namespace WriteQueue {

/** How a write reaches the disk: throws Error when it fails. */
using Commit = void (*)(const QString &path, const QByteArray &data);

/**
 * `commit` runs on the worker; `onFailure` runs on `context`'s thread with the failure's description,
 * unless `context` is gone.
 */
void write(const QString &path, const QByteArray &data, Commit commit, QObject *context,
           std::function<void(const QString &)> onFailure);
/** The content a write still on its way gives `path`. */
std::optional<QByteArray> pending(const QString &path);
/** Waits until every write made so far is on disk. */
void flush();

} // namespace WriteQueue

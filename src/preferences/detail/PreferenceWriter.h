#pragma once

#include <QHash>
#include <QMutex>
#include <QSettings>
#include <QString>
#include <QThreadPool>
#include <QVariant>

#include <functional>
#include <optional>

/**
 * Stores preference changes on a worker thread: writing the file (and syncing it to disk) must not
 * hold up the window. A changed value is visible at once to every reader in this process, and stays
 * so until the worker has stored it. Changes to one file are written in the order they were made.
 */
class PreferenceWriter
{
public:
    /** Decides, in the worker and right before the write, whether the file may be written. */
    using Guard = std::function<bool(const QSettings &)>;

    static PreferenceWriter &instance();
    ~PreferenceWriter();

    void set(const QSettings &store, const QString &key, const QVariant &value, Guard guard);
    /** The value a change not yet stored gives `key` in `store`'s file. */
    std::optional<QVariant> pending(const QSettings &store, const QString &key) const;
    /** Waits until every change made so far is stored. */
    void flush();

private:
    struct File
    {
        QSettings::Format format = QSettings::InvalidFormat;
        QHash<QString, QVariant> values;
        Guard guard;
        bool scheduled = false;
    };

    PreferenceWriter();
    void writeFile(const QString &fileName);

    mutable QMutex m_mutex;
    QHash<QString, File> m_files;
    QThreadPool m_worker;
};

#pragma once

// The tests' one set of helpers for files, the environment and the stand-ins' call records.
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

/**
 * `size` bytes from a generator seeded with `seed`, so that a shifted, repeated or truncated copy never
 * compares equal to the original.
 */
QByteArray patternedBytes(qint64 size, quint32 seed = 1);

/** The file's bytes; empty when it cannot be read. */
QByteArray readFile(const QString &path);

// The writers fail the running test (and give false) when the file cannot be written: a test set-up
// that silently wrote nothing would test nothing.

/** Writes `data` to `path`, making the folders above it. */
bool writeFile(const QString &path, const QByteArray &data);

/** The room a file takes on disk, which for a sparse file is less than its size; -1 when it is absent. */
qint64 allocatedBytes(const QString &path);

/** Every file and folder under `root` by relative path: a file's bytes, "<dir>" or "-> target". */
QMap<QString, QByteArray> tree(const QString &root, const QStringList &ignoredNames = {});

/** The names in `folder`, hidden ones included, in name order. */
QStringList entries(const QString &folder);

/** The names in `folder` that start with a dot: the unfinished work an operation hides there. */
QStringList hiddenEntries(const QString &folder);

/** Writes a program (a script in an outside program's place) that its owner may run. */
bool writeExecutable(const QString &path, const QByteArray &data);

/** A file of `size` bytes that takes no room, so images of any size cost nothing; gives its path. */
QString makeSparseFile(const QString &path, qint64 size);

/**
 * The calls a stand-in recorded in `record` (its FAKE_*_RECORD file), one argument list each, in the
 * order they were made; see tests/fakes/stand_in.h.
 */
QList<QStringList> recordedCalls(const QString &record);

/**
 * How many calls to the emulator or adb stand-in recorded in `record` (FAKE_ANDROID_RECORD) had
 * `arguments` among their arguments, in this order and next to each other.
 */
int androidCalls(const QString &record, const QStringList &arguments);

/** Runs `action` with every write past `bytes` into a file failing part-way, as on a full disk. */
void withFileSizeLimit(qint64 bytes, const std::function<void()> &action);

/** An environment variable set (or removed, for no value) for the life of a scope, then restored. */
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const std::optional<QByteArray> &value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *m_name;
    std::optional<QByteArray> m_before;
};

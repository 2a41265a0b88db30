#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QObject>
#include <QString>

/**
 * The loaded tail of the global log for one view, with the user's filter. After writes to the log it
 * reads what they appended on the log's own queue, one read at a time however many writes came, and
 * takes the new tail on the main thread; a rotated or cleared log is read again whole.
 */
class GlobalLogModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text NOTIFY textChanged)
    Q_PROPERTY(QString query READ query WRITE setQuery NOTIFY queryChanged)
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)

public:
    explicit GlobalLogModel(QObject *parent = nullptr);

    const QString &text() const { return m_text; }
    const QString &query() const { return m_query; }
    void setQuery(const QString &query);
    /** The last export failure; empty when there is none. */
    const QString &error() const { return m_error; }
    void clearError();

    /** The lines of `text` containing the trimmed query, ignoring case; all of `text` for a blank query. */
    QString filteredText() const;
    static QString filter(const QString &text, const QString &query);

    /** Asks where to save, then writes `filteredText` there. */
    QCoro::Task<> exportLog();
    /** Writes `filteredText` to `path` atomically and records the export; a failure lands in `error`. */
    bool exportTo(const QString &path);
    /** The file name offered when saving, stamped with the current local time. */
    static QString suggestedExportName();

    /** Reads the whole tail again, now. */
    void reload();

    /** What a view has read of the log file: which file, how far, and its last bytes. */
    struct Tail
    {
        QByteArray bytes;
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = -1;
        QString text;
    };
    /** Brings `tail` up to the file at `path`, reading only what was appended when it can. */
    static Tail follow(Tail tail, const QString &path, qint64 maxBytes);

Q_SIGNALS:
    void textChanged();
    void queryChanged();
    void errorChanged();

private:
    void onLogChanged();
    void take(int generation, const Tail &tail);
    void setText(const QString &text);
    void setError(const QString &error);

    Tail m_tail;
    QString m_text;
    // Bumped by a whole reload, so that a read started before it cannot land after it.
    int m_generation = 0;
    bool m_following = false;
    bool m_changedAgain = false;
    QString m_query;
    QString m_error;
};

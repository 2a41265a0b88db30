#pragma once

#include <QCoroTask>
#include <QObject>
#include <QString>

/**
 * The loaded tail of the global log for one view, with the user's filter. Reloads itself on the main
 * thread after every write to the log.
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

    /** Reads the tail again. */
    void reload();

Q_SIGNALS:
    void textChanged();
    void queryChanged();
    void errorChanged();

private:
    void setText(const QString &text);
    void setError(const QString &error);

    QString m_text;
    QString m_query;
    QString m_error;
};

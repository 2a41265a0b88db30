#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class QPlainTextEdit;
class QTextDocument;
class QVariantAnimation;

/**
 * The log text of the log views: read-only, selectable, monospaced, on a lightly tinted rounded
 * background. A log tail is large and changes with every entry, so a new text that only grows at the
 * end, or drops lines at the start as the tail moves on, is applied as that edit instead of being
 * laid out again in full; any other large text is made into a document on a worker thread and takes
 * the old one's place when it is ready, so the window never waits for it. Only the lines in view are
 * laid out. The scroll position stays where it was unless the caller scrolls.
 */
class LogTextView : public QWidget
{
    Q_OBJECT

public:
    /** How the shown text becomes the next one without replacing all of it. */
    struct Edit
    {
        qsizetype removeFromStart = 0;
        QString insertAtStart;
        QString append;
        friend bool operator==(const Edit &, const Edit &) = default;
    };
    /**
     * The edit from `shown` to `next` when `next` is `shown` grown at the end, or a later part of it
     * grown at the end; nothing when no such edit is found (a full replacement then does it).
     */
    static std::optional<Edit> incrementalEdit(QStringView shown, QStringView next);

    /** Texts at least this long are made into a document away from the GUI thread. */
    static constexpr qsizetype largeText = qsizetype(32) * 1024;
    /** The length of the scroll to the newest line. */
    static constexpr int scrollDurationMs = 120;

    explicit LogTextView(qreal points, QWidget *parent = nullptr);

    QPlainTextEdit *editor() const { return m_editor; }
    /** The text shown, or about to be shown once its document is ready. */
    const QString &text() const { return m_wanted; }
    /** Shows `text`, keeping the scroll position. */
    void setText(const QString &text);
    /** True while the editor still holds an older text than `text()`. */
    bool settling() const { return m_wanted != m_shown; }
    /** Scrolls to the last line, easing out when `animated`. */
    void scrollToLatest(bool animated);
    bool scrolling() const;

Q_SIGNALS:
    /** The editor holds `text()`. */
    void settled();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    /** Brings the editor from the shown text to the wanted one. */
    void catchUp();
    void buildInBackground();
    void install(QTextDocument *document, const QString &text);
    void applyEdit(const Edit &edit);
    /** Scrolls without counting as a move of the user's. */
    void moveTo(int value);

    QPlainTextEdit *m_editor;
    QVariantAnimation *m_scroll;
    /** What the editor holds, and what it is to hold. */
    QString m_shown;
    QString m_wanted;
    bool m_building = false;
    /** At the end and meant to stay there while the shown lines are laid out. */
    bool m_pinned = false;
    bool m_moving = false;
};

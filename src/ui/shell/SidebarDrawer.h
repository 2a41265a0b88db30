#pragma once

#include <QPointer>
#include <QWidget>

class QFrame;
class QVariantAnimation;

/**
 * The trailing edge of the main window where the developer's live log sits behind a divider, at a fixed
 * width. It slides in from the edge with a fade, and slides out before its content is destroyed, so the
 * content starts afresh each time it is opened.
 */
class SidebarDrawer : public QWidget
{
    Q_OBJECT

public:
    static constexpr int contentWidth = 390;

    explicit SidebarDrawer(QWidget *parent = nullptr);

    /** Takes `content` and shows it; a content already shown is replaced at once. */
    void open(QWidget *content, bool animated);
    /** Hides the drawer and destroys its content once it has left. */
    void close(bool animated);
    /** The content while the drawer is open or opening; nullptr once it is closing or closed. */
    QWidget *content() const { return m_closing ? nullptr : m_content.data(); }
    bool isOpen() const { return m_content && !m_closing; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void setProgress(double progress);
    void layoutContent();
    void finishClosing();

    QFrame *m_divider;
    QPointer<QWidget> m_content;
    QVariantAnimation *m_slide;
    double m_progress = 0.0;
    bool m_closing = false;
};

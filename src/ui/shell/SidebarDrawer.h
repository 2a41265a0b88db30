#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <functional>

class QFrame;
class QVariantAnimation;

/**
 * The trailing edge of the main window where the developer's live log sits behind a divider, at a fixed
 * width. It slides in from the edge with a fade, and slides out before its content is destroyed, so the
 * content starts afresh each time it is opened. What moves is a picture of the content, painted once:
 * the live content, a log that may be long, is not painted again on every frame.
 */
class SidebarDrawer : public QWidget
{
    Q_OBJECT

public:
    static constexpr int contentWidth = 390;

    explicit SidebarDrawer(QWidget *parent = nullptr);

    /**
     * Shows a content `make` makes, replacing one already shown: at once, or moving in, made a frame
     * after the drawer has taken its width.
     */
    void open(std::function<QWidget *()> make, bool animated);
    /** Hides the drawer and destroys its content once it has left. */
    void close(bool animated);
    /** The content while the drawer is open or opening; nullptr before it is made and once closing. */
    QWidget *content() const { return m_closing ? nullptr : m_content.data(); }
    bool isOpen() const { return (m_content || m_make) && !m_closing; }
    /** Where the content's leading edge is drawn: beside the divider at rest, further out on its way. */
    int contentX() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void setProgress(double progress);
    void slideTo(double progress);
    void place(QWidget *content);
    void layoutContent();
    void arrive();
    void finishClosing();

    QFrame *m_divider;
    QPointer<QWidget> m_content;
    /** Makes the content on its way in, until it is made. */
    std::function<QWidget *()> m_make;
    QVariantAnimation *m_slide;
    /** The content while it moves, shown instead of it; null at rest. */
    QPixmap m_picture;
    double m_progress = 0.0;
    bool m_closing = false;
};

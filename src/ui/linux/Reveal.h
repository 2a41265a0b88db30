#pragma once

#include <QWidget>

class QVariantAnimation;

/**
 * Holds one widget that can be revealed and withdrawn: it fades and slides in from above while the
 * space it takes opens, and the reverse on the way out. Without animation it simply shows or hides.
 */
class Reveal : public QWidget
{
    Q_OBJECT

public:
    static constexpr int durationMs = 260;

    explicit Reveal(QWidget *content, QWidget *parent = nullptr);

    QWidget *content() const { return m_content; }
    /** The state asked for last; an animation towards it may still run. */
    bool isRevealed() const { return m_revealed; }
    void setRevealed(bool revealed, bool animated);
    /** 0 withdrawn … 1 revealed. */
    qreal progress() const { return m_progress; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int contentHeight() const;
    void apply(qreal progress);

    QWidget *m_content;
    QVariantAnimation *m_animation;
    bool m_revealed = true;
    qreal m_progress = 1.0;
};

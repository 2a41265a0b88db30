#pragma once

#include <QWidget>

class QLabel;

/** Where the Linux screen would be while there is none: the terminal symbol, a title and a hint. */
class ScreenPlaceholder : public QWidget
{
    Q_OBJECT

public:
    /** The faint ground: the text colour at this opacity, in a rounded rectangle of `radius`. */
    static constexpr qreal groundOpacity = 0.04;
    static constexpr qreal radius = 16;

    /** `faint` draws the faint rounded ground behind the content. */
    ScreenPlaceholder(const QString &title, const QString &detail, bool faint, QWidget *parent = nullptr);

    QString title() const;
    QString detail() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *m_title;
    QLabel *m_detail;
    bool m_faint;
};

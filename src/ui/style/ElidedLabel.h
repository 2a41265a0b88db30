#pragma once

#include <QLabel>

/**
 * One line of plain text that, when it does not fit, gives up characters in its middle
 * ("ubuntu…arm64.iso"). It is a label to assistive technologies, which read the whole text; its
 * tooltip shows the whole text too.
 */
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    /** What is drawn at the current width. */
    QString shownText() const;

    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};

#pragma once

#include <QAbstractButton>

class QVariantAnimation;

/** An on/off switch: a capsule track in the accent colour when on, with a knob that slides across. */
class ToggleSwitch : public QAbstractButton
{
    Q_OBJECT

public:
    explicit ToggleSwitch(QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void onToggled(bool checked);

    qreal m_position = 0;
    QVariantAnimation *m_slide;
};

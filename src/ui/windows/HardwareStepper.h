#pragma once

#include "ui/windows/WindowsRules.h"

#include <QWidget>

class QLabel;
class QToolButton;

/**
 * A whole number shown in a sentence ("CPU：4 核") with a step down and a step up button. Each press
 * moves one step within the range and announces the new value; values set from outside only show.
 */
class HardwareStepper : public QWidget
{
    Q_OBJECT

public:
    HardwareStepper(QString prefix, QString suffix, WindowsRules::Range range, QWidget *parent = nullptr);

    qint64 value() const { return m_value; }
    void setValue(qint64 value);
    const WindowsRules::Range &range() const { return m_range; }
    QString text() const;
    QToolButton *downButton() const { return m_down; }
    QToolButton *upButton() const { return m_up; }

Q_SIGNALS:
    /** The user stepped to `value`. */
    void valueStepped(qint64 value);

private:
    void step(int direction);
    void showValue();

    const QString m_prefix;
    const QString m_suffix;
    const WindowsRules::Range m_range;
    qint64 m_value = 0;
    QLabel *m_label;
    QToolButton *m_down;
    QToolButton *m_up;
};

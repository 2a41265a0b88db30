#pragma once

#include "app/AppPreferences.h"

#include <QWidget>

class QLabel;
class QToolButton;

/**
 * A number with its label ("CPU：4 核") and a pair of − and + buttons that step it within a range.
 * The buttons stop at the ends of the range.
 */
class Stepper : public QWidget
{
    Q_OBJECT

public:
    using Range = AppPreferences::Range;

    Stepper(QString prefix, QString suffix, Range range, qint64 step = 1, QWidget *parent = nullptr);

    qint64 value() const { return m_value; }
    /** Shows a value set from outside; announces nothing. */
    void setValue(qint64 value);
    Range range() const { return m_range; }
    qint64 step() const { return m_step; }
    /** What the label reads. */
    QString text() const;
    QToolButton *decrementButton() const { return m_down; }
    QToolButton *incrementButton() const { return m_up; }

    /** The value one step from `value` in `direction` (+1 or −1), kept within `range`. */
    static qint64 stepped(qint64 value, int direction, qint64 step, Range range);

Q_SIGNALS:
    /** The user stepped to a new value. */
    void valueEdited(qint64 value);

protected:
    void changeEvent(QEvent *event) override;

private:
    void stepBy(int direction);
    void refresh();

    QString m_prefix;
    QString m_suffix;
    Range m_range;
    qint64 m_step;
    qint64 m_value = 0;
    QLabel *m_label;
    QToolButton *m_down;
    QToolButton *m_up;
};

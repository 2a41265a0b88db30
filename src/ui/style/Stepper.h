#pragma once

#include "preferences/AppPreferences.h"

#include <QWidget>

class QHBoxLayout;
class QLabel;
class QToolButton;

/**
 * A whole number in its sentence ("CPU：4 核") with a − and a + button that step it within a closed
 * range. The value shown is always inside the range and the buttons stop at its ends; only the user's
 * steps are announced.
 */
class Stepper : public QWidget
{
    Q_OBJECT

public:
    using Range = AppPreferences::Range;

    Stepper(QString prefix, QString suffix, Range range, qint64 step = 1, QWidget *parent = nullptr);

    Range range() const { return m_range; }
    /** Brings the shown value into the new range without announcing it. */
    void setRange(Range range);
    qint64 step() const { return m_step; }
    void setStep(qint64 step);
    qint64 value() const { return m_value; }
    /** Shows `value`, brought into the range; announces nothing. */
    void setValue(qint64 value);
    /** What the sentence reads. */
    QString text() const;

    /** Keeps the buttons of steppers stacked in a column at one place whatever their numbers. */
    void setMinimumTextWidth(int width);
    /** Puts the buttons at the trailing edge, as the control of a settings row. */
    void setButtonsAtTrailingEdge(bool trailing);

    QToolButton *decrementButton() const { return m_decrement; }
    QToolButton *incrementButton() const { return m_increment; }

    /** The value one step from `value` in `direction` (+1 or −1), kept within `range`. */
    static qint64 stepped(qint64 value, int direction, qint64 step, Range range);

Q_SIGNALS:
    /** The user stepped to `value`. */
    void valueEdited(qint64 value);

private:
    void stepBy(int direction);
    void showValue();

    QString m_prefix;
    QString m_suffix;
    Range m_range;
    qint64 m_step = 1;
    qint64 m_value = 0;
    QHBoxLayout *m_row;
    QLabel *m_label;
    QToolButton *m_decrement;
    QToolButton *m_increment;
};

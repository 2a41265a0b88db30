#pragma once

#include "app/AppPreferences.h"

#include <QWidget>

class QLabel;
class QToolButton;

/**
 * A whole number with its words around it ("CPU：2 核") and a pair of buttons that step it by one
 * within a closed range. The value shown is always inside the range.
 */
class SettingsStepper : public QWidget
{
    Q_OBJECT

public:
    SettingsStepper(QString prefix, QString suffix, QWidget *parent = nullptr);

    AppPreferences::Range range() const { return m_range; }
    void setRange(AppPreferences::Range range);
    qint64 value() const { return m_value; }
    /** Shows `value`, brought into the range; announces nothing. */
    void setValue(qint64 value);

    QLabel *label() const { return m_label; }
    QToolButton *decrementButton() const { return m_decrement; }
    QToolButton *incrementButton() const { return m_increment; }

Q_SIGNALS:
    /** The user stepped to `value`. */
    void valueEdited(qint64 value);

private:
    void step(qint64 delta);
    void showValue();

    QString m_prefix;
    QString m_suffix;
    AppPreferences::Range m_range{1, 1};
    qint64 m_value = 1;
    QLabel *m_label;
    QToolButton *m_decrement;
    QToolButton *m_increment;
};

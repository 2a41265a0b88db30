#pragma once

#include "preferences/AppPreferences.h"

#include <QWidget>

#include <optional>

class QLabel;
class QLineEdit;

/**
 * A label and a text field for one whole number within a range. Typing changes nothing until Return
 * (or leaving the field): then the text becomes the clamped number, or reverts when it is not one.
 */
class HardwareNumberField : public QWidget
{
    Q_OBJECT

public:
    using Range = AppPreferences::Range;

    HardwareNumberField(const QString &label, Range range, QWidget *parent = nullptr);

    qint64 value() const { return m_value; }
    /** Shows a value set from outside; the text being typed is replaced by it. */
    void setValue(qint64 value);
    Range range() const { return m_range; }
    void setRange(Range range);
    QString label() const;
    QString draft() const;
    QLineEdit *editor() const { return m_editor; }

    /** A decimal integer with an optional sign and nothing else, or nothing (also on overflow). */
    static std::optional<qint64> parse(const QString &text);
    /** The value a commit of `draft` leaves: the parsed number clamped to `range`, else `value` unchanged. */
    static qint64 committed(const QString &draft, qint64 value, Range range);

    /** Takes the text being typed as Return would: the clamped number, or the current value again. */
    void commit();

Q_SIGNALS:
    /** The user committed a number different from the current value. */
    void valueEdited(qint64 value);

private:
    QLabel *m_label;
    QLineEdit *m_editor;
    Range m_range;
    qint64 m_value = 0;
};

#include "ui/android/HardwareNumberField.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include <limits>

HardwareNumberField::HardwareNumberField(const QString &label, Range range, QWidget *parent)
    : QWidget(parent)
    , m_label(new QLabel(label))
    , m_editor(new QLineEdit)
    , m_range(range)
{
    m_editor->setAlignment(Qt::AlignRight);
    m_editor->setFixedWidth(64);
    m_label->setBuddy(m_editor);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(m_label);
    row->addWidget(m_editor);
    m_editor->setText(QString::number(m_value));
    connect(m_editor, &QLineEdit::editingFinished, this, &HardwareNumberField::commit);
    connect(m_editor, &QLineEdit::returnPressed, m_editor, [this] { m_editor->clearFocus(); });
}

void HardwareNumberField::setValue(qint64 value)
{
    m_value = value;
    m_editor->setText(QString::number(value));
}

void HardwareNumberField::setRange(Range range)
{
    m_range = range;
}

QString HardwareNumberField::label() const
{
    return m_label->text();
}

QString HardwareNumberField::draft() const
{
    return m_editor->text();
}

std::optional<qint64> HardwareNumberField::parse(const QString &text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    // Accumulated as a negative number, whose range reaches one further than the positive one.
    qint64 result = 0;
    constexpr qint64 lowest = std::numeric_limits<qint64>::min();
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        const int digit = c - u'0';
        if (result < (lowest + digit) / 10) {
            return std::nullopt;
        }
        result = result * 10 - digit;
    }
    if (!negative) {
        if (result == lowest) {
            return std::nullopt;
        }
        result = -result;
    }
    return result;
}

qint64 HardwareNumberField::committed(const QString &draft, qint64 value, Range range)
{
    const std::optional<qint64> number = parse(draft.trimmed());
    return number ? std::clamp(*number, range.minimum, range.maximum) : value;
}

void HardwareNumberField::commit()
{
    const qint64 next = committed(m_editor->text(), m_value, m_range);
    const bool changed = next != m_value;
    setValue(next);
    if (changed) {
        Q_EMIT valueEdited(next);
    }
}

#include "ui/style/Stepper.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

#include <algorithm>

namespace {

QToolButton *stepButton(const QString &text, const QString &name)
{
    auto *button = new QToolButton;
    button->setText(text);
    button->setAccessibleName(name);
    button->setFixedSize(28, 24);
    button->setAutoRepeat(true);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

// Places in the row: the sentence, the space that pushes the buttons to the trailing edge when it
// stretches, a gap, the two buttons, and the space after them.
constexpr int leadingSpace = 1;
constexpr int trailingSpace = 5;

} // namespace

Stepper::Stepper(QString prefix, QString suffix, Range range, qint64 step, QWidget *parent)
    : QWidget(parent)
    , m_prefix(std::move(prefix))
    , m_suffix(std::move(suffix))
    , m_range(range)
    , m_step(std::max<qint64>(step, 1))
    , m_value(range.minimum)
    , m_row(new QHBoxLayout(this))
    , m_label(new QLabel)
    , m_decrement(stepButton(QStringLiteral("−"), QStringLiteral("减少")))
    , m_increment(stepButton(QStringLiteral("+"), QStringLiteral("增加")))
{
    m_row->setContentsMargins(0, 0, 0, 0);
    m_row->setSpacing(0);
    m_row->addWidget(m_label);
    m_row->addStretch(0);
    m_row->addSpacing(10);
    m_row->addWidget(m_decrement);
    m_row->addWidget(m_increment);
    m_row->addStretch(1);
    connect(m_decrement, &QAbstractButton::clicked, this, [this] { stepBy(-1); });
    connect(m_increment, &QAbstractButton::clicked, this, [this] { stepBy(+1); });
    showValue();
}

qint64 Stepper::stepped(qint64 value, int direction, qint64 step, Range range)
{
    return std::clamp(value + direction * step, range.minimum, range.maximum);
}

void Stepper::setRange(Range range)
{
    m_range = range;
    setValue(m_value);
}

void Stepper::setStep(qint64 step)
{
    m_step = std::max<qint64>(step, 1);
}

void Stepper::setValue(qint64 value)
{
    m_value = std::clamp(value, m_range.minimum, m_range.maximum);
    showValue();
}

QString Stepper::text() const
{
    return m_label->text();
}

void Stepper::setMinimumTextWidth(int width)
{
    m_label->setMinimumWidth(width);
}

void Stepper::setButtonsAtTrailingEdge(bool trailing)
{
    m_row->setStretch(leadingSpace, trailing ? 1 : 0);
    m_row->setStretch(trailingSpace, trailing ? 0 : 1);
}

void Stepper::stepBy(int direction)
{
    const qint64 next = stepped(m_value, direction, m_step, m_range);
    if (next == m_value) {
        return;
    }
    m_value = next;
    showValue();
    Q_EMIT valueEdited(next);
}

void Stepper::showValue()
{
    m_label->setText(m_prefix + QString::number(m_value) + m_suffix);
    m_decrement->setEnabled(m_value > m_range.minimum);
    m_increment->setEnabled(m_value < m_range.maximum);
}

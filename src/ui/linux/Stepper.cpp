#include "ui/linux/Stepper.h"

#include <QEvent>
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
    button->setFixedSize(26, 22);
    button->setAutoRepeat(true);
    return button;
}

} // namespace

Stepper::Stepper(QString prefix, QString suffix, Range range, qint64 step, QWidget *parent)
    : QWidget(parent)
    , m_prefix(std::move(prefix))
    , m_suffix(std::move(suffix))
    , m_range(range)
    , m_step(std::max<qint64>(step, 1))
    , m_label(new QLabel)
    , m_down(stepButton(QStringLiteral("−"), QStringLiteral("减少")))
    , m_up(stepButton(QStringLiteral("+"), QStringLiteral("增加")))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(m_label);
    row->addSpacing(10);
    row->addWidget(m_down);
    row->addWidget(m_up);
    row->addStretch();
    connect(m_down, &QToolButton::clicked, this, [this] { stepBy(-1); });
    connect(m_up, &QToolButton::clicked, this, [this] { stepBy(+1); });
    m_value = m_range.minimum;
    refresh();
}

qint64 Stepper::stepped(qint64 value, int direction, qint64 step, Range range)
{
    return std::clamp(value + direction * step, range.minimum, range.maximum);
}

void Stepper::setValue(qint64 value)
{
    m_value = value;
    refresh();
}

QString Stepper::text() const
{
    return m_label->text();
}

void Stepper::stepBy(int direction)
{
    const qint64 next = stepped(m_value, direction, m_step, m_range);
    if (next == m_value) {
        return;
    }
    m_value = next;
    refresh();
    Q_EMIT valueEdited(next);
}

void Stepper::refresh()
{
    m_label->setText(m_prefix + QString::number(m_value) + m_suffix);
    m_down->setEnabled(isEnabled() && m_value > m_range.minimum);
    m_up->setEnabled(isEnabled() && m_value < m_range.maximum);
}

void Stepper::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        refresh();
    }
}

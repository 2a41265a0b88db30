#include "ui/windows/HardwareStepper.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace {

QToolButton *stepButton(const QString &text, const QString &accessibleName)
{
    auto *button = new QToolButton;
    button->setText(text);
    button->setAccessibleName(accessibleName);
    button->setFixedSize(28, 24);
    button->setAutoRepeat(true);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace

HardwareStepper::HardwareStepper(QString prefix, QString suffix, WindowsRules::Range range, QWidget *parent)
    : QWidget(parent)
    , m_prefix(std::move(prefix))
    , m_suffix(std::move(suffix))
    , m_range(range)
    , m_value(range.minimum)
    , m_label(new QLabel)
    , m_down(stepButton(QStringLiteral("−"), QStringLiteral("减少")))
    , m_up(stepButton(QStringLiteral("+"), QStringLiteral("增加")))
{
    m_label->setMinimumWidth(140);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    row->addWidget(m_label);
    row->addWidget(m_down);
    row->addWidget(m_up);
    row->addStretch();
    connect(m_down, &QAbstractButton::clicked, this, [this] { step(-1); });
    connect(m_up, &QAbstractButton::clicked, this, [this] { step(+1); });
    showValue();
}

void HardwareStepper::setValue(qint64 value)
{
    if (m_value != value) {
        m_value = value;
        showValue();
    }
}

QString HardwareStepper::text() const
{
    return m_prefix + QString::number(m_value) + m_suffix;
}

void HardwareStepper::step(int direction)
{
    const qint64 next = WindowsRules::stepped(m_value, m_range, direction);
    if (next == m_value) {
        return;
    }
    m_value = next;
    showValue();
    Q_EMIT valueStepped(next);
}

void HardwareStepper::showValue()
{
    m_label->setText(text());
    m_down->setEnabled(m_value > m_range.minimum);
    m_up->setEnabled(m_value < m_range.maximum);
}

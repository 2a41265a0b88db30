#include "ui/settings/SettingsStepper.h"

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
    button->setAutoRepeat(true);
    button->setFixedSize(28, 24);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace

SettingsStepper::SettingsStepper(QString prefix, QString suffix, QWidget *parent)
    : QWidget(parent)
    , m_prefix(std::move(prefix))
    , m_suffix(std::move(suffix))
    , m_label(new QLabel)
    , m_decrement(stepButton(QStringLiteral("−"), QStringLiteral("减少")))
    , m_increment(stepButton(QStringLiteral("+"), QStringLiteral("增加")))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(m_label);
    row->addStretch();
    row->addWidget(m_decrement);
    row->addWidget(m_increment);
    connect(m_decrement, &QAbstractButton::clicked, this, [this] { step(-1); });
    connect(m_increment, &QAbstractButton::clicked, this, [this] { step(+1); });
    showValue();
}

void SettingsStepper::setRange(AppPreferences::Range range)
{
    m_range = range;
    setValue(m_value);
}

void SettingsStepper::setValue(qint64 value)
{
    m_value = std::clamp(value, m_range.minimum, m_range.maximum);
    showValue();
}

void SettingsStepper::step(qint64 delta)
{
    const qint64 next = std::clamp(m_value + delta, m_range.minimum, m_range.maximum);
    if (next == m_value) {
        return;
    }
    m_value = next;
    showValue();
    Q_EMIT valueEdited(next);
}

void SettingsStepper::showValue()
{
    m_label->setText(m_prefix + QString::number(m_value) + m_suffix);
    m_decrement->setEnabled(m_value > m_range.minimum);
    m_increment->setEnabled(m_value < m_range.maximum);
}

#include "ui/style/DeviceGlassGroup.h"

DeviceGlassGroup::DeviceGlassGroup(QBoxLayout::Direction direction, QWidget *parent)
    : QWidget(parent)
    , m_layout(new QBoxLayout(direction, this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(spacing);
}

void DeviceGlassGroup::addWidget(QWidget *widget, int stretch)
{
    m_layout->addWidget(widget, stretch);
}

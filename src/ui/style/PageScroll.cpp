#include "ui/style/PageScroll.h"

#include <QScrollArea>
#include <QVBoxLayout>

namespace PageScroll {

QScrollArea *bareArea(QWidget *content)
{
    auto *area = new QScrollArea;
    area->setWidget(content);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    return area;
}

QVBoxLayout *column(QWidget *page, const QMargins &margins)
{
    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(margins);
    column->setSpacing(16);
    QScrollArea *area = bareArea(content);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(area);
    return column;
}

} // namespace PageScroll

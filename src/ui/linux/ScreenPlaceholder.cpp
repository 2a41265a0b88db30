#include "ui/linux/ScreenPlaceholder.h"

#include "ui/style/Appearance.h"
#include "ui/style/Controls.h"
#include "ui/style/SymbolLabel.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

ScreenPlaceholder::ScreenPlaceholder(const QString &title, const QString &detail, bool faint, QWidget *parent)
    : QWidget(parent)
    , m_title(new QLabel(title))
    , m_detail(Controls::paragraph(detail))
    , m_faint(faint)
{
    auto *symbol = new SymbolLabel(QStringLiteral("terminal"), 34);
    m_title->setFont(Appearance::font(15, QFont::DemiBold));
    m_title->setAlignment(Qt::AlignHCenter);
    m_detail->setForegroundRole(QPalette::PlaceholderText);
    m_detail->setAlignment(Qt::AlignHCenter);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(10);
    column->addStretch();
    column->addWidget(symbol, 0, Qt::AlignHCenter);
    column->addWidget(m_title);
    column->addWidget(m_detail);
    column->addStretch();
}

QString ScreenPlaceholder::title() const
{
    return m_title->text();
}

QString ScreenPlaceholder::detail() const
{
    return m_detail->text();
}

void ScreenPlaceholder::paintEvent(QPaintEvent *)
{
    if (!m_faint) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor ground = palette().color(QPalette::WindowText);
    ground.setAlphaF(groundOpacity);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), radius, radius);
    painter.fillPath(shape, ground);
}

#include "ui/style/SoftGroupBox.h"

#include "ui/style/Appearance.h"
#include "ui/style/SymbolLabel.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

SoftGroupBox::SoftGroupBox(const QString &title, QWidget *parent)
    : QWidget(parent)
    , m_symbol(new SymbolLabel(QString(), 16))
    , m_title(new QLabel(title))
    , m_subtitle(new QLabel)
    , m_content(new QVBoxLayout)
{
    m_symbol->hide();
    m_title->setFont(Appearance::font(titlePoints, QFont::DemiBold));
    m_subtitle->setForegroundRole(QPalette::PlaceholderText);
    m_subtitle->hide();
    auto *header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(8);
    header->addWidget(m_symbol);
    header->addWidget(m_title);
    header->addStretch();
    header->addWidget(m_subtitle);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(spacing);
    column->addLayout(header);
    m_content->setContentsMargins(0, 0, 0, 0);
    m_content->setSpacing(spacing);
    column->addLayout(m_content);
}

QString SoftGroupBox::title() const
{
    return m_title->text();
}

void SoftGroupBox::setTitle(const QString &title)
{
    m_title->setText(title);
}

void SoftGroupBox::setSymbol(const QString &symbol)
{
    m_symbol->setSymbol(symbol);
    m_symbol->setVisible(!symbol.isEmpty());
}

void SoftGroupBox::setSubtitle(const QString &subtitle)
{
    m_subtitle->setText(subtitle);
    m_subtitle->setVisible(!subtitle.isEmpty());
}

QString SoftGroupBox::subtitle() const
{
    return m_subtitle->text();
}

void SoftGroupBox::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange) {
        m_title->setFont(Appearance::font(titlePoints, QFont::DemiBold));
    }
    QWidget::changeEvent(event);
}

void SoftGroupBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal inset = outlineWidth / 2;
    const QRectF shape = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    QPainterPath path;
    path.addRoundedRect(shape, radius, radius);
    QColor background = palette().color(QPalette::Base);
    background.setAlphaF(float(backgroundOpacity));
    painter.fillPath(path, background);
    QColor outline = palette().color(QPalette::WindowText);
    outline.setAlphaF(float(outlineOpacity));
    painter.setPen(QPen(outline, outlineWidth));
    painter.drawPath(path);
}

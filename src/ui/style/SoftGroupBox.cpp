#include "ui/style/SoftGroupBox.h"

#include "ui/style/Appearance.h"
#include "ui/style/PaintCache.h"
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
    QColor background = palette().color(QPalette::Base);
    background.setAlphaF(float(backgroundOpacity));
    QColor outline = palette().color(QPalette::WindowText);
    outline.setAlphaF(float(outlineOpacity));
    const QString key = QStringLiteral("group:%1:%2")
                            .arg(quint64(background.rgba64()), 0, 16)
                            .arg(quint64(outline.rgba64()), 0, 16);
    PaintCache::draw(painter, QRectF(rect()), key, {radius + outlineWidth, true},
                     [&](QPainter &target, const QRectF &area) {
                         target.setRenderHint(QPainter::Antialiasing);
                         const qreal inset = outlineWidth / 2;
                         QPainterPath path;
                         path.addRoundedRect(area.adjusted(inset, inset, -inset, -inset), radius, radius);
                         target.fillPath(path, background);
                         target.setPen(QPen(outline, outlineWidth));
                         target.drawPath(path);
                     });
}

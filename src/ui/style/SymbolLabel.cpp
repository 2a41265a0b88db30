#include "ui/style/SymbolLabel.h"

#include "ui/style/Symbols.h"

#include <QPainter>

SymbolLabel::SymbolLabel(const QString &symbol, int size, QWidget *parent)
    : QWidget(parent)
    , m_symbol(symbol)
    , m_size(size)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolLabel::setSymbol(const QString &symbol)
{
    m_symbol = symbol;
    update();
}

void SymbolLabel::setTint(const QColor &color)
{
    m_color = color;
    update();
}

QSize SymbolLabel::sizeHint() const
{
    return {m_size, m_size};
}

void SymbolLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QColor color = m_color.isValid() ? m_color : palette().color(QPalette::WindowText);
    if (!isEnabled()) {
        color.setAlphaF(color.alphaF() * 0.38f);
    }
    Symbols::paint(painter, rect(), m_symbol, color);
}

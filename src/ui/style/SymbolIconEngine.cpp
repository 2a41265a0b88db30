#include "ui/style/SymbolIconEngine.h"

#include "ui/style/Symbols.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>

namespace {

QColor colorFor(QIcon::Mode mode)
{
    const QPalette palette = QApplication::palette();
    if (mode == QIcon::Selected) {
        return palette.color(QPalette::HighlightedText);
    }
    QColor color = palette.color(QPalette::WindowText);
    if (mode == QIcon::Disabled) {
        color.setAlphaF(0.38f);
    }
    return color;
}

} // namespace

SymbolIconEngine::SymbolIconEngine(QString symbol)
    : m_symbol(std::move(symbol))
{}

void SymbolIconEngine::paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State)
{
    Symbols::paint(*painter, rect, m_symbol, colorFor(mode));
}

QPixmap SymbolIconEngine::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State)
{
    return Symbols::pixmap(m_symbol, std::min(size.width(), size.height()), colorFor(mode));
}

QIconEngine *SymbolIconEngine::clone() const
{
    return new SymbolIconEngine(m_symbol);
}

QString SymbolIconEngine::key() const
{
    return QStringLiteral("corvane-symbol");
}

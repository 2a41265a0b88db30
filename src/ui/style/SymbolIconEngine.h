#pragma once

#include <QIconEngine>
#include <QString>

/** Draws one symbol of the table in the palette's text colour, so icons follow the colour scheme. */
class SymbolIconEngine : public QIconEngine
{
public:
    explicit SymbolIconEngine(QString symbol);

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QIconEngine *clone() const override;
    QString key() const override;

private:
    QString m_symbol;
};

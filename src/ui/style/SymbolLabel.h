#pragma once

#include <QColor>
#include <QWidget>

/** A symbol of the table shown on its own, in the text colour unless given another. */
class SymbolLabel : public QWidget
{
    Q_OBJECT

public:
    explicit SymbolLabel(const QString &symbol, int size = 16, QWidget *parent = nullptr);

    const QString &symbol() const { return m_symbol; }
    void setSymbol(const QString &symbol);
    /** An invalid colour follows the palette's text colour. */
    void setTint(const QColor &color);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_symbol;
    int m_size;
    QColor m_color;
};

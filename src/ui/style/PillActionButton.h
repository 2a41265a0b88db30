#pragma once

#include <QColor>
#include <QPushButton>

class QVariantAnimation;
struct PillLook;

/**
 * The capsule action button of every page: tinted, optionally prominent (filled) and compact. A press
 * shrinks it slightly on a spring when motion is allowed; disabled, the whole button fades to 0.38.
 */
class PillActionButton : public QPushButton
{
    Q_OBJECT

public:
    explicit PillActionButton(const QString &text = {}, QWidget *parent = nullptr);

    /** The tint; the accent colour while none is set. */
    QColor tint() const;
    void setTint(const QColor &tint);
    bool prominent() const { return m_prominent; }
    void setProminent(bool prominent);
    bool compact() const { return m_compact; }
    void setCompact(bool compact);
    /** A system-symbol name from the symbol table, drawn before the text in the text colour. */
    const QString &symbol() const { return m_symbol; }
    void setSymbol(const QString &symbol);

    /** The scale the button is drawn at right now (1 at rest). */
    qreal currentScale() const { return m_scale; }

    /** The red of destructive actions. */
    static QColor destructiveTint();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    PillLook look() const;
    void onDownChanged();
    void paintButton(QPainter &painter, const PillLook &look) const;
    void paintShadow(QPainter &painter, const QRectF &capsule, const PillLook &look) const;

    QColor m_tint;
    bool m_prominent = false;
    bool m_compact = false;
    QString m_symbol;
    qreal m_scale = 1.0;
    QVariantAnimation *m_press;
};

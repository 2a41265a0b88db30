#pragma once

#include <QWidget>

class QPainter;
struct GlassLook;

/**
 * The background of cards and bars: see-through when the user's "appearanceGlass" is on and the system
 * does not ask for reduced transparency, opaque otherwise; a capsule or a rounded rectangle, tinted
 * with the accent when selected. Children are laid out on top of it.
 */
class GlassSurface : public QWidget
{
    Q_OBJECT

public:
    explicit GlassSurface(QWidget *parent = nullptr);

    bool selected() const { return m_selected; }
    void setSelected(bool selected);
    bool capsule() const { return m_capsule; }
    void setCapsule(bool capsule);

    /** The look this surface paints with now. */
    GlassLook look() const;
    /** Paints a glass background into `rect`; shared with widgets that cannot derive from this one. */
    static void paint(QPainter &painter, const QRectF &rect, const GlassLook &look);
    /** The look for `widget` in its palette with the current preferences. */
    static GlassLook lookFor(const QWidget &widget, bool selected, bool capsule);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_selected = false;
    bool m_capsule = false;
};

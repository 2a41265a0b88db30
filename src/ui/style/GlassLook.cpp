#include "ui/style/GlassLook.h"

GlassLook GlassLook::resolve(const State &state, const QPalette &palette)
{
    GlassLook look{};
    look.translucent = state.translucencyAllowed;
    look.radius = state.capsule ? capsuleRadius : cardRadius;

    look.fill = palette.color(QPalette::Base);
    QColor edge = palette.color(QPalette::WindowText);
    if (look.translucent) {
        // A thin veil of the control colour lets the window behind show through, like the mac's thin
        // material.
        look.fill.setAlphaF(0.55f);
        edge.setAlphaF(0.10f);
    } else {
        edge.setAlphaF(0.14f);
    }
    look.outline = edge;

    look.tint = Qt::transparent;
    if (state.selected && look.translucent) {
        look.tint = state.accent;
        look.tint.setAlphaF(0.12f);
    }
    return look;
}

#include "ui/style/PillLook.h"

namespace {

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

} // namespace

PillLook PillLook::resolve(const State &state)
{
    PillLook look{};
    look.fontPoints = state.compact ? 12.5 : 13.5;
    look.text = state.prominent ? QColor(Qt::white) : state.tint;
    look.horizontalPadding = state.compact ? 15 : 20;
    look.minimumHeight = state.compact ? 38 : 44;

    if (state.prominent) {
        // A gentle top-to-bottom gradient of the tint reads as a lit, raised surface.
        look.fillTop = state.tint.lighter(112);
        look.fillBottom = state.tint.darker(106);
        look.highlight = withAlpha(Qt::white, state.pressed ? 0.04 : 0.11);
        look.outline = withAlpha(Qt::white, 0.16);
    } else {
        look.fillTop = look.fillBottom = withAlpha(state.primary, 0.065);
        look.highlight = withAlpha(Qt::white, 0.025);
        look.outline = withAlpha(state.tint, 0.22);
    }
    look.outlineWidth = 0.8;

    look.shadow = state.prominent;
    if (look.shadow) {
        look.shadowColor = withAlpha(state.tint, state.pressed ? 0.08 : 0.22);
        look.shadowRadius = state.pressed ? 2 : 8;
        look.shadowOffset = state.pressed ? 1 : 4;
    } else {
        look.shadowRadius = 0;
        look.shadowOffset = 0;
    }

    look.scale = state.pressed && state.animationsAllowed ? pressedScale : 1.0;
    look.opacity = state.enabled ? 1.0 : disabledOpacity;
    return look;
}

#pragma once

#include <QColor>

/**
 * How a capsule action button looks in one state: sizes, fill, outline, shadow, scale and opacity.
 * Kept apart from the widget so the rules can be checked without painting.
 */
struct PillLook
{
    struct State
    {
        QColor tint;
        /** The label colour of the surroundings, used for the quiet fill. */
        QColor primary;
        bool prominent = false;
        bool compact = false;
        bool pressed = false;
        bool enabled = true;
        bool animationsAllowed = true;
    };

    qreal fontPoints;
    QColor text;
    int horizontalPadding;
    int minimumHeight;
    /** Top and bottom of the fill's vertical gradient; equal when the fill is flat. */
    QColor fillTop;
    QColor fillBottom;
    QColor highlight;
    qreal outlineWidth;
    QColor outline;
    bool shadow;
    QColor shadowColor;
    qreal shadowRadius;
    qreal shadowOffset;
    /** The scale the press settles at. */
    qreal scale;
    /** Applied to the whole button, colours included, so a disabled button keeps its hues. */
    qreal opacity;

    static constexpr qreal pressedScale = 0.965;
    static constexpr qreal disabledOpacity = 0.38;

    static PillLook resolve(const State &state);
};

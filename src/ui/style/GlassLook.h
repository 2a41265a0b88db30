#pragma once

#include <QColor>
#include <QPalette>

/**
 * The background of a card or bar: a see-through tinted layer when translucency is welcome, else the
 * opaque control background, always in the same rounded shape.
 */
struct GlassLook
{
    struct State
    {
        bool selected = false;
        bool capsule = false;
        bool translucencyAllowed = true;
        QColor accent;
    };

    bool translucent;
    /** Corner radius before it is clamped to half the shorter side (which makes a capsule). */
    qreal radius;
    QColor fill;
    /** Drawn over the fill; transparent when there is none. */
    QColor tint;
    QColor outline;

    static constexpr qreal cardRadius = 18;
    static constexpr qreal capsuleRadius = 30;

    static GlassLook resolve(const State &state, const QPalette &palette);
};

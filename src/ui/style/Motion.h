#pragma once

#include <QEasingCurve>

/** The timing curves shared by the window's animations. */
namespace Motion {

/** How long the press spring runs before it has come to rest. */
inline constexpr int springDurationMs = 450;

/**
 * Progress (0 → 1, with a slight overshoot) of an under-damped spring of 0.28 s response
 * and 0.78 damping fraction, at `t`, a fraction of springDurationMs.
 */
qreal spring(qreal t);

/** spring() as an easing curve for QVariantAnimation. */
QEasingCurve springCurve();

} // namespace Motion

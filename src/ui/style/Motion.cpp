#include "ui/style/Motion.h"

#include <cmath>
#include <numbers>

namespace Motion {

qreal spring(qreal t)
{
    if (t <= 0) {
        return 0;
    }
    if (t >= 1) {
        return 1;
    }
    constexpr qreal response = 0.28;
    constexpr qreal damping = 0.78;
    constexpr qreal omega = 2 * std::numbers::pi / response;
    const qreal dampedOmega = omega * std::sqrt(1 - damping * damping);
    const qreal seconds = t * springDurationMs / 1000.0;
    const qreal decay = std::exp(-damping * omega * seconds);
    return 1 - decay * (std::cos(dampedOmega * seconds) +
                        damping * omega / dampedOmega * std::sin(dampedOmega * seconds));
}

QEasingCurve springCurve()
{
    QEasingCurve curve;
    curve.setCustomType(&spring);
    return curve;
}

} // namespace Motion

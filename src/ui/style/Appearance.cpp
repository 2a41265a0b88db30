#include "ui/style/Appearance.h"

#include "platform/Host.h"
#include "preferences/AppPreferences.h"
#include "ui/style/FusionStyle.h"

#include <QApplication>
#include <QScreen>
#include <QSettings>

namespace {

struct SchemeColors
{
    QRgb window, windowText, base, alternateBase, button, light, midlight, mid, dark, shadow, placeholder,
        toolTipBase;
};

// Close to the mac's own window, control and label colours in each scheme.
constexpr SchemeColors lightColors{0xFFECECEC, 0xFF1D1D1F, 0xFFFFFFFF, 0xFFF5F5F7, 0xFFFAFAFA, 0xFFFFFFFF,
                                   0xFFF0F0F0, 0xFFC6C6C8, 0xFF9E9EA2, 0xFF5A5A5E, 0xFF8E8E93, 0xFFFFFFFF};
constexpr SchemeColors darkColors{0xFF2A2A2C, 0xFFECECEF, 0xFF1E1E20, 0xFF262628, 0xFF3A3A3C, 0xFF4A4A4D,
                                  0xFF404043, 0xFF58585C, 0xFF161617, 0xFF000000, 0xFF8E8E93, 0xFF3A3A3C};

QPalette schemePalette(const SchemeColors &c)
{
    QPalette palette;
    const QColor text = QColor::fromRgba(c.windowText);
    palette.setColor(QPalette::Window, QColor::fromRgba(c.window));
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, QColor::fromRgba(c.base));
    palette.setColor(QPalette::AlternateBase, QColor::fromRgba(c.alternateBase));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor::fromRgba(c.button));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Light, QColor::fromRgba(c.light));
    palette.setColor(QPalette::Midlight, QColor::fromRgba(c.midlight));
    palette.setColor(QPalette::Mid, QColor::fromRgba(c.mid));
    palette.setColor(QPalette::Dark, QColor::fromRgba(c.dark));
    palette.setColor(QPalette::Shadow, QColor::fromRgba(c.shadow));
    palette.setColor(QPalette::PlaceholderText, QColor::fromRgba(c.placeholder));
    palette.setColor(QPalette::ToolTipBase, QColor::fromRgba(c.toolTipBase));
    palette.setColor(QPalette::ToolTipText, text);
    QColor faded = text;
    faded.setAlphaF(0.35f);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, faded);
    }
    QColor fadedSecondary = QColor::fromRgba(c.placeholder);
    fadedSecondary.setAlphaF(0.45f);
    palette.setColor(QPalette::Disabled, QPalette::PlaceholderText, fadedSecondary);
    return palette;
}

} // namespace

Appearance &Appearance::instance()
{
    // Lives until the process ends: widgets ask it while they are torn down.
    static auto *appearance = new Appearance;
    return *appearance;
}

Appearance::Appearance()
    : m_store(AppPreferences::openStore())
{
    m_current = AppAppearance::fromPreferences(*m_store);
    m_animations = animationsAllowed();
    m_translucency = translucencyAllowed();
}

bool Appearance::animationsAllowed(bool animationsPreference, bool reduceMotion)
{
    return animationsPreference && !reduceMotion;
}

bool Appearance::translucencyAllowed(bool glassPreference, bool reduceTransparency)
{
    return glassPreference && !reduceTransparency;
}

bool Appearance::isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightnessF() < palette.color(QPalette::WindowText).lightnessF();
}

QPalette Appearance::palette(const AppAppearance &appearance, const QPalette &system)
{
    QPalette result;
    switch (appearance.colorScheme) {
    case AppAppearance::ColorScheme::Light:
        result = schemePalette(lightColors);
        break;
    case AppAppearance::ColorScheme::Dark:
        result = schemePalette(darkColors);
        break;
    case AppAppearance::ColorScheme::System:
        result = system;
        break;
    }
    const QColor accent = appearance.accentFor(isDark(result));
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        result.setColor(group, QPalette::Highlight, accent);
        result.setColor(group, QPalette::HighlightedText, Qt::white);
        result.setColor(group, QPalette::Link, accent);
        result.setColor(group, QPalette::LinkVisited, accent);
    }
    return result;
}

bool Appearance::animationsAllowed() const
{
    return animationsAllowed(AppPreferences::read(*m_store, AppPreferences::appearanceAnimations),
                             Host::current().reduceMotion());
}

bool Appearance::translucencyAllowed() const
{
    return translucencyAllowed(AppPreferences::read(*m_store, AppPreferences::appearanceGlass),
                               Host::current().reduceTransparency());
}

QColor Appearance::accent() const
{
    return AppAppearance::fromPreferences(*m_store).accentFor(isDark(QApplication::palette()));
}

QFont Appearance::font(qreal points, QFont::Weight weight)
{
    QFont font = QApplication::font();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    font.setPointSizeF(points * 72.0 / dpi);
    font.setWeight(weight);
    return font;
}

void Appearance::apply()
{
    if (!m_applied) {
        // The platform's own palette is what "follow the system" means; keep it before replacing it.
        m_systemPalette = QApplication::palette();
        // Fusion draws every control from the palette, so a forced scheme reaches all of them.
        QApplication::setStyle(new FusionStyle);
        m_applied = true;
    }
    m_current = AppAppearance::fromPreferences(*m_store);
    QApplication::setPalette(palette(m_current, m_systemPalette));
    Q_EMIT changed();
}

void Appearance::refresh()
{
    m_store->sync();
    const AppAppearance now = AppAppearance::fromPreferences(*m_store);
    const bool animations = animationsAllowed();
    const bool translucency = translucencyAllowed();
    const bool lookChanged = now != m_current;
    if (!lookChanged && animations == m_animations && translucency == m_translucency) {
        return;
    }
    m_animations = animations;
    m_translucency = translucency;
    if (lookChanged && m_applied) {
        apply();
        return;
    }
    m_current = now;
    Q_EMIT changed();
}

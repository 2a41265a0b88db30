#include "preferences/AppAppearance.h"

#include "preferences/AppPreferences.h"

namespace {

struct AccentColors
{
    QLatin1StringView name;
    QRgb light;
    QRgb dark;
};

// The system palette's accents, in its light and dark variants.
constexpr AccentColors blue{QLatin1StringView("blue"), 0xFF007AFF, 0xFF0A84FF};
constexpr AccentColors others[] = {
    {QLatin1StringView("purple"), 0xFFAF52DE, 0xFFBF5AF2},
    {QLatin1StringView("green"), 0xFF34C759, 0xFF30D158},
    {QLatin1StringView("orange"), 0xFFFF9500, 0xFFFF9F0A},
};

const AccentColors &accentColors(const QString &name)
{
    for (const AccentColors &colors : others) {
        if (name == colors.name) {
            return colors;
        }
    }
    return blue;
}

} // namespace

AppAppearance AppAppearance::resolve(const QString &theme, const QString &accentName)
{
    AppAppearance appearance;
    if (theme == QLatin1StringView("dark")) {
        appearance.colorScheme = ColorScheme::Dark;
    } else if (theme == QLatin1StringView("light")) {
        appearance.colorScheme = ColorScheme::Light;
    }
    const AccentColors &colors = accentColors(accentName);
    appearance.accent = QColor::fromRgb(colors.light);
    appearance.darkAccent = QColor::fromRgb(colors.dark);
    return appearance;
}

AppAppearance AppAppearance::fromPreferences(const QSettings &store)
{
    return resolve(AppPreferences::read(store, AppPreferences::appearanceTheme),
                   AppPreferences::read(store, AppPreferences::appearanceAccent));
}

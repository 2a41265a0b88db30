#pragma once

#include <QColor>
#include <QString>

class QSettings;

/**
 * What the appearance preferences ask of a window: a colour scheme to force, if any, and the
 * accent colour. Unknown values fall back to the system's scheme and to blue, so a preference
 * written by a newer version never leaves the window without a look.
 */
struct AppAppearance
{
    enum class ColorScheme { System, Light, Dark };

    ColorScheme colorScheme = ColorScheme::System;
    /** The accent on a light background. */
    QColor accent;
    /** The same accent as the system shows it on a dark background. */
    QColor darkAccent;

    /** The appearance for the values of "appearanceTheme" and "appearanceAccent". */
    static AppAppearance resolve(const QString &theme, const QString &accentName);
    /** The appearance the store's preferences ask for now. */
    static AppAppearance fromPreferences(const QSettings &store);

    /** The accent for a window currently drawn with a dark (true) or light (false) scheme. */
    QColor accentFor(bool darkScheme) const { return darkScheme ? darkAccent : accent; }

    friend bool operator==(const AppAppearance &, const AppAppearance &) = default;
};

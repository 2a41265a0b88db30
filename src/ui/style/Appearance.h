#pragma once

#include "preferences/AppAppearance.h"

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPalette>

#include <memory>

class QSettings;

/**
 * The look every window shares: the colour scheme and accent the user chose, and whether motion and
 * translucency are welcome. The answers combine the preferences with what the host's accessibility
 * settings ask for; they are read at each call, so a changed preference shows at the next paint.
 */
class Appearance : public QObject
{
    Q_OBJECT

public:
    static Appearance &instance();

    /** Motion runs only when the user wants it and the system does not ask to reduce it. */
    static bool animationsAllowed(bool animationsPreference, bool reduceMotion);
    /** See-through surfaces only when the user wants them and the system does not ask for opaque ones. */
    static bool translucencyAllowed(bool glassPreference, bool reduceTransparency);
    /** Whether a palette draws dark text on light ground (false) or the reverse (true). */
    static bool isDark(const QPalette &palette);
    /** The palette for a scheme, with the accent on selection and links; `system` is used for System. */
    static QPalette palette(const AppAppearance &appearance, const QPalette &system);

    bool animationsAllowed() const;
    bool translucencyAllowed() const;
    /** The accent colour as the current palette shows it. */
    QColor accent() const;
    /** The system font in `points` of the mac's point, which is one logical pixel. */
    static QFont font(qreal points, QFont::Weight weight = QFont::Normal);

    /**
     * Gives the whole application the chosen scheme and accent, so the main window, its dialogs and
     * its menus all follow; refresh() keeps it in step with later changes.
     */
    void apply();
    /** Reads the preferences again; re-applies and announces when the look changed. */
    void refresh();

Q_SIGNALS:
    /** The scheme, accent, motion or translucency answer may have changed: repaint. */
    void changed();

private:
    Appearance();

    std::unique_ptr<QSettings> m_store;
    QPalette m_systemPalette;
    bool m_applied = false;
    AppAppearance m_current;
    bool m_animations = true;
    bool m_translucency = true;
};

#pragma once

#include <QFont>
#include <QString>

/** Every text of the window is Chinese; these answer whether the machine can show it, and in which font. */
namespace ChineseFont {

/**
 * Starts the question `family` answers on a thread of its own. Asked before the QApplication is made,
 * the font configuration is read while the application connects to the display, not after it.
 */
void askEarly();

/** A font family that draws Simplified Chinese, or an empty string when the machine has none. */
QString family();

/**
 * Says so in the global log (and on standard error) when no installed font covers Chinese, so a
 * window of empty boxes comes with its explanation. Returns whether a font was found.
 */
bool check();

/** Makes the application's font draw Chinese in the Simplified family; before the first widget. */
void install();

/** The system's monospaced font, drawing Chinese in the Simplified family too. */
QFont monospaced();

} // namespace ChineseFont

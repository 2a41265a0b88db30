#pragma once

#include <QString>

/** Every text of the window is Chinese; these answer whether the machine can show it. */
namespace ChineseFont {

/** A font family that covers Simplified Chinese, or an empty string when the machine has none. */
QString family();

/**
 * Says so in the global log (and on standard error) when no installed font covers Chinese, so a
 * window of empty boxes comes with its explanation. Returns whether a font was found.
 */
bool check();

} // namespace ChineseFont

#pragma once

class QTranslator;

/**
 * Qt's own texts in Chinese: the standard buttons of alerts ("确定", "取消"), the file dialogs, and
 * the network and socket errors Qt describes, so that nothing Qt draws in the window speaks English.
 */
namespace QtTranslations {

/**
 * Loads Qt's Chinese catalogue from Qt's translations folder and installs it for the application,
 * which owns it from then on. Returns it, or nullptr (after a WARN line in the global log naming the
 * file) when the catalogue is missing or unreadable.
 */
QTranslator *installChinese();

} // namespace QtTranslations

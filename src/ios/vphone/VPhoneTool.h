#pragma once

#include <QString>
#include <QUrl>

/**
 * Where the outside phone tool vphone-cli is expected, and the addresses of its own project. Corvane
 * neither ships nor starts it; it only looks whether the user has put it in place.
 */
namespace VPhoneTool {

/** The tool's bundle: "vphone-engine/vphone-cli.app" in Corvane's folder. */
QString bundlePath();
/** The folder the user puts the tool in. */
QString folder();
/** Whether something is at the bundle's path now. */
bool found();
/** Opens the tool's folder in the file browser, creating it first so there is a place to put the tool. */
bool openFolder();

/** A shell line that enters the tool's program folder on the Mac, ready to paste into Terminal. */
QString startCommand();
QUrl projectPage();
QUrl releasesPage();

} // namespace VPhoneTool

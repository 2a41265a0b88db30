#pragma once

class QString;
class QUrl;
class QWidget;

/**
 * Folders and web pages opened with the desktop's own programs. Where the desktop has none for one (a
 * Linux machine without a file manager or a browser set up), the click does not just do nothing: an
 * alert over `parent` says where to find it by hand, and the global log says what could not be opened.
 */
namespace DesktopOpen {

/** Opens `url`: a web page in the browser, a local file or application as the desktop chooses. */
void url(QWidget *parent, const QUrl &url);

/** Shows `folder` in the file browser, made first when it does not exist yet. */
void folder(QWidget *parent, const QString &folder);

} // namespace DesktopOpen

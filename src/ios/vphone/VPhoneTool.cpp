#include "ios/vphone/VPhoneTool.h"

#include "platform/Host.h"

#include <QFileInfo>

namespace VPhoneTool {

QString bundlePath()
{
    return folder() + QStringLiteral("/vphone-cli.app");
}

QString folder()
{
    return Host::vphoneRoot() + QStringLiteral("/vphone-engine");
}

bool found()
{
    return QFileInfo::exists(bundlePath());
}

bool openFolder()
{
    // A folder that does not exist cannot be shown; an empty one invites the user to put the tool there.
    return Host::current().revealFolder(folder());
}

QString startCommand()
{
    // One backslash before the space, so the line can be pasted into a shell as it is.
    return QStringLiteral(
        "cd ~/Library/Application\\ Support/Corvane/vphone-engine/vphone-cli.app/Contents/MacOS");
}

QUrl projectPage()
{
    return QUrl(QStringLiteral("https://github.com/Lakr233/vphone-cli"));
}

QUrl releasesPage()
{
    return QUrl(QStringLiteral("https://github.com/Lakr233/vphone-cli/releases"));
}

} // namespace VPhoneTool

#include "ui/style/DesktopOpen.h"

#include "platform/Host.h"
#include "services/AppLog.h"
#include "ui/style/Alert.h"

#include <QDir>
#include <QUrl>

namespace DesktopOpen {

namespace {

/** `kind` is what was asked for ("网页", "文件", "文件夹"), `place` where it is. */
void tellUnopened(QWidget *parent, const QString &kind, const QString &place)
{
    AppLog::warn(QStringLiteral("应用"), QStringLiteral("无法打开") + kind + u' ' + place);
    Alert::open(parent, QStringLiteral("无法打开") + kind,
                QStringLiteral("系统没有可以打开它的程序，请手动打开：\n") + place,
                {{QStringLiteral("知道了"), QMessageBox::AcceptRole, {}}});
}

} // namespace

void url(QWidget *parent, const QUrl &url)
{
    if (!Host::current().openUrl(url)) {
        if (url.isLocalFile()) {
            tellUnopened(parent, QStringLiteral("文件"), QDir::toNativeSeparators(url.toLocalFile()));
        } else {
            tellUnopened(parent, QStringLiteral("网页"), url.toString());
        }
    }
}

void folder(QWidget *parent, const QString &folder)
{
    if (!Host::current().revealFolder(folder)) {
        tellUnopened(parent, QStringLiteral("文件夹"), QDir::toNativeSeparators(folder));
    }
}

} // namespace DesktopOpen

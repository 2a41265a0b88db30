#include "ui/style/ChineseFont.h"

#include "services/AppLog.h"

#include <QFontDatabase>
#include <QTextStream>

namespace ChineseFont {

QString family()
{
    const QStringList families = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    return families.isEmpty() ? QString() : families.first();
}

bool check()
{
    if (!family().isEmpty()) {
        return true;
    }
    const QString message =
        QStringLiteral("未找到中文字体，界面文字可能无法显示。请安装中文字体（Debian：fonts-noto-cjk）。");
    AppLog::warn(QStringLiteral("应用"), message);
    QTextStream(stderr) << message << '\n';
    return false;
}

} // namespace ChineseFont

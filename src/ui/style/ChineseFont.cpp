#include "ui/style/ChineseFont.h"

#include "platform/Host.h"
#include "services/AppLog.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QTextStream>
#include <QtConcurrent>

namespace ChineseFont {

namespace {

QFuture<QString> &simplifiedFamily()
{
    static QFuture<QString> answer = QtConcurrent::run(&Host::simplifiedChineseFamily);
    return answer;
}

/** `font` with the Simplified Chinese family behind its own, for the characters its own lacks. */
QFont withChinese(QFont font)
{
    const QString chinese = family();
    // A list skips names that are only aliases ("Sans Serif"), so the font's own family goes in resolved.
    const QString own = QFontInfo(font).family();
    if (chinese.isEmpty() || own == chinese) {
        return font;
    }
    font.setFamilies({own, chinese});
    return font;
}

} // namespace

void askEarly()
{
    simplifiedFamily();
}

QString family()
{
    return simplifiedFamily().result();
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

void install()
{
    QApplication::setFont(withChinese(QApplication::font()));
}

QFont monospaced()
{
    return withChinese(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

} // namespace ChineseFont

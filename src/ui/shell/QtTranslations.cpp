#include "ui/shell/QtTranslations.h"

#include "services/AppLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace QtTranslations {

QTranslator *installChinese()
{
    // qtbase covers every Qt module the program uses (Core, Gui, Widgets, Network).
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QString name = QStringLiteral("qtbase_zh_CN");
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(name, folder) || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        AppLog::warn(QStringLiteral("应用"),
                     QStringLiteral("无法载入 Qt 的中文翻译 %1：系统对话框和部分错误信息会显示英文。")
                         .arg(QDir(folder).filePath(name + QStringLiteral(".qm"))));
        return nullptr;
    }
    return translator;
}

} // namespace QtTranslations

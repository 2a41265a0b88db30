// The running window speaks Chinese: every button and window title the user can see on every page,
// and in the dialogs Qt itself draws (alerts with a standard button, the About box, file dialogs),
// with Qt's own texts translated as the program loads them at start.
#include "ShellFixture.h"
#include "Wait.h"
#include "services/Interaction.h"
#include "ui/shell/CorvaneApp.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/PageArea.h"
#include "ui/shell/QtTranslations.h"
#include "ui/shell/Tabs.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// Names are not words to translate: the guests' tabs, the program and the distributions' links.
const QStringList names{
    QStringLiteral("Android"),      QStringLiteral("iPhone"),         QStringLiteral("Windows"),
    QStringLiteral("Linux"),        QStringLiteral("iPhone Beta"),    QStringLiteral("Corvane Beta"),
    QStringLiteral("Ubuntu ARM64"), QStringLiteral("Fedora aarch64"), QStringLiteral("Debian arm64")};

/** Text made only of ASCII with at least one Latin letter, such as "OK" or "Cancel". */
bool english(QString text)
{
    static const QRegularExpression ascii(QStringLiteral("^[\\x{0}-\\x{7f}]*[A-Za-z][\\x{0}-\\x{7f}]*$"));
    text = text.remove(u'&').trimmed();
    return !names.contains(text) && ascii.match(text).hasMatch();
}

/** "where: text" for each visible button, label (in dialogs) and the window's own title in English. */
QStringList englishIn(const QWidget &window, const QString &where, bool labels)
{
    QStringList found;
    if (english(window.windowTitle())) {
        found.append(where + QStringLiteral(" title: ") + window.windowTitle());
    }
    for (const QWidget *widget : window.findChildren<QWidget *>()) {
        const auto *button = qobject_cast<const QAbstractButton *>(widget);
        const auto *label = labels ? qobject_cast<const QLabel *>(widget) : nullptr;
        const QString text = button ? button->text() : label ? label->text() : QString();
        if (widget->isVisibleTo(&window) && english(text)) {
            found.append(where + (button ? QStringLiteral(" button: ") : QStringLiteral(" label: ")) + text);
        }
    }
    return found;
}

class ChineseWindowTest : public ShellTest
{
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        // As the program does at start, before any widget exists.
        translator.reset(QtTranslations::installChinese());
    }

    void TearDown() override
    {
        ShellTest::TearDown();
        if (translator) {
            QCoreApplication::removeTranslator(translator.get());
        }
    }

    /** Runs `open`, which shows a dialog and returns once it is closed; meanwhile lists the English in
     * the dialog and closes it. */
    static QStringList inDialog(const QString &where, const std::function<void()> &open)
    {
        QStringList found;
        bool seen = false;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget *top : QApplication::topLevelWidgets()) {
                auto *dialog = qobject_cast<QDialog *>(top);
                if (dialog && dialog->isVisible() && !seen) {
                    seen = true;
                    found = englishIn(*dialog, where, true);
                    dialog->reject();
                }
            }
        });
        poll.start();
        open();
        poll.stop();
        EXPECT_TRUE(seen) << where.toStdString() << " never showed";
        return found;
    }

    std::unique_ptr<QTranslator> translator;
};

TEST_F(ChineseWindowTest, NoPageNorADialogQtDrawsShowsAnEnglishButtonOrTitle)
{
    ASSERT_NE(translator, nullptr) << "Qt's Chinese catalogue is missing (Debian: qt6-translations-l10n)";
    AppPreferences::write(*preferences, AppPreferences::experimentalVPhoneEnabled, true);
    AppPreferences::write(*preferences, AppPreferences::developerModeEnabled, true);
    MainWindow &window = *launch().window();
    QStringList found;
    QSet<QString> texts;
    for (const Tabs::Tab &tab : Tabs::tabs(true)) {
        window.selectTab(tab.identifier);
        waitUntil([&] { return !window.pageArea()->isMoving(); }, 5000); // the page slides in
        found += englishIn(window, tab.identifier, false);
        for (const QAbstractButton *button : window.findChildren<QAbstractButton *>()) {
            if (button->isVisibleTo(&window)) {
                texts.insert(button->text());
            }
        }
    }
    // The walk reached the pages.
    for (const char *text : {"Android", "添加安卓设备", "选择本地 ISO", "选择 Linux ISO"}) {
        EXPECT_TRUE(texts.contains(QString::fromUtf8(text))) << text;
    }

    // The dialogs Qt draws: an alert with the platform's default single button, as the quit guard's refusals
    // are.
    found += inDialog(QStringLiteral("refusal"), [] {
        await(
            Interaction::current()->ask(QStringLiteral("操作尚未完成"), QStringLiteral("请稍后退出。"), {}));
    });

    QAction *about = nullptr;
    for (QAction *menu : window.menuBar()->actions()) {
        for (QAction *action : menu->menu()->actions()) {
            about = action->text() == QStringLiteral("关于 Corvane Beta") ? action : about;
        }
    }
    ASSERT_NE(about, nullptr);
    found += inDialog(QStringLiteral("about"), [about] { about->trigger(); });

    found += inDialog(QStringLiteral("open"), [] {
        await(Interaction::current()->chooseFile(QStringLiteral("选择 Windows ISO"),
                                                 {QStringLiteral("ISO 镜像 (*.iso)")}));
    });
    found += inDialog(QStringLiteral("save"), [] {
        await(Interaction::current()->chooseSaveLocation(QStringLiteral("导出日志"),
                                                         QDir::homePath() + QStringLiteral("/global.log"),
                                                         {QStringLiteral("日志 (*.log)")}));
    });

    found.removeDuplicates();
    EXPECT_EQ(found, QStringList());
}

} // namespace

#include "ui/shell/MainWindow.h"

#include "platform/Host.h"
#include "preferences/AppPreferences.h"
#include "services/AppLog.h"
#include "services/Tasks.h"
#include "ui/shell/AppDelegate.h"
#include "ui/shell/AppTopTabBar.h"
#include "ui/shell/PageArea.h"
#include "ui/shell/QuitProgress.h"
#include "ui/shell/SidebarDrawer.h"
#include "ui/style/Appearance.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <QVBoxLayout>

#include <functional>

namespace {

const auto mainWindowTitle = QStringLiteral("Corvane Beta");

QCoro::Task<> guardTermination(AppDelegate *delegate, std::function<void(bool)> decided)
{
    const bool mayQuit = co_await delegate->requestTermination();
    decided(mayQuit);
}

} // namespace

MainWindow::MainWindow(QSettings &preferences, AppDelegate &delegate, QWidget *parent)
    : QMainWindow(parent)
    , m_preferences(preferences)
    , m_delegate(delegate)
    , m_tabBar(new AppTopTabBar)
    , m_pages(new PageArea)
    , m_drawer(new SidebarDrawer)
{
    setWindowTitle(mainWindowTitle);
    resize(1040, 760);
    auto *central = new QWidget;
    auto *row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto *main = new QWidget;
    auto *column = new QVBoxLayout(main);
    column->setContentsMargins(16, 12, 16, 16);
    column->setSpacing(12);
    column->addWidget(m_tabBar, 0, Qt::AlignHCenter);
    column->addWidget(m_pages, 1);
    row->addWidget(main, 1);
    row->addWidget(m_drawer);
    setCentralWidget(central);
    connect(m_tabBar, &AppTopTabBar::selectRequested, this, &MainWindow::selectTab);
    connect(&m_delegate, &AppDelegate::quittingChanged, this, &MainWindow::showQuitting);
    connect(&m_delegate, &AppDelegate::stoppingGuestChanged, this, [this] {
        if (m_quitProgress) {
            m_quitProgress->setGuest(m_delegate.stoppingGuest());
        }
    });
    buildMenus();
    applyPreferences();
}

void MainWindow::buildMenus()
{
    QMenu *application = menuBar()->addMenu(QStringLiteral("Corvane Beta"));
    QAction *settings = application->addAction(QStringLiteral("设置…"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings->setMenuRole(QAction::PreferencesRole);
    connect(settings, &QAction::triggered, this, [this] { selectTab(QStringLiteral("settings")); });
    QAction *about = application->addAction(QStringLiteral("关于 Corvane Beta"));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, [this] {
        QMessageBox::about(this, QStringLiteral("关于 Corvane Beta"),
                           QStringLiteral("<b>Corvane Beta</b><br>1.2 Beta<br><br>v1.2 内部测试版本"));
    });
    // Quitting from the menu is a close of the main window, so it passes the same guard.
    QAction *quit = application->addAction(QStringLiteral("退出 Corvane Beta"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, this, &QWidget::close);
}

QString MainWindow::selectedTab() const
{
    return AppPreferences::read(m_preferences, AppPreferences::selectedVMTab);
}

bool MainWindow::animationsAllowed() const
{
    return Appearance::animationsAllowed(
        AppPreferences::read(m_preferences, AppPreferences::appearanceAnimations),
        Host::current().reduceMotion());
}

void MainWindow::addPage(const QString &identifier, QWidget *page)
{
    m_pages->addPage(identifier, page);
    showTab(selectedTab(), false);
}

void MainWindow::addPage(const QString &identifier, std::function<QWidget *()> make)
{
    m_pages->addPage(identifier, std::move(make));
    showTab(selectedTab(), false);
}

void MainWindow::selectTab(const QString &identifier)
{
    if (identifier == selectedTab()) {
        return;
    }
    // Shown first: storing the choice makes the window re-read its preferences, which must find the
    // tab already on its way rather than jump to it.
    showTab(identifier, animationsAllowed());
    AppPreferences::write(m_preferences, AppPreferences::selectedVMTab, identifier);
}

void MainWindow::showTab(const QString &identifier, bool animated)
{
    m_tabBar->setSelected(identifier, animated);
    m_pages->setSelected(identifier, m_tabBar->identifiers(), animated);
}

void MainWindow::setSidebarFactory(std::function<QWidget *()> factory)
{
    m_sidebarFactory = std::move(factory);
    showSidebar(false);
}

void MainWindow::showSidebar(bool animated)
{
    const bool developer = AppPreferences::read(m_preferences, AppPreferences::developerModeEnabled);
    if (developer && !m_drawer->isOpen() && m_sidebarFactory) {
        m_drawer->open(m_sidebarFactory, animated);
    } else if (!developer) {
        m_drawer->close(animated);
    }
}

void MainWindow::applyPreferences()
{
    const bool showsBeta = AppPreferences::read(m_preferences, AppPreferences::experimentalVPhoneEnabled);
    const QStringList shown = m_tabBar->identifiers();
    if (shown.isEmpty() || shown.contains(QStringLiteral("vphone-beta")) != showsBeta) {
        m_tabBar->setTabs(showsBeta);
    }
    const bool developer = AppPreferences::read(m_preferences, AppPreferences::developerModeEnabled);
    setMinimumSize(developer ? 1370 : 980, 760);
    showSidebar(isVisible() && animationsAllowed());
    if (m_tabBar->selected() != selectedTab()) {
        showTab(selectedTab(), false);
    } else if (shown != m_tabBar->identifiers()) {
        m_pages->setOrder(m_tabBar->identifiers());
    }
}

void MainWindow::showQuitting()
{
    const bool quitting = m_delegate.quitting();
    // The tabs and pages, not the developer's log: it goes on showing the stops.
    m_tabBar->setEnabled(!quitting);
    m_pages->setEnabled(!quitting);
    if (quitting && !m_quitProgress) {
        m_quitProgress = new QuitProgress(this);
        m_quitProgress->setAttribute(Qt::WA_DeleteOnClose);
        m_quitProgress->setGuest(m_delegate.stoppingGuest());
        m_quitProgress->open();
    } else if (!quitting && m_quitProgress) {
        m_quitProgress->hide();
        m_quitProgress->deleteLater();
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_terminationAllowed) {
        event->accept();
        return;
    }
    // The guard may need to ask and to stop guests, which takes time: decide outside the event.
    event->ignore();
    if (m_terminationPending) {
        // While the guard asks, its question is in front; while it stops guests, say that it does.
        if (m_quitProgress) {
            AppLog::info(QStringLiteral("应用"), QStringLiteral("正在退出，已忽略重复的退出请求"));
            m_quitProgress->remind();
        }
        return;
    }
    m_terminationPending = true;
    QPointer<MainWindow> self(this);
    startTask(guardTermination(&m_delegate,
                               [self](bool mayQuit) {
                                   if (!self) {
                                       return;
                                   }
                                   self->m_terminationPending = false;
                                   if (mayQuit) {
                                       self->m_terminationAllowed = true;
                                       // The progress refuses to be closed, and a window that refuses
                                       // makes the application's quit give up: it goes first.
                                       if (self->m_quitProgress) {
                                           self->m_quitProgress->hide();
                                       }
                                       self->close();
                                       QApplication::quit();
                                   }
                               }),
              QStringLiteral("应用"));
}

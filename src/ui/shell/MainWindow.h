#pragma once

#include <QMainWindow>
#include <QPointer>

#include <functional>

class AppDelegate;
class AppTopTabBar;
class PageArea;
class QuitProgress;
class QSettings;
class SidebarDrawer;

/**
 * The main window, titled "Corvane Beta": the tab bar over the page area, and at the trailing edge the
 * developer's live log while developer mode is on. A close request goes through the quit guard, which
 * may refuse it, allow it, or stop the guests first.
 */
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(QSettings &preferences, AppDelegate &delegate, QWidget *parent = nullptr);

    void addPage(const QString &identifier, QWidget *page);
    /** A page made when it is first needed, or soon after the window's first frame. */
    void addPage(const QString &identifier, std::function<QWidget *()> make);
    /** Selects a tab and stores the choice; animated when the user's settings allow it. */
    void selectTab(const QString &identifier);
    QString selectedTab() const;
    AppTopTabBar *tabBar() const { return m_tabBar; }
    PageArea *pageArea() const { return m_pages; }
    /** Makes the developer sidebar; it is made anew each time developer mode turns on. */
    void setSidebarFactory(std::function<QWidget *()> factory);
    SidebarDrawer *sidebarDrawer() const { return m_drawer; }
    /** Re-reads the tab list, the selection and the minimum size after a preference changed. */
    void applyPreferences();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    /** While the guests stop for the quit the window takes no new work and says what it waits for. */
    void showQuitting();
    void showTab(const QString &identifier, bool animated);
    void showSidebar(bool animated);
    bool animationsAllowed() const;

    QSettings &m_preferences;
    AppDelegate &m_delegate;
    AppTopTabBar *m_tabBar;
    PageArea *m_pages;
    SidebarDrawer *m_drawer;
    QPointer<QuitProgress> m_quitProgress;
    std::function<QWidget *()> m_sidebarFactory;
    bool m_terminationAllowed = false;
    bool m_terminationPending = false;
};

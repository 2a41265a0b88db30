#pragma once

#include <QWidget>

class GlobalLogModel;
class LogFilterField;
class LogTextView;
class QLabel;
class QTimer;
class QPushButton;
class QToolButton;
class ToggleSwitch;

/**
 * The narrow live log beside the main window's pages while developer mode is on: the global log's tail
 * under its own filter, following the newest line unless the user turns that off. Owns its own log
 * model, which reloads after every new entry.
 */
class DeveloperLogSidebar : public QWidget
{
    Q_OBJECT

public:
    /** The width the window gives the sidebar, behind a divider. */
    static constexpr int preferredWidth = 390;

    explicit DeveloperLogSidebar(QWidget *parent = nullptr);

    GlobalLogModel &model() const { return *m_model; }
    bool followLatest() const { return m_followLatest; }
    void setFollowLatest(bool follow);

    LogTextView *logText() const { return m_text; }
    LogFilterField *filterField() const { return m_filter; }
    ToggleSwitch *followSwitch() const { return m_follow; }
    QToolButton *copyButton() const { return m_copy; }
    QToolButton *clearFilterButton() const { return m_clearFilter; }
    QPushButton *refreshButton() const { return m_refresh; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildHeader();
    QWidget *buildFilter();
    QWidget *buildFooter();
    void showText();
    void showQuery();

    GlobalLogModel *m_model;
    bool m_followLatest = true;
    ToggleSwitch *m_follow = nullptr;
    QToolButton *m_copy = nullptr;
    LogFilterField *m_filter = nullptr;
    QToolButton *m_clearFilter = nullptr;
    LogTextView *m_text;
    QTimer *m_filterSettle;
    QPushButton *m_refresh = nullptr;
};

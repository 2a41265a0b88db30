#pragma once

#include <QObject>
#include <QString>

#include <functional>

/** While developer mode is on, writes every left click in the main window to the global log. */
class InteractionLogMonitor : public QObject
{
    Q_OBJECT

public:
    explicit InteractionLogMonitor(QObject *parent = nullptr);
    ~InteractionLogMonitor() override;

    /** Starts listening; `section` names where the user is at the moment of each click. */
    void start(std::function<QString()> section);
    void stop();
    bool isRunning() const { return m_installed; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<QString()> m_section;
    bool m_installed = false;
};

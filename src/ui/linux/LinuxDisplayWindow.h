#pragma once

#include <QPointer>
#include <QWidget>

class LinuxDisplay;
class LinuxModel;
class ScreenPlaceholder;

/**
 * The window "Linux" that shows the machine's screen larger than the page can. While it is open the
 * page shows only a note, so one view of the machine is on screen at a time.
 */
class LinuxDisplayWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int margin = 10;

    explicit LinuxDisplayWindow(LinuxModel &model, QWidget *parent = nullptr);
    ~LinuxDisplayWindow() override;

    LinuxDisplay *display() const { return m_display; }
    ScreenPlaceholder *placeholder() const { return m_placeholder; }

    QSize sizeHint() const override;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void showState();
    void setShown(bool shown);

    QPointer<LinuxModel> m_model;
    LinuxDisplay *m_display;
    ScreenPlaceholder *m_placeholder;
};

#pragma once

#include <QPointer>
#include <QWidget>

class ErrorAlert;
class GlobalLogModel;
class LogFilterField;
class LogTextView;
class PillActionButton;
class QLabel;
class QTimer;
class QMessageBox;

/**
 * The whole global log: its tail under the user's filter, with refresh, copy, export and clear, and the
 * path of the file it comes from. Owns its own log model, which reloads after every new entry.
 */
class GlobalLogView : public QWidget
{
    Q_OBJECT

public:
    explicit GlobalLogView(QWidget *parent = nullptr);

    GlobalLogModel &model() const { return *m_model; }
    LogTextView *logText() const { return m_text; }
    LogFilterField *filterField() const { return m_filter; }
    PillActionButton *refreshButton() const { return m_refresh; }
    PillActionButton *copyButton() const { return m_copy; }
    PillActionButton *exportButton() const { return m_export; }
    PillActionButton *clearButton() const { return m_clear; }
    QLabel *pathLabel() const { return m_path; }
    /** The clear confirmation while it is open, else nullptr. */
    QMessageBox *clearConfirmation() const;
    /** The alert about a failed export while it is open, else nullptr. */
    QMessageBox *errorAlert() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildHeader();
    QLayout *buildButtons();
    void showText();
    void onExportClicked();
    void onClearClicked();

    GlobalLogModel *m_model;
    PillActionButton *m_refresh = nullptr;
    PillActionButton *m_copy = nullptr;
    PillActionButton *m_export = nullptr;
    PillActionButton *m_clear = nullptr;
    LogFilterField *m_filter;
    LogTextView *m_text;
    QTimer *m_filterSettle;
    QLabel *m_path;
    QPointer<QMessageBox> m_clearConfirmation;
    ErrorAlert *m_errorAlert = nullptr;
    bool m_shownBefore = false;
};

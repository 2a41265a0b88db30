#pragma once

#include <QDialog>

class LogTextView;
class QLabel;

/** A device's run log as it was when the sheet opened: its name over the selectable text. */
class DeviceLogSheet : public QDialog
{
    Q_OBJECT

public:
    static constexpr int sheetWidth = 800;
    static constexpr int padding = 24;

    DeviceLogSheet(const QString &deviceName, const QString &logText, QWidget *parent = nullptr);

    QLabel *heading() const { return m_heading; }
    LogTextView *logText() const { return m_text; }

private:
    QLabel *m_heading;
    LogTextView *m_text;
};

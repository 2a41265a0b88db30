#pragma once

#include <QDialog>

class GlobalLogView;

/** The global log over the window that opened it, at least 920 × 620. */
class GlobalLogSheet : public QDialog
{
    Q_OBJECT

public:
    static constexpr QSize minimumSheetSize{920, 620};

    explicit GlobalLogSheet(QWidget *parent = nullptr);

    GlobalLogView *view() const { return m_view; }

private:
    GlobalLogView *m_view;
};

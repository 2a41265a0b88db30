#pragma once

#include <QDialog>

class QLabel;

/**
 * What the main window shows while the guests are stopped for the quit: which guest it waits for. It
 * cannot be dismissed; it goes when the quit goes ahead or is called off.
 */
class QuitProgress : public QDialog
{
    Q_OBJECT

public:
    explicit QuitProgress(QWidget *parent);

    /** The guest being stopped now; empty between two. */
    void setGuest(const QString &name);
    /** Answers another request to quit: the quit is under way already. */
    void remind();

protected:
    void closeEvent(QCloseEvent *event) override;

public Q_SLOTS:
    void reject() override;

private:
    QLabel *m_stage;
    QLabel *m_note;
};

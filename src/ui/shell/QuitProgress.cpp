#include "ui/shell/QuitProgress.h"

#include "platform/Host.h"
#include "ui/style/Controls.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

QuitProgress::QuitProgress(QWidget *parent)
    : QDialog(parent)
    , m_stage(Controls::label())
    , m_note(new QLabel(QStringLiteral("正在退出，请等待设备停止。")))
{
    setWindowTitle(QStringLiteral("正在退出 Corvane Beta"));
    if (Host::sheetsAttachToWindow()) {
        setWindowFlag(Qt::Sheet);
    }
    setWindowModality(Qt::WindowModal);
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    auto *heading = Controls::paragraph(QStringLiteral("正在停止运行中的设备，停止后 Corvane Beta 将退出。"));
    auto *bar = new QProgressBar;
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    m_note->setForegroundRole(QPalette::PlaceholderText);
    m_note->hide();
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 20, 24, 20);
    column->setSpacing(10);
    column->addWidget(heading);
    column->addWidget(m_stage);
    column->addWidget(bar);
    column->addWidget(m_note);
    setMinimumWidth(380);
    setGuest(QString());
}

void QuitProgress::setGuest(const QString &name)
{
    m_stage->setText(name.isEmpty() ? QStringLiteral("正在停止设备…")
                                    : QStringLiteral("正在停止 ") + name + QStringLiteral("…"));
}

void QuitProgress::remind()
{
    m_note->show();
    raise();
    QApplication::beep();
}

void QuitProgress::closeEvent(QCloseEvent *event)
{
    event->ignore();
    remind();
}

// Escape must not hide the only sign that the application is on its way out.
void QuitProgress::reject()
{
    remind();
}

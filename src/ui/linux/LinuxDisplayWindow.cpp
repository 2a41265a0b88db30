#include "ui/linux/LinuxDisplayWindow.h"

#include "linux/LinuxModel.h"
#include "ui/linux/LinuxDisplay.h"
#include "ui/linux/ScreenPlaceholder.h"

#include <QCloseEvent>
#include <QVBoxLayout>

LinuxDisplayWindow::LinuxDisplayWindow(LinuxModel &model, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_model(&model)
    , m_display(new LinuxDisplay(model))
    , m_placeholder(new ScreenPlaceholder(QStringLiteral("Linux 尚未启动"),
                                          QStringLiteral("请先在主窗口启动 Linux，再打开独立窗口。"), false))
{
    setObjectName(QStringLiteral("linux-display"));
    setWindowTitle(QStringLiteral("Linux"));
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);
    m_display->setCornerRadius(10);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(margin, margin, margin, margin);
    column->addWidget(m_display);
    column->addWidget(m_placeholder);
    resize(sizeHint());
    connect(&model, &LinuxModel::machineChanged, this, &LinuxDisplayWindow::showState);
    showState();
}

LinuxDisplayWindow::~LinuxDisplayWindow()
{
    setShown(false);
}

QSize LinuxDisplayWindow::sizeHint() const
{
    return {1280, 820};
}

void LinuxDisplayWindow::showState()
{
    const bool machine = m_model && m_model->machine();
    m_display->setVisible(machine);
    m_placeholder->setVisible(!machine);
}

void LinuxDisplayWindow::setShown(bool shown)
{
    if (m_model) {
        m_model->setDisplayInSeparateWindow(shown);
    }
}

void LinuxDisplayWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    setShown(true);
}

void LinuxDisplayWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Minimising hides the window too, but it is still open: the screen stays with it.
    if (!event->spontaneous()) {
        setShown(false);
    }
}

void LinuxDisplayWindow::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        setShown(false);
    }
}

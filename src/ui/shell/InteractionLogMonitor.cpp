#include "ui/shell/InteractionLogMonitor.h"

#include "services/AppLog.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWindow>

namespace {
const auto mainWindowTitle = QStringLiteral("Corvane Beta");
}

InteractionLogMonitor::InteractionLogMonitor(QObject *parent)
    : QObject(parent)
{
}

InteractionLogMonitor::~InteractionLogMonitor()
{
    stop();
}

void InteractionLogMonitor::start(std::function<QString()> section)
{
    if (m_installed) {
        return;
    }
    m_section = std::move(section);
    QCoreApplication::instance()->installEventFilter(this);
    m_installed = true;
    AppLog::info(QStringLiteral("开发者模式"), QStringLiteral("交互日志监听已开启"));
}

void InteractionLogMonitor::stop()
{
    if (!m_installed) {
        return;
    }
    if (auto *app = QCoreApplication::instance()) {
        app->removeEventFilter(this);
    }
    m_installed = false;
    m_section = nullptr;
}

bool InteractionLogMonitor::eventFilter(QObject *watched, QEvent *event)
{
    // A click reaches its top-level window first and is then passed down to widgets; looking only at
    // the window's copy logs each click once.
    if (event->type() == QEvent::MouseButtonRelease && watched->isWindowType()) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const auto *window = static_cast<QWindow *>(watched);
        if (mouse->button() == Qt::LeftButton && window->title() == mainWindowTitle) {
            AppLog::info(QStringLiteral("交互"), QStringLiteral("点击 · ") + (m_section ? m_section() : QString()));
        }
    }
    return false;
}

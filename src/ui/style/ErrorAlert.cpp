#include "ui/style/ErrorAlert.h"

#include <QEvent>

ErrorAlert::ErrorAlert(QWidget *page, QString title, std::function<QString()> error,
                       std::function<void()> clear, QList<Alert::Button> more)
    : QObject(page)
    , m_page(page)
    , m_title(std::move(title))
    , m_error(std::move(error))
    , m_clear(std::move(clear))
    , m_more(std::move(more))
{
    page->installEventFilter(this);
}

void ErrorAlert::refresh()
{
    const QString error = m_error();
    if (error.isEmpty()) {
        if (m_box) {
            m_box->close();
        }
        return;
    }
    if (!m_page->isVisible()) {
        return;
    }
    if (m_box && m_box->isVisible()) {
        m_box->setInformativeText(error);
        return;
    }
    QList<Alert::Button> buttons{{QStringLiteral("知道了"), QMessageBox::AcceptRole, {}}};
    buttons.append(m_more);
    m_box = Alert::open(m_page, m_title, error, buttons);
    // However the alert goes away, the error has been seen.
    connect(m_box, &QDialog::finished, this, [this] { m_clear(); });
}

bool ErrorAlert::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_page && event->type() == QEvent::Show) {
        refresh();
    }
    return QObject::eventFilter(watched, event);
}

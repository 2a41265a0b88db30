#pragma once

#include "ui/style/Alert.h"

#include <QObject>
#include <QPointer>

#include <functional>

/**
 * Tells a model's error in an alert over its page, while the page is shown: "知道了" (or any other
 * way of dismissing the alert) clears the error, a newer error replaces the text of the open alert,
 * and an error cleared elsewhere closes it. An error set while the page is hidden is told once it
 * shows.
 */
class ErrorAlert : public QObject
{
    Q_OBJECT

public:
    /**
     * Watches `model`'s `error` for `page` (which owns the returned object). `more` are buttons after
     * "知道了"; the error is already cleared when their actions run.
     */
    template<typename Model>
    static ErrorAlert *watch(QWidget *page, Model &model, const QString &title,
                             const QList<Alert::Button> &more = {})
    {
        const QPointer<Model> observed(&model);
        auto *alert = new ErrorAlert(
            page, title, [observed] { return observed ? observed->error() : QString(); },
            [observed] {
                if (observed) {
                    observed->clearError();
                }
            },
            more);
        connect(&model, &Model::errorChanged, alert, &ErrorAlert::refresh);
        alert->refresh();
        return alert;
    }

    /** The open alert, or nullptr. */
    QMessageBox *box() const { return m_box; }

    /** Opens, updates or closes the alert to match the error. */
    void refresh();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    ErrorAlert(QWidget *page, QString title, std::function<QString()> error, std::function<void()> clear,
               QList<Alert::Button> more);

    QWidget *m_page;
    QString m_title;
    std::function<QString()> m_error;
    std::function<void()> m_clear;
    QList<Alert::Button> m_more;
    QPointer<QMessageBox> m_box;
};

#pragma once

#include <QHash>
#include <QStringList>
#include <QWidget>

class QVariantAnimation;

/**
 * Holds every page at once, so each keeps its state while hidden. The selected page is shown in place;
 * the others sit shifted by their distance in tabs, invisible and out of reach of input.
 */
class PageArea : public QWidget
{
    Q_OBJECT

public:
    explicit PageArea(QWidget *parent = nullptr);

    void addPage(const QString &identifier, QWidget *page);
    QWidget *page(const QString &identifier) const { return m_pages.value(identifier); }
    /** `order` is the current tab list; an identifier outside it shows no page at all. */
    void setSelected(const QString &identifier, const QStringList &order, bool animated);
    /** The page that is shown, or nullptr. */
    QWidget *visiblePage() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void layoutPages(double progress);

    QHash<QString, QWidget *> m_pages;
    QString m_selected;
    QString m_previous;
    QStringList m_order;
    QVariantAnimation *m_transition;
};

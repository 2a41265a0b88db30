#pragma once

#include <QGraphicsEffect>
#include <QHash>
#include <QStringList>
#include <QWidget>

class QVariantAnimation;

/** How a page is drawn while it arrives or leaves: faded and slightly scaled about its centre. */
class PageLookEffect : public QGraphicsEffect
{
    Q_OBJECT

public:
    using QGraphicsEffect::QGraphicsEffect;

    void setLook(double opacity, double scale);
    double opacity() const { return m_opacity; }
    double scale() const { return m_scale; }

protected:
    void draw(QPainter *painter) override;

private:
    double m_opacity = 1.0;
    double m_scale = 1.0;
};

/**
 * Holds every page at once, so each keeps its state while hidden. The selected page is shown in place;
 * the others sit shifted by their distance in tabs, slightly smaller, invisible and out of reach of
 * input.
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
    bool isMoving() const;
    /** A new tab list under the same selection; a page on its way keeps moving. */
    void setOrder(const QStringList &order);

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

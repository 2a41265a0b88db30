#pragma once

#include <QHash>
#include <QList>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

class PageSlide;
class QVariantAnimation;

/**
 * Holds every page at once, so each keeps its state while hidden. The selected page is shown in place;
 * the others are hidden and out of reach of input. A change of page slides: the arriving page comes in
 * from where it rests beside the leaving one (shifted by their distance in tabs), faded and slightly
 * smaller, while the leaving one goes the other way. The slide moves pictures of the two pages taken
 * as it begins, so no page is laid out or painted again until the arriving one takes its place.
 */
class PageArea : public QWidget
{
    Q_OBJECT

public:
    /** How one page is drawn on a frame of the slide. */
    struct Picture
    {
        QString identifier;
        QPixmap pixmap;
        double offset = 0;
        double opacity = 1;
        double scale = 1;
    };

    explicit PageArea(QWidget *parent = nullptr);

    void addPage(const QString &identifier, QWidget *page);
    QWidget *page(const QString &identifier) const { return m_pages.value(identifier); }
    /** `order` is the current tab list; an identifier outside it shows no page at all. */
    void setSelected(const QString &identifier, const QStringList &order, bool animated);
    /** The selected page, in place or on its way in; nullptr when no tab's page is selected. */
    QWidget *visiblePage() const;
    bool isMoving() const;
    /** A new tab list under the same selection; a page on its way keeps moving. */
    void setOrder(const QStringList &order);
    /** What the slide draws now, the arriving page last; empty at rest. */
    QList<Picture> pictures() const;
    /** The layer that draws the slide; hidden at rest. */
    QWidget *slide() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void takePictures();
    bool addPicture(const QString &identifier);
    void layoutPages(double progress);

    QHash<QString, QWidget *> m_pages;
    QString m_selected;
    QString m_previous;
    QStringList m_order;
    QVariantAnimation *m_transition;
    PageSlide *m_slide;
    /** Tells a picture taken late which slide it was for. */
    int m_generation = 0;
};

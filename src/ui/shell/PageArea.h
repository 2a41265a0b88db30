#pragma once

#include <QHash>
#include <QList>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>

class PageSlide;
class QTimer;
class QVariantAnimation;

/**
 * Holds every page at once, so each keeps its state while hidden. The selected page is shown in place;
 * the others are hidden and out of reach of input. A change of page slides: the arriving page comes in
 * from where it rests beside the leaving one (shifted by their distance in tabs), faded and slightly
 * smaller, while the leaving one goes the other way. The slide moves pictures of the two pages taken
 * as it begins, so no page is laid out or painted again until the arriving one takes its place.
 *
 * A page may be added as a recipe instead: it is made when it is first needed (selected, or asked
 * for), and otherwise after the window's first frame, one page per turn of the event loop, so that
 * the window appears without waiting for pages nobody looks at yet.
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
    void addPage(const QString &identifier, std::function<QWidget *()> make);
    /** The page, made now if it was a recipe not yet made. */
    QWidget *page(const QString &identifier);
    /** True while a page added as a recipe has not been made yet. */
    bool isDeferred(const QString &identifier) const { return m_recipes.contains(identifier); }
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
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void makeNextDeferred();
    void paintAhead();
    void paintAheadAgain();
    void takePictures();
    enum class Taken { Nothing, FromScreen, Painted };
    /** The slide's two pictures, each painted into its own memory. */
    enum Slot { leaving, arriving };
    Taken addPicture(const QString &identifier, int slot);
    QPixmap &canvas(const QSize &pixels, qreal ratio, int slot);
    void layoutPages(double progress);

    QHash<QString, QWidget *> m_pages;
    QHash<QString, std::function<QWidget *()>> m_recipes;
    bool m_makingDeferred = false;
    QStringList m_unlaid;
    /** Pages not painted yet, and the band of the first one to paint next. */
    QStringList m_unpainted;
    int m_nextBand = 0;
    QString m_selected;
    QString m_previous;
    QStringList m_order;
    QVariantAnimation *m_transition;
    PageSlide *m_slide;
    QTimer *m_resized;
    /** Tells a picture taken late which slide it was for. */
    int m_generation = 0;
    /** The pictures' memory, kept from slide to slide. */
    std::array<QPixmap, 2> m_canvases;
};

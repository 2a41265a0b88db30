#include "ui/shell/PageArea.h"

#include "ui/shell/Tabs.h"

#include <QBackingStore>
#include <QEasingCurve>
#include <QLayout>
#include <QPainter>
#include <QTimer>
#include <QVariantAnimation>
#include <QWindow>

#include <algorithm>

namespace {

// A page at rest elsewhere is drawn a little smaller; it grows to full size as it arrives.
constexpr double restingScale = 0.996;

/** A page that has never been shown has had no layout yet; its picture needs one. */
void layOut(QWidget *page)
{
    page->ensurePolished();
    if (page->layout()) {
        page->layout()->activate();
    }
    for (QWidget *child : page->findChildren<QWidget *>()) {
        if (child->layout() && !child->isWindow()) {
            child->layout()->activate();
        }
    }
}

/**
 * The page's place in the window's backing store, where a page at rest is already painted: copying it
 * from there costs far less than painting it again. Null where that picture is not to be had (a
 * hidden page, a window not on screen, another backing store).
 */
std::pair<const QImage *, QRect> shownArea(QWidget *page)
{
    QWidget *window = page->window();
    QBackingStore *store = window->backingStore();
    if (!page->isVisible() || !store || !window->windowHandle() || !window->windowHandle()->isExposed()) {
        return {};
    }
    const auto *screen = dynamic_cast<const QImage *>(store->paintDevice());
    if (!screen || screen->isNull()) {
        return {};
    }
    const qreal ratio = screen->devicePixelRatio();
    const QRect area(page->mapTo(window, QPoint()), page->size());
    const QRect pixels(QPoint(qRound(area.x() * ratio), qRound(area.y() * ratio)),
                       QSize(qRound(area.width() * ratio), qRound(area.height() * ratio)));
    if (!screen->rect().contains(pixels)) {
        return {};
    }
    return {screen, pixels};
}

} // namespace

/** Paints the two pictures of a slide over the hidden pages. */
class PageSlide : public QWidget
{
public:
    explicit PageSlide(QWidget *parent)
        : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }

    QList<PageArea::Picture> pictures;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF bounds(rect());
        for (const PageArea::Picture &picture : pictures) {
            painter.save();
            painter.setOpacity(picture.opacity);
            painter.translate(bounds.center() + QPointF(picture.offset, 0));
            painter.scale(picture.scale, picture.scale);
            painter.translate(-bounds.center());
            painter.drawPixmap(QPointF(0, 0), picture.pixmap);
            painter.restore();
        }
    }
};

PageArea::PageArea(QWidget *parent)
    : QWidget(parent)
    , m_transition(new QVariantAnimation(this))
    , m_slide(new PageSlide(this))
    , m_resized(new QTimer(this))
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.16, 1.0), QPointF(0.3, 1.0), QPointF(1.0, 1.0));
    m_transition->setEasingCurve(curve);
    m_transition->setDuration(440);
    m_transition->setStartValue(0.0);
    m_transition->setEndValue(1.0);
    connect(m_transition, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { layoutPages(value.toDouble()); });
    // Not while the window is being dragged to a new size: once it rests.
    m_resized->setSingleShot(true);
    m_resized->setInterval(100);
    connect(m_resized, &QTimer::timeout, this, &PageArea::paintAheadAgain);
}

void PageArea::addPage(const QString &identifier, QWidget *page)
{
    m_recipes.remove(identifier);
    page->setParent(this);
    m_pages.insert(identifier, page);
    m_unpainted.removeAll(identifier);
    m_unpainted.append(identifier);
    layoutPages(isMoving() ? m_transition->currentValue().toDouble() : 1.0);
}

void PageArea::addPage(const QString &identifier, std::function<QWidget *()> make)
{
    if (identifier == m_selected && m_order.contains(identifier)) {
        addPage(identifier, make());
        return;
    }
    m_recipes.insert(identifier, make);
    update();
}

QWidget *PageArea::page(const QString &identifier)
{
    const auto recipe = m_recipes.constFind(identifier);
    if (recipe != m_recipes.cend()) {
        addPage(identifier, (*recipe)());
    }
    return m_pages.value(identifier);
}

void PageArea::paintEvent(QPaintEvent *)
{
    // The window has drawn a frame: now the pages it left for later.
    if ((!m_recipes.isEmpty() || !m_unpainted.isEmpty()) && !m_makingDeferred) {
        m_makingDeferred = true;
        QTimer::singleShot(0, this, &PageArea::makeNextDeferred);
    }
}

void PageArea::makeNextDeferred()
{
    m_makingDeferred = false;
    // A page made in the last turn is laid out in this one, so that its first slide in only paints.
    if (QWidget *made = m_unlaid.isEmpty() ? nullptr : m_pages.value(m_unlaid.takeFirst())) {
        if (made->isHidden() && !isMoving()) {
            made->setGeometry(rect());
            layOut(made);
        }
    } else if (!m_recipes.isEmpty()) {
        // In tab order, so the tabs nearest the start are ready first.
        QString next = m_recipes.cbegin().key();
        for (const QString &identifier : m_order) {
            if (m_recipes.contains(identifier)) {
                next = identifier;
                break;
            }
        }
        page(next);
        m_unlaid.append(next);
    } else if (!isMoving()) {
        paintAhead();
    }
    if (!m_recipes.isEmpty() || !m_unlaid.isEmpty() || !m_unpainted.isEmpty()) {
        m_makingDeferred = true;
        QTimer::singleShot(0, this, &PageArea::makeNextDeferred);
    }
}

void PageArea::paintAhead()
{
    // A page's first paint measures and shapes its texts and draws its symbols and panels for the
    // caches: a tab's first click would wait for all of it. Painted here a band per turn, the click
    // finds it done.
    constexpr int bands = 4;
    const QString identifier = m_unpainted.first();
    QWidget *page = m_pages.value(identifier);
    if (!page || !page->isHidden()) {
        // Shown in place: the window painted it.
        m_unpainted.removeFirst();
        m_nextBand = 0;
        return;
    }
    if (page->geometry() != rect()) {
        page->setGeometry(rect());
        layOut(page);
        m_nextBand = 0;
        return;
    }
    const qreal ratio = devicePixelRatioF();
    // Into both pictures' memory in turn, so the first slide's find theirs touched already.
    QPixmap &picture = canvas((QSizeF(size()) * ratio).toSize(), ratio, int(m_unpainted.size() % 2));
    const int top = height() * m_nextBand / bands;
    const QRect band(0, top, width(), height() * (m_nextBand + 1) / bands - top);
    page->render(&picture, band.topLeft(), QRegion(band),
                 QWidget::DrawWindowBackground | QWidget::DrawChildren);
    if (++m_nextBand == bands) {
        m_unpainted.removeFirst();
        m_nextBand = 0;
    }
}

QWidget *PageArea::visiblePage() const
{
    return m_order.contains(m_selected) ? m_pages.value(m_selected) : nullptr;
}

bool PageArea::isMoving() const
{
    return m_transition->state() == QAbstractAnimation::Running;
}

QList<PageArea::Picture> PageArea::pictures() const
{
    return m_slide->isHidden() ? QList<Picture>() : m_slide->pictures;
}

QWidget *PageArea::slide() const
{
    return m_slide;
}

void PageArea::setSelected(const QString &identifier, const QStringList &order, bool animated)
{
    m_previous = m_selected;
    m_selected = identifier;
    m_order = order;
    m_transition->stop();
    ++m_generation;
    if (m_order.contains(m_selected)) {
        page(m_selected);
    }
    if (animated && m_previous != m_selected && m_pages.contains(m_selected) &&
        m_order.contains(m_selected)) {
        takePictures();
        m_transition->start();
        layoutPages(0.0);
    } else {
        layoutPages(1.0);
    }
}

void PageArea::setOrder(const QStringList &order)
{
    m_order = order;
    if (m_order.contains(m_selected)) {
        page(m_selected);
    }
    layoutPages(isMoving() ? m_transition->currentValue().toDouble() : 1.0);
}

void PageArea::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    layoutPages(isMoving() ? m_transition->currentValue().toDouble() : 1.0);
}

void PageArea::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_slide->setGeometry(rect());
    layoutPages(isMoving() ? m_transition->currentValue().toDouble() : 1.0);
    m_resized->start();
}

void PageArea::paintAheadAgain()
{
    // The hidden pages were laid out and painted for the old size; a click would do both again. In tab
    // order from the selected one outwards, so the tabs beside it are ready first.
    QStringList hidden;
    for (auto it = m_pages.cbegin(); it != m_pages.cend(); ++it) {
        if (it.value()->isHidden() && !m_unpainted.contains(it.key())) {
            hidden.append(it.key());
        }
    }
    const qsizetype selected = m_order.indexOf(m_selected);
    const auto distance = [&](const QString &identifier) {
        const qsizetype index = m_order.indexOf(identifier);
        return index < 0 || selected < 0 ? m_order.size() : std::abs(index - selected);
    };
    std::stable_sort(hidden.begin(), hidden.end(),
                     [&](const QString &a, const QString &b) { return distance(a) < distance(b); });
    m_unpainted.append(hidden);
    update();
}

void PageArea::takePictures()
{
    m_slide->pictures.clear();
    const int generation = ++m_generation;
    // A page the user leaves mid-slide is pictured as it is, at rest.
    if (addPicture(m_previous, leaving) != Taken::Painted) {
        addPicture(m_selected, arriving);
        return;
    }
    // Two pages painted in one turn of the event loop would be one long stall; the arriving page is
    // all but transparent on the first frame anyway.
    QTimer::singleShot(0, this, [this, generation] {
        if (generation == m_generation && isMoving() && addPicture(m_selected, arriving) != Taken::Nothing) {
            layoutPages(m_transition->currentValue().toDouble());
        }
    });
}

PageArea::Taken PageArea::addPicture(const QString &identifier, int slot)
{
    QWidget *page = m_pages.value(identifier);
    if (!page || !m_order.contains(identifier)) {
        return Taken::Nothing;
    }
    if (page->geometry() == rect()) {
        if (const auto [screen, pixels] = shownArea(page); screen) {
            QPixmap &picture = canvas(pixels.size(), screen->devicePixelRatio(), slot);
            QPainter painter(&picture);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(QPointF(), *screen, pixels);
            painter.end();
            m_slide->pictures.append(Picture{identifier, picture, 0, 1, 1});
            return Taken::FromScreen;
        }
    }
    page->setGeometry(rect());
    layOut(page);
    const qreal ratio = devicePixelRatioF();
    QPixmap &picture = canvas((QSizeF(size()) * ratio).toSize(), ratio, slot);
    picture.fill(Qt::transparent);
    page->render(&picture, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    m_slide->pictures.append(Picture{identifier, picture, 0, 1, 1});
    return Taken::Painted;
}

QPixmap &PageArea::canvas(const QSize &pixels, qreal ratio, int slot)
{
    // Fresh window-sized memory costs a page fault for every few kilobytes of it on the first stroke,
    // so the pictures of the last slide are painted over once it has let them go.
    QPixmap &kept = m_canvases[slot];
    if (kept.size() != pixels || !kept.isDetached()) {
        // A slide still showing the old one keeps its own copy. With room for the page's own
        // transparency, so a fill never makes it anew.
        kept = QPixmap::fromImage(QImage(pixels, QImage::Format_ARGB32_Premultiplied));
    }
    kept.setDevicePixelRatio(ratio);
    return kept;
}

void PageArea::layoutPages(double progress)
{
    const int selectedIndex = int(m_order.indexOf(m_selected));
    const int previousIndex = int(m_order.indexOf(m_previous));
    const int anchor = selectedIndex < 0 ? 0 : selectedIndex;
    const bool moving = progress < 1.0 && !m_slide->pictures.isEmpty();
    for (auto it = m_pages.cbegin(); it != m_pages.cend(); ++it) {
        QWidget *page = it.value();
        const bool resting = !moving && selectedIndex >= 0 && it.key() == m_selected;
        if (resting) {
            page->setGeometry(rect());
            page->setEnabled(true);
            // Shown before the area is, a page would wrap its texts for the size the area had before the
            // window was laid out; showEvent shows it once the area has its own.
            if (isVisible()) {
                page->show();
            }
        } else {
            page->hide();
        }
    }
    if (!moving) {
        m_slide->pictures.clear();
        m_slide->hide();
        return;
    }
    for (Picture &picture : m_slide->pictures) {
        const bool selected = picture.identifier == m_selected;
        const int index = int(m_order.indexOf(picture.identifier));
        // The arriving page slides in from where it rested beside the leaving one, which slides out
        // to where it will rest beside the arriving one. A page gone from the tabs is not drawn.
        picture.offset = index < 0 ? 0
                         : selected
                             ? Tabs::pageOffset(index, previousIndex < 0 ? anchor : previousIndex, width()) *
                                   (1.0 - progress)
                             : Tabs::pageOffset(index, anchor, width()) * progress;
        picture.opacity = index < 0 ? 0 : selected ? progress : 1.0 - progress;
        picture.scale = restingScale + (1.0 - restingScale) * picture.opacity;
    }
    m_slide->setGeometry(rect());
    m_slide->show();
    m_slide->raise();
    m_slide->update();
}

#include "ui/style/Symbols.h"

#include "ui/style/SymbolIconEngine.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <array>

// Resources of a static library are registered only when asked for by name.
static void registerShippedSymbols()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace {

struct Entry
{
    QLatin1StringView symbol;
    /** A freedesktop name with the same meaning, or empty. */
    QLatin1StringView theme;
};

constexpr std::array table{
    Entry{QLatin1StringView("plus"), QLatin1StringView("list-add")},
    Entry{QLatin1StringView("trash"), QLatin1StringView("user-trash")},
    Entry{QLatin1StringView("checkmark.circle.fill"), QLatin1StringView("emblem-ok")},
    Entry{QLatin1StringView("pencil"), QLatin1StringView("document-edit")},
    Entry{QLatin1StringView("arrow.down.circle.fill"), QLatin1StringView("folder-download")},
    Entry{QLatin1StringView("stop.fill"), QLatin1StringView("media-playback-stop")},
    Entry{QLatin1StringView("play.fill"), QLatin1StringView("media-playback-start")},
    Entry{QLatin1StringView("shippingbox"), QLatin1StringView("package-x-generic")},
    Entry{QLatin1StringView("xmark.octagon.fill"), QLatin1StringView("process-stop")},
    Entry{QLatin1StringView("cpu"), QLatin1StringView()},
    Entry{QLatin1StringView("memorychip"), QLatin1StringView()},
    Entry{QLatin1StringView("rectangle.expand.vertical"), QLatin1StringView()},
    Entry{QLatin1StringView("info.circle"), QLatin1StringView("dialog-information")},
    Entry{QLatin1StringView("clock.arrow.circlepath"), QLatin1StringView("document-revert")},
    Entry{QLatin1StringView("ellipsis.circle"), QLatin1StringView("view-more")},
    Entry{QLatin1StringView("iphone"), QLatin1StringView()},
    Entry{QLatin1StringView("link"), QLatin1StringView("insert-link")},
    Entry{QLatin1StringView("terminal"), QLatin1StringView("utilities-terminal")},
    Entry{QLatin1StringView("arrow.clockwise"), QLatin1StringView("view-refresh")},
    Entry{QLatin1StringView("doc.on.doc"), QLatin1StringView("edit-copy")},
    Entry{QLatin1StringView("square.and.arrow.up"), QLatin1StringView()},
    Entry{QLatin1StringView("magnifyingglass"), QLatin1StringView("edit-find")},
    Entry{QLatin1StringView("xmark.circle.fill"), QLatin1StringView()},
    Entry{QLatin1StringView("doc.text.magnifyingglass"), QLatin1StringView()},
    Entry{QLatin1StringView("internaldrive"), QLatin1StringView("drive-harddisk")},
};

const Entry *find(const QString &symbol)
{
    for (const Entry &entry : table) {
        if (symbol == entry.symbol) {
            return &entry;
        }
    }
    return nullptr;
}

/** The symbol's shape, in black on transparent, `pixels` square. */
QImage shape(const Entry &entry, int pixels)
{
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const QString theme = Symbols::themeName(entry.symbol);
    if (!theme.isEmpty()) {
        QPainter painter(&image);
        QIcon::fromTheme(theme).paint(&painter, image.rect());
        return image;
    }
    registerShippedSymbols();
    QSvgRenderer renderer(QStringLiteral(":/symbols/") + entry.symbol + QStringLiteral(".svg"));
    if (renderer.isValid()) {
        QPainter painter(&image);
        renderer.render(&painter, QRectF(image.rect()));
    }
    return image;
}

} // namespace

QStringList Symbols::names()
{
    QStringList result;
    for (const Entry &entry : table) {
        result.append(entry.symbol);
    }
    return result;
}

bool Symbols::has(const QString &symbol)
{
    return find(symbol) != nullptr;
}

QString Symbols::themeName(const QString &symbol)
{
    const Entry *entry = find(symbol);
    if (!entry || entry->theme.isEmpty()) {
        return {};
    }
    // hicolor is the fallback every theme has, holding applications' icons rather than a desktop's
    // symbols; where no desktop theme is set, asking it would read its whole index before the first frame.
    const QString theme = QIcon::themeName();
    if (theme.isEmpty() || theme == QLatin1String("hicolor")) {
        return {};
    }
    // Only the monochrome variants can take the text's colour; full-colour theme icons would clash.
    const QString name = entry->theme + QStringLiteral("-symbolic");
    return QIcon::hasThemeIcon(name) ? name : QString();
}

QPixmap Symbols::pixmap(const QString &symbol, int size, const QColor &color, qreal devicePixelRatio)
{
    const Entry *entry = find(symbol);
    if (!entry || size <= 0) {
        return {};
    }
    const int pixels = qMax(1, qRound(size * devicePixelRatio));
    const QString key = QStringLiteral("symbol:%1:%2:%3").arg(symbol).arg(pixels).arg(color.rgba(), 8, 16);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached)) {
        return cached;
    }
    QImage image = shape(*entry, pixels);
    {
        // Keep the shape's coverage, take the colour: the drawings are templates.
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color);
    }
    QPixmap result = QPixmap::fromImage(std::move(image));
    result.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, result);
    return result;
}

void Symbols::paint(QPainter &painter, const QRectF &rect, const QString &symbol, const QColor &color)
{
    const int side = int(std::min(rect.width(), rect.height()));
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QPixmap image = pixmap(symbol, side, color, ratio);
    if (image.isNull()) {
        return;
    }
    const QRectF target(rect.center().x() - side / 2.0, rect.center().y() - side / 2.0, side, side);
    painter.drawPixmap(target, image, QRectF(image.rect()));
}

QIcon Symbols::icon(const QString &symbol)
{
    return has(symbol) ? QIcon(new SymbolIconEngine(symbol)) : QIcon();
}

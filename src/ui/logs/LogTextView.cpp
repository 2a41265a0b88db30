#include "ui/logs/LogTextView.h"

#include "ui/style/Appearance.h"
#include "ui/style/ChineseFont.h"

#include <QEasingCurve>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <QThreadPool>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <QtConcurrent>

namespace {

constexpr qreal cornerRadius = 10;
constexpr float tintOpacity = 0.045f;
/** How much of the next text is looked up in the shown one to find where they overlap. */
constexpr qsizetype probeLength = 64;
constexpr int maximumProbes = 32;

QFont monospaced(qreal points)
{
    QFont font = ChineseFont::monospaced();
    font.setPointSizeF(Appearance::font(points).pointSizeF());
    return font;
}

/** Ease-out as a cubic Bézier from (0, 0) over (0.58, 1) to (1, 1). */
QEasingCurve easeOut()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.0, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
    return curve;
}

/**
 * Everything the editor would do to take `text` that does not need the editor itself: the blocks, the
 * font and the wrapping, so that installing the document costs only a pass over its blocks.
 */
QTextDocument *buildDocument(const QString &text, const QFont &font, QTextOption::WrapMode wrap,
                             QThread *home)
{
    auto *document = new QTextDocument;
    document->setUndoRedoEnabled(false);
    document->setDefaultFont(font);
    QTextOption option = document->defaultTextOption();
    option.setWrapMode(wrap);
    document->setDefaultTextOption(option);
    document->setDocumentLayout(new QPlainTextDocumentLayout(document));
    document->setPlainText(text);
    document->moveToThread(home);
    return document;
}

/** A large document takes milliseconds to free; that happens on a worker too. */
void discard(QTextDocument *document)
{
    document->moveToThread(nullptr);
    QThreadPool::globalInstance()->start([document] { delete document; });
}

} // namespace

std::optional<LogTextView::Edit> LogTextView::incrementalEdit(QStringView shown, QStringView next)
{
    if (shown.isEmpty()) {
        return std::nullopt;
    }
    if (next.startsWith(shown)) {
        return Edit{0, QString(), next.mid(shown.size()).toString()};
    }
    // The tail is cut at a byte, so it may now open with replacement characters where the shown text
    // still had the whole character.
    qsizetype lead = 0;
    while (lead < next.size() && lead < 3 && next.at(lead) == QChar::ReplacementCharacter) {
        ++lead;
    }
    const QStringView body = next.mid(lead);
    const QStringView probe = body.left(probeLength);
    if (probe.isEmpty()) {
        return std::nullopt;
    }
    qsizetype from = 0;
    for (int attempt = 0; attempt < maximumProbes; ++attempt) {
        const qsizetype start = shown.indexOf(probe, from);
        if (start < 0) {
            return std::nullopt;
        }
        const QStringView kept = shown.mid(start);
        if (body.startsWith(kept)) {
            return Edit{start, next.left(lead).toString(), body.mid(kept.size()).toString()};
        }
        from = start + 1;
    }
    return std::nullopt;
}

LogTextView::LogTextView(qreal points, QWidget *parent)
    : QWidget(parent)
    , m_editor(new QPlainTextEdit)
    , m_scroll(new QVariantAnimation(this))
{
    m_editor->setReadOnly(true);
    m_editor->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_editor->setFont(monospaced(points));
    m_editor->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_editor->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_editor->setFrameShape(QFrame::NoFrame);
    m_editor->document()->setUndoRedoEnabled(false);
    // The tint behind shows through.
    QPalette palette = m_editor->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    m_editor->setPalette(palette);
    m_editor->viewport()->setAutoFillBackground(false);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(8, 6, 2, 6);
    column->addWidget(m_editor);

    m_scroll->setDuration(scrollDurationMs);
    m_scroll->setEasingCurve(easeOut());
    QScrollBar *bar = m_editor->verticalScrollBar();
    connect(m_scroll, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { moveTo(value.toInt()); });
    connect(m_scroll, &QVariantAnimation::finished, this, [this, bar] {
        m_pinned = true;
        moveTo(bar->maximum());
    });
    // Lines are wrapped as they come into view, which lengthens the range: stay at the end once there.
    connect(bar, &QScrollBar::rangeChanged, this, [this](int, int maximum) {
        if (m_pinned) {
            moveTo(maximum);
        }
    });
    // Any other move is the user's (or a caller's): it ends pinning and any scroll under way.
    connect(bar, &QScrollBar::valueChanged, this, [this] {
        if (!m_moving) {
            m_pinned = false;
            m_scroll->stop();
        }
    });
}

void LogTextView::moveTo(int value)
{
    const QScopedValueRollback moving(m_moving, true);
    m_editor->verticalScrollBar()->setValue(value);
}

void LogTextView::setText(const QString &text)
{
    if (text == m_wanted) {
        return;
    }
    m_wanted = text;
    m_pinned = false;
    if (!m_building) {
        catchUp();
    }
}

void LogTextView::catchUp()
{
    if (m_wanted == m_shown) {
        Q_EMIT settled();
        return;
    }
    QScrollBar *bar = m_editor->verticalScrollBar();
    const int position = bar->value();
    const std::optional<Edit> edit = incrementalEdit(m_shown, m_wanted);
    const bool smallEdit = edit && edit->append.size() + edit->insertAtStart.size() < largeText;
    if (!smallEdit && m_wanted.size() >= largeText) {
        buildInBackground();
        return;
    }
    {
        const QScopedValueRollback moving(m_moving, true);
        if (smallEdit) {
            applyEdit(*edit);
        }
        // Characters the document stores differently would make the two disagree; then lay it out afresh.
        if (!smallEdit || m_editor->document()->characterCount() - 1 != m_wanted.size()) {
            m_editor->setPlainText(m_wanted);
        }
    }
    m_shown = m_wanted;
    if (m_scroll->state() != QAbstractAnimation::Running) {
        moveTo(m_pinned ? bar->maximum() : position);
    }
    Q_EMIT settled();
}

void LogTextView::buildInBackground()
{
    m_building = true;
    const QString text = m_wanted;
    auto *watcher = new QFutureWatcher<QTextDocument *>;
    // The watcher outlives a view closed meanwhile, so the document it brings is freed all the same.
    connect(watcher, &QFutureWatcherBase::finished, watcher, [self = QPointer(this), watcher, text] {
        watcher->deleteLater();
        QTextDocument *document = watcher->result();
        if (!self) {
            discard(document);
            return;
        }
        self->m_building = false;
        self->install(document, text);
        self->catchUp();
    });
    watcher->setFuture(
        QtConcurrent::run(buildDocument, text, m_editor->font(), m_editor->wordWrapMode(), thread()));
}

void LogTextView::install(QTextDocument *document, const QString &text)
{
    QScrollBar *bar = m_editor->verticalScrollBar();
    const int position = bar->value();
    const QPointer<QTextDocument> old = m_editor->document();
    {
        const QScopedValueRollback moving(m_moving, true);
        document->setParent(this);
        m_editor->setDocument(document);
    }
    // The editor frees its own first document when it lets go of it; the later ones are ours.
    if (old && old->parent() == this) {
        old->setParent(nullptr);
        discard(old);
    }
    m_shown = text;
    if (m_scroll->state() != QAbstractAnimation::Running) {
        moveTo(m_pinned ? bar->maximum() : position);
    }
}

void LogTextView::applyEdit(const Edit &edit)
{
    QTextCursor cursor(m_editor->document());
    cursor.beginEditBlock();
    if (edit.removeFromStart > 0 || !edit.insertAtStart.isEmpty()) {
        cursor.setPosition(0);
        cursor.setPosition(int(edit.removeFromStart), QTextCursor::KeepAnchor);
        cursor.insertText(edit.insertAtStart);
    }
    if (!edit.append.isEmpty()) {
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(edit.append);
    }
    cursor.endEditBlock();
}

void LogTextView::scrollToLatest(bool animated)
{
    QScrollBar *bar = m_editor->verticalScrollBar();
    m_scroll->stop();
    if (!animated || !isVisible() || bar->value() == bar->maximum()) {
        m_pinned = true;
        moveTo(bar->maximum());
        return;
    }
    m_scroll->setStartValue(bar->value());
    m_scroll->setEndValue(bar->maximum());
    m_scroll->start();
}

bool LogTextView::scrolling() const
{
    return m_scroll->state() == QAbstractAnimation::Running;
}

void LogTextView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor tint = palette().color(QPalette::WindowText);
    tint.setAlphaF(tintOpacity);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.fillPath(shape, tint);
}

#include "ui/style/TextLabel.h"

#include <QEvent>

TextLabel::TextLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
    // Names, paths and other programs' words pass through here: shown as written, never as markup.
    setTextFormat(Qt::PlainText);
}

TextLabel::Shape TextLabel::currentShape() const
{
    return {text(),   textFormat(), alignment(),       wordWrap(),
            margin(), indent(),     contentsMargins(), minimumWidth()};
}

int TextLabel::heightForWidth(int width) const
{
    Shape shape = currentShape();
    if (shape != m_measured) {
        m_measured = std::move(shape);
        m_heights.clear();
    }
    for (const auto &[measuredWidth, height] : m_heights) {
        if (measuredWidth == width) {
            return height;
        }
    }
    const int height = QLabel::heightForWidth(width);
    // A few widths recur while a page settles; a window being resized brings new ones all the time.
    if (m_heights.size() == m_heights.capacity()) {
        m_heights.clear();
    }
    m_heights.append({width, height});
    return height;
}

void TextLabel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        m_heights.clear();
    }
    QLabel::changeEvent(event);
}

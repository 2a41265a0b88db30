#pragma once

#include <QLabel>
#include <QMargins>
#include <QVarLengthArray>

/**
 * A label for text that may wrap, which remembers the heights it measured. While a page settles, its
 * layouts ask each wrapping label for its height at the same few widths dozens of times, and QLabel
 * lays its whole text out again for every answer. Its text is plain unless a caller says otherwise.
 */
class TextLabel : public QLabel
{
    Q_OBJECT

public:
    explicit TextLabel(const QString &text = {}, QWidget *parent = nullptr);

    int heightForWidth(int width) const override;

protected:
    void changeEvent(QEvent *event) override;

private:
    /** What a height depends on, besides the font and the style, which announce their changes. */
    struct Shape
    {
        QString text;
        Qt::TextFormat format = Qt::AutoText;
        Qt::Alignment alignment;
        bool wordWrap = false;
        int margin = 0;
        int indent = 0;
        QMargins contents;
        int minimumWidth = 0;
        bool operator==(const Shape &) const = default;
    };
    Shape currentShape() const;

    mutable Shape m_measured;
    /** (width, height) pairs measured for `m_measured`. */
    mutable QVarLengthArray<std::pair<int, int>, 8> m_heights;
};

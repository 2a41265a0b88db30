#include "services/TextTail.h"

#include <QTextBoundaryFinder>

namespace {

bool isRegionalIndicatorAt(const QString &text, qsizetype i)
{
    // U+1F1E6…U+1F1FF in UTF-16.
    return i >= 0 && i + 1 < text.size() && text.at(i).unicode() == 0xD83C &&
           text.at(i + 1).unicode() >= 0xDDE6 && text.at(i + 1).unicode() <= 0xDDFF;
}

} // namespace

namespace TextTail {

QString lastCharacters(const QString &text, qsizetype count)
{
    if (text.size() <= count) {
        return text;
    }
    for (qsizetype window = count * 4;; window *= 2) {
        qsizetype start = qMax<qsizetype>(0, text.size() - window);
        if (start > 0 && text.at(start).isLowSurrogate()) {
            --start;
        }
        // Regional indicators pair into flags counting from the start of their run.
        while (isRegionalIndicatorAt(text, start) && isRegionalIndicatorAt(text, start - 2)) {
            start -= 2;
        }
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.constData() + start,
                                   text.size() - start);
        finder.toEnd();
        qsizetype found = 0;
        qsizetype position = finder.position();
        while (found < count) {
            const qsizetype previous = finder.toPreviousBoundary();
            if (previous < 0) {
                break;
            }
            position = previous;
            ++found;
        }
        // A character reaching back to the window's cut edge may have been split by the cut.
        if (start == 0 || (found == count && position > 0)) {
            return text.mid(start + position);
        }
    }
}

} // namespace TextTail

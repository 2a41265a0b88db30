#pragma once

#include <QString>

namespace TextTail {

/**
 * The last `count` user-perceived characters of `text`: a surrogate pair, a combined sign or a flag
 * stays whole. Only a trailing window is examined, so a huge text costs no more than its tail.
 */
QString lastCharacters(const QString &text, qsizetype count);

} // namespace TextTail

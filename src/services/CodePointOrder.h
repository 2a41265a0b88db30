#pragma once

#include <QString>

/**
 * Orders strings by Unicode code point, independent of locale. QString's own comparison orders
 * UTF-16 units, which puts characters beyond U+FFFF (emoji) before U+E000…U+FFFF.
 */
inline bool codePointLess(const QString &a, const QString &b)
{
    const qsizetype common = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t x = a.at(i).unicode();
        const char16_t y = b.at(i).unicode();
        if (x == y) {
            continue;
        }
        // Move surrogates above the rest of the BMP so they sort like the code points they encode.
        const auto rank = [](char16_t unit) -> int {
            if (unit >= 0xE000) {
                return unit - 0x800;
            }
            if (unit >= 0xD800) {
                return unit + 0x2000;
            }
            return unit;
        };
        return rank(x) < rank(y);
    }
    return a.size() < b.size();
}

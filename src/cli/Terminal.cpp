#include "cli/Terminal.h"

#include <cstdio>

namespace {

void write(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    if (!text.endsWith(u'\n')) {
        std::fputc('\n', stream);
    }
    std::fflush(stream);
}

bool isWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

} // namespace

namespace Terminal {

void out(const QString &text)
{
    write(stdout, text);
}

void err(const QString &text)
{
    write(stderr, text);
}

int displayWidth(const QString &text)
{
    int width = 0;
    for (const char32_t c : text.toUcs4()) {
        width += isWide(c) ? 2 : 1;
    }
    return width;
}

QString table(const QStringList &header, const QList<QStringList> &rows)
{
    QList<int> widths;
    for (const QString &cell : header) {
        widths.append(displayWidth(cell));
    }
    for (const QStringList &row : rows) {
        for (qsizetype i = 0; i < row.size() && i < widths.size(); ++i) {
            widths[i] = std::max(widths[i], displayWidth(row[i]));
        }
    }
    QString text;
    auto appendRow = [&](const QStringList &row) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line += QString(widths[i] - displayWidth(row[i]) + 2, u' ');
            }
        }
        text += line + u'\n';
    };
    appendRow(header);
    for (const QStringList &row : rows) {
        appendRow(row);
    }
    return text;
}

} // namespace Terminal

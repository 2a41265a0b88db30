#pragma once

#include <QClipboard>
#include <QGuiApplication>
#include <QString>

namespace LogClipboard {

/** Replaces whatever the clipboard held with `text` as plain text. */
inline void put(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

} // namespace LogClipboard

#pragma once

#include "IdleFor.h"
#include "linux/screen/VncConnection.h"

#include <QElapsedTimer>
#include <QImage>

/** Reading the AArch64 UEFI firmware's screen through the Linux machine's screen connection. */
namespace FirmwareScreen {

/**
 * Whether the firmware's shell has started: its mapping table and prompt are the only yellow on the
 * firmware's screens (the boot logo and progress bar before it have none).
 */
inline bool showsShell(const QImage &frame)
{
    int yellow = 0;
    for (int y = 0; y < frame.height(); y += 2) {
        const auto *line = reinterpret_cast<const QRgb *>(frame.constScanLine(y));
        for (int x = 0; x < frame.width(); x += 2) {
            yellow += qRed(line[x]) > 180 && qGreen(line[x]) > 180 && qBlue(line[x]) < 120 ? 1 : 0;
        }
    }
    return yellow > 40;
}

/**
 * Runs the event loop until the screen has shown something and then had no update for `quietMs`;
 * false if that does not happen within `withinMs`.
 */
inline bool settles(const VncConnection &connection, int quietMs, int withinMs)
{
    QElapsedTimer total;
    total.start();
    quint64 seen = connection.updates();
    QElapsedTimer quiet;
    quiet.start();
    while (total.elapsed() < withinMs) {
        idleFor(100);
        if (connection.updates() != seen) {
            seen = connection.updates();
            quiet.restart();
        } else if (quiet.elapsed() >= quietMs && connection.updates() > 0) {
            return true;
        }
    }
    return false;
}

} // namespace FirmwareScreen

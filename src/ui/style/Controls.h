#pragma once

#include <QString>

class PillActionButton;
class QLabel;
class QUrl;

/** The small controls every page builds the same way: its pill buttons, captions and links. */
namespace Controls {

enum class PillStyle {
    /** The small capsule of toolbars, cards and action rows. */
    Compact,
    /** The full-height capsule. */
    Regular,
    /** Full height and filled with the tint: the one action a view leads with. */
    Prominent,
    /** Small and filled: the leading action of a sheet's button row. */
    CompactProminent,
};

/** A pill button with `symbol` (a name from the symbol table, or none) before its text. */
PillActionButton *pill(const QString &text, const QString &symbol = {}, PillStyle style = PillStyle::Compact);

enum class CaptionSize {
    /** The size of the text around it. */
    Body,
    /** 11.5 points, for notes under a setting or a button. */
    Small,
};

enum class CaptionWrap {
    Wrap,
    /** For short texts beside or under a control, which must not grow taller. */
    SingleLine,
};

/** A secondary line in the placeholder colour: an explanation, a path, a state. */
QLabel *caption(const QString &text = {}, CaptionSize size = CaptionSize::Body,
                CaptionWrap wrap = CaptionWrap::Wrap);

/** Body text that wraps to the width it is given. */
QLabel *paragraph(const QString &text = {});

/**
 * A line of the page's own font for what a model or another program supplies (a name, a state): shown
 * as written, and shortened in the middle rather than widening the page when it is long.
 */
QLabel *label(const QString &text = {});

/** `text` as a link that opens `address` through the host, from the mouse or the keyboard. */
QLabel *link(const QString &text, const QUrl &address);

} // namespace Controls

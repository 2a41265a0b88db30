#include "ui/style/Controls.h"

#include "ui/style/Appearance.h"
#include "ui/style/DesktopOpen.h"
#include "ui/style/ElidedLabel.h"
#include "ui/style/PillActionButton.h"
#include "ui/style/TextLabel.h"

#include <QLabel>
#include <QUrl>

namespace Controls {

PillActionButton *pill(const QString &text, const QString &symbol, PillStyle style)
{
    auto *button = new PillActionButton(text);
    button->setSymbol(symbol);
    button->setCompact(style == PillStyle::Compact || style == PillStyle::CompactProminent);
    button->setProminent(style == PillStyle::Prominent || style == PillStyle::CompactProminent);
    return button;
}

QLabel *caption(const QString &text, CaptionSize size, CaptionWrap wrap)
{
    auto *label = new TextLabel(text);
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setWordWrap(wrap == CaptionWrap::Wrap);
    if (size == CaptionSize::Small) {
        label->setFont(Appearance::font(11.5));
    }
    return label;
}

QLabel *paragraph(const QString &text)
{
    auto *label = new TextLabel(text);
    label->setWordWrap(true);
    return label;
}

QLabel *label(const QString &text)
{
    auto *line = new ElidedLabel;
    line->setText(text);
    return line;
}

QLabel *link(const QString &text, const QUrl &address)
{
    // Escaped, so a text or address with markup characters shows as written and the link stays whole.
    auto *label =
        new QLabel(QStringLiteral("<a href=\"%1\">%2</a>")
                       .arg(address.toString(QUrl::FullyEncoded).toHtmlEscaped(), text.toHtmlEscaped()));
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    // The host opens it, so tests can see that it did and nothing leaves the program behind its back.
    label->setOpenExternalLinks(false);
    QObject::connect(label, &QLabel::linkActivated, label,
                     [label, address] { DesktopOpen::url(label, address); });
    return label;
}

} // namespace Controls

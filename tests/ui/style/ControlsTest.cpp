#include "ui/style/Controls.h"
#include "FakeHost.h"
#include "ui/style/Alert.h"
#include "ui/style/Appearance.h"
#include "ui/style/PillActionButton.h"

#include <QAccessible>
#include <QLabel>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

TEST(Controls, PillStylesDifferInSizeAndFillOnly)
{
    const std::unique_ptr<PillActionButton> compact(
        Controls::pill(QStringLiteral("刷新"), QStringLiteral("arrow.clockwise")));
    const std::unique_ptr<PillActionButton> regular(Controls::pill(
        QStringLiteral("刷新"), QStringLiteral("arrow.clockwise"), Controls::PillStyle::Regular));
    const std::unique_ptr<PillActionButton> prominent(
        Controls::pill(QStringLiteral("刷新"), {}, Controls::PillStyle::Prominent));
    const std::unique_ptr<PillActionButton> small(
        Controls::pill(QStringLiteral("刷新"), {}, Controls::PillStyle::CompactProminent));

    // Compact and prominent, in the order made.
    QList<bool> looks;
    for (const auto *button : {compact.get(), regular.get(), prominent.get(), small.get()}) {
        looks << button->compact() << button->prominent();
        EXPECT_EQ(button->text(), QStringLiteral("刷新"));
    }
    EXPECT_EQ(looks, (QList<bool>{true, false, false, false, false, true, true, true}));
    EXPECT_EQ(compact->symbol(), QStringLiteral("arrow.clockwise"));
    EXPECT_TRUE(prominent->symbol().isEmpty());
    EXPECT_LT(compact->sizeHint().height(), regular->sizeHint().height());
    EXPECT_EQ(regular->sizeHint().height(), prominent->sizeHint().height());
    EXPECT_EQ(compact->sizeHint().height(), small->sizeHint().height());
}

TEST(Controls, CaptionsAreSecondaryAndWrapOrShrinkOnRequest)
{
    const std::unique_ptr<QLabel> body(Controls::caption(QStringLiteral("说明")));
    const std::unique_ptr<QLabel> small(
        Controls::caption(QStringLiteral("说明"), Controls::CaptionSize::Small));
    const std::unique_ptr<QLabel> line(Controls::caption(QStringLiteral("说明"), Controls::CaptionSize::Body,
                                                         Controls::CaptionWrap::SingleLine));
    const std::unique_ptr<QLabel> text(Controls::paragraph(QStringLiteral("正文")));

    for (const QLabel *label : {body.get(), small.get(), line.get()}) {
        EXPECT_EQ(label->foregroundRole(), QPalette::PlaceholderText);
        EXPECT_EQ(label->text(), QStringLiteral("说明"));
        EXPECT_EQ(label->wordWrap(), label != line.get());
    }
    EXPECT_EQ(small->font(), Appearance::font(11.5));
    EXPECT_EQ(body->font(), text->font());
    EXPECT_EQ(line->font(), text->font());

    EXPECT_TRUE(text->wordWrap());
    EXPECT_NE(text->foregroundRole(), QPalette::PlaceholderText);
}

// Names, paths and other programs' words reach these labels: what a screen reader is given is what shows.
TEST(Controls, TextsShowMarkupAsWritten)
{
    const QString name = QStringLiteral("<h1>安卓</h1><img src=\"/etc/passwd\">");
    const auto reads = [](QWidget *widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    };
    const std::unique_ptr<QLabel> caption(Controls::caption(name));
    const std::unique_ptr<QLabel> paragraph(Controls::paragraph(name));
    const std::unique_ptr<QLabel> line(Controls::label(name));
    EXPECT_EQ(reads(caption.get()), name);
    EXPECT_EQ(reads(paragraph.get()), name);
    EXPECT_EQ(reads(line.get()), name);

    QWidget page;
    QMessageBox *box =
        Alert::open(&page, name, name, {{QStringLiteral("知道了"), QMessageBox::AcceptRole, {}}});
    auto *message = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(reads(message), name);
    auto *title = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(reads(title), name);
}

TEST(Controls, LinkShowsItsTextAndOpensItsAddressThroughTheHost)
{
    FakeHost host;
    const QUrl address(QStringLiteral("https://example.invalid/download?a=1&b=\"2\""));
    const QString text = QStringLiteral("下载 <ISO> & 说明");
    const std::unique_ptr<QLabel> label(Controls::link(text, address));

    EXPECT_FALSE(label->openExternalLinks());
    EXPECT_TRUE(label->textInteractionFlags() & Qt::LinksAccessibleByKeyboard);
    QTextDocument shown;
    shown.setHtml(label->text());
    EXPECT_EQ(shown.toPlainText(), text);
    const QTextFragment fragment = shown.begin().begin().fragment();
    EXPECT_EQ(QUrl(fragment.charFormat().anchorHref()), address);

    Q_EMIT label->linkActivated(fragment.charFormat().anchorHref());
    EXPECT_EQ(host.opened(), QList<QUrl>{address});
}

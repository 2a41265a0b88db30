#include "ui/style/TextLabel.h"

#include <QEvent>

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString longText = QStringLiteral(
    "建议至少 80GB 空闲空间，可保存到外置 SSD。Windows 许可需自行准备。网卡和动态分辨率可能需要安装 UTM "
    "Guest Tools；本版默认不配置音频、剪贴板或目录共享。");

} // namespace

// Every remembered height must be the one QLabel measures now, after any change a page makes.
TEST(TextLabel, HeightsFollowEveryChangeOfTheLabel)
{
    TextLabel remembering(longText);
    QLabel plain(longText);
    for (QLabel *label : {static_cast<QLabel *>(&remembering), &plain}) {
        label->setWordWrap(true);
    }
    const auto expectSameHeights = [&](const char *after) {
        SCOPED_TRACE(after);
        for (int width : {60, 140, 320, 900}) {
            const int expected = plain.heightForWidth(width);
            EXPECT_EQ(remembering.heightForWidth(width), expected) << width;
            EXPECT_EQ(remembering.heightForWidth(width), expected) << width << ", asked again";
        }
    };
    const auto change = [&](const char *what, const std::function<void(QLabel &)> &apply) {
        apply(remembering);
        apply(plain);
        expectSameHeights(what);
    };

    expectSameHeights("made");
    change("text", [](QLabel &label) { label.setText(longText + longText); });
    change("font", [](QLabel &label) {
        QFont larger = label.font();
        larger.setPointSizeF(larger.pointSizeF() * 1.6);
        label.setFont(larger);
    });
    change("indent", [](QLabel &label) { label.setIndent(30); });
    change("margin", [](QLabel &label) { label.setMargin(9); });
    change("contents margins", [](QLabel &label) { label.setContentsMargins(20, 4, 40, 8); });
    change("minimum width", [](QLabel &label) { label.setMinimumWidth(200); });
    change("rich text", [](QLabel &label) {
        label.setTextFormat(Qt::RichText);
        label.setText(QStringLiteral("<b>%1</b><br>%1").arg(longText));
    });
    change("no wrapping", [](QLabel &label) { label.setWordWrap(false); });
    change("wrapping again", [](QLabel &label) { label.setWordWrap(true); });
    change("widths beyond what it keeps", [](QLabel &label) {
        for (int width = 100; width < 400; width += 10) {
            label.heightForWidth(width);
        }
    });
}

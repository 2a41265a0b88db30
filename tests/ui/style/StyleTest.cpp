#include "../ViewHelpers.h"
#include "FakeHost.h"
#include "TestFiles.h"
#include "Wait.h"
#include "preferences/AppPreferences.h"
#include "ui/style/Appearance.h"
#include "ui/style/ChineseFont.h"
#include "ui/style/GlassLook.h"
#include "ui/style/GlassSurface.h"
#include "ui/style/Motion.h"
#include "ui/style/PaintCache.h"
#include "ui/style/PillActionButton.h"
#include "ui/style/PillLook.h"
#include "ui/style/Stepper.h"
#include "ui/style/Symbols.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>

using P = AppPreferences;

namespace {

class StyleTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        AppPreferences::clear(*store);
        Appearance::instance().refresh();
    }

    /** The widget drawn alone on a transparent canvas. */
    static QImage render(QWidget &widget)
    {
        widget.ensurePolished();
        QImage image(widget.size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    }

    FakeHost host;
    std::unique_ptr<QSettings> store = P::openStore();
};

bool near(int a, int b, int tolerance)
{
    return std::abs(a - b) <= tolerance;
}

} // namespace

TEST_F(StyleTest, PressScalesOnlyWhenAnimationsAreWantedAndMotionIsNotReduced)
{
    const auto pressedScale = [](bool expectMotion) {
        PillActionButton button(QStringLiteral("启动安卓"));
        button.resize(button.sizeHint());
        button.show();
        QTest::mousePress(&button, Qt::LeftButton);
        // Long enough for the spring to settle, so a reduced-motion scale cannot hide behind a slow start.
        waitUntil([&] { return std::abs(button.currentScale() - PillLook::pressedScale) < 0.002; },
                  expectMotion ? 2000 : Motion::springDurationMs + 150);
        const qreal pressed = button.currentScale();
        QTest::mouseRelease(&button, Qt::LeftButton);
        waitUntil([&] { return button.currentScale() == 1.0; }, 2000);
        EXPECT_DOUBLE_EQ(button.currentScale(), 1.0) << "released buttons return to full size";
        return pressed;
    };

    EXPECT_NEAR(pressedScale(true), 0.965, 0.002);

    host.motionReduced = true;
    EXPECT_DOUBLE_EQ(pressedScale(false), 1.0) << "reduce-motion wins over appearanceAnimations";

    host.motionReduced = false;
    P::write(*store, P::appearanceAnimations, false);
    EXPECT_DOUBLE_EQ(pressedScale(false), 1.0);
}

TEST_F(StyleTest, DisabledProminentButtonKeepsItsColoursAtReducedOpacity)
{
    const QColor tint(0x34, 0xC7, 0x59);
    PillActionButton button;
    button.setTint(tint);
    button.setProminent(true);
    button.resize(160, 60);

    const QImage enabled = render(button);
    button.setEnabled(false);
    const QImage disabled = render(button);

    // The middle of the capsule: fill only, no text, no shadow.
    const QPoint middle(80, 27);
    const QColor on = enabled.pixelColor(middle);
    const QColor off = disabled.pixelColor(middle);
    EXPECT_EQ(on.alpha(), 255);
    EXPECT_TRUE(near(off.alpha(), qRound(0.38 * 255), 3)) << off.alpha();
    EXPECT_TRUE(near(off.red(), on.red(), 4) && near(off.green(), on.green(), 4) &&
                near(off.blue(), on.blue(), 4))
        << "disabled is the same colour, fainter: " << off.name().toStdString() << " vs "
        << on.name().toStdString();
    EXPECT_TRUE(near(on.green(), tint.green(), 30) && on.green() > on.red() && on.green() > on.blue())
        << "the fill is the tint: " << on.name().toStdString();

    const PillLook quiet = PillLook::resolve({tint, Qt::black, false, true, false, true, true});
    EXPECT_EQ(quiet.text, tint);
    EXPECT_FALSE(quiet.shadow);
    const PillLook loud = PillLook::resolve({tint, Qt::black, true, false, true, true, true});
    EXPECT_EQ(loud.text, QColor(Qt::white));
    EXPECT_TRUE(loud.shadow);
    EXPECT_EQ(loud.shadowRadius, 2) << "a pressed shadow tightens";
}

TEST_F(StyleTest, SurfacesAreOpaqueWithoutGlassOrWithReducedTransparency)
{
    GlassSurface surface;
    surface.resize(200, 80);
    const auto centreAlpha = [&] { return render(surface).pixelColor(100, 40).alpha(); };

    EXPECT_TRUE(surface.look().translucent);
    EXPECT_LT(centreAlpha(), 200);

    P::write(*store, P::appearanceGlass, false);
    EXPECT_FALSE(surface.look().translucent);
    EXPECT_EQ(centreAlpha(), 255);

    P::write(*store, P::appearanceGlass, true);
    host.transparencyReduced = true;
    EXPECT_FALSE(surface.look().translucent);
    EXPECT_EQ(centreAlpha(), 255);

    // Selection tints only the see-through form; an opaque surface keeps the plain control colour.
    surface.setSelected(true);
    EXPECT_EQ(surface.look().tint.alpha(), 0);
    host.transparencyReduced = false;
    EXPECT_NEAR(surface.look().tint.alphaF(), 0.12, 0.01);
    surface.setCapsule(true);
    EXPECT_EQ(surface.look().radius, GlassLook::capsuleRadius);
    // The surface's picture is kept per look: the tinted one is drawn anew, not the one before.
    const QColor tinted = render(surface).pixelColor(100, 40);
    surface.setSelected(false);
    EXPECT_NE(render(surface).pixelColor(100, 40), tinted);
}

TEST_F(StyleTest, ACachedShapeLooksLikeTheShapePaintedDirectly)
{
    // A rounded panel whose fill darkens downwards: the same along every row, not down a column.
    const auto shape = [](const QColor &fill) {
        return [fill](QPainter &painter, const QRectF &area) {
            QLinearGradient shade(area.topLeft(), area.bottomLeft());
            shade.setColorAt(0, fill);
            shade.setColorAt(1, fill.darker(160));
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(QColor(20, 20, 20, 40), 0.8));
            painter.setBrush(shade);
            painter.drawRoundedRect(area.adjusted(0.4, 0.4, -0.4, -0.4), 22, 22);
        };
    };
    const auto painted = [](const QColor &background, const std::function<void(QPainter &)> &draw) {
        QImage image(470, 340, QImage::Format_ARGB32_Premultiplied);
        image.fill(background);
        QPainter painter(&image);
        draw(painter);
        painter.end();
        return image;
    };
    const QColor blue(40, 90, 200, 180);
    const PaintCache::Stretch across{23, false};
    for (const QRectF &place : {QRectF(3, 4, 150, 120), QRectF(2.5, 7.25, 150, 120), QRectF(6, 5, 450, 320),
                                QRectF(1.75, 9.5, 40, 300)}) {
        const QImage direct = painted(QColor(240, 240, 240), [&](QPainter &p) { shape(blue)(p, place); });
        for (const PaintCache::Stretch &stretch : {PaintCache::Stretch{}, across}) {
            const QImage cached = painted(QColor(240, 240, 240), [&](QPainter &p) {
                PaintCache::draw(p, place, QStringLiteral("test:blue"), stretch, shape(blue));
            });
            // Blending twice (into the picture, then onto the page) may round a few levels apart.
            EXPECT_LE(ViewHelpers::largestDifference(direct, cached), 4)
                << place.x() << "," << place.width() << " stretched " << stretch.corner;
        }
    }
    // Another look under its own key is drawn anew at the same size.
    const QImage red = painted(Qt::white, [&](QPainter &p) {
        PaintCache::draw(p, QRectF(3, 4, 150, 120), QStringLiteral("test:red"), {}, shape(Qt::red));
    });
    EXPECT_GT(red.pixelColor(80, 60).red(), 200);
    EXPECT_LT(red.pixelColor(80, 60).blue(), 50);

    // A panel that is the same down its columns too stretches both ways from one small picture.
    const auto flat = [](QPainter &painter, const QRectF &area) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(20, 20, 20, 40), 0.8));
        painter.setBrush(QColor(250, 250, 250, 184));
        painter.drawRoundedRect(area.adjusted(0.4, 0.4, -0.4, -0.4), 22, 22);
    };
    for (const QRectF &place : {QRectF(6, 5, 450, 320), QRectF(2.5, 7.25, 300, 60)}) {
        const QImage direct = painted(QColor(90, 90, 90), [&](QPainter &p) { flat(p, place); });
        const QImage cached = painted(QColor(90, 90, 90), [&](QPainter &p) {
            PaintCache::draw(p, place, QStringLiteral("test:flat"), {23, true}, flat);
        });
        EXPECT_LE(ViewHelpers::largestDifference(direct, cached), 4) << place.width();
    }
}

TEST_F(StyleTest, ThemeAndAccentApplyToTheWholeApplicationAndFollowChanges)
{
    const QPalette system = QApplication::palette();
    AppAppearance dark = AppAppearance::resolve(QStringLiteral("dark"), QStringLiteral("purple"));
    const QPalette darkPalette = Appearance::palette(dark, system);
    EXPECT_TRUE(Appearance::isDark(darkPalette));
    EXPECT_EQ(darkPalette.color(QPalette::Highlight), dark.darkAccent);
    const QPalette lightPalette =
        Appearance::palette(AppAppearance::resolve(QStringLiteral("light"), QString()), system);
    EXPECT_FALSE(Appearance::isDark(lightPalette));
    const AppAppearance followed = AppAppearance::resolve(QStringLiteral("system"), QStringLiteral("green"));
    const QPalette systemPalette = Appearance::palette(followed, system);
    EXPECT_EQ(systemPalette.color(QPalette::Window), system.color(QPalette::Window));
    EXPECT_EQ(systemPalette.color(QPalette::Highlight), followed.accentFor(Appearance::isDark(system)));

    Appearance &appearance = Appearance::instance();
    appearance.apply();
    QSignalSpy changed(&appearance, &Appearance::changed);
    P::write(*store, P::appearanceTheme, QStringLiteral("dark"));
    appearance.refresh();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(Appearance::isDark(QApplication::palette()));
    EXPECT_EQ(appearance.accent(), AppAppearance::resolve(QString(), QStringLiteral("blue")).darkAccent);

    appearance.refresh();
    EXPECT_EQ(changed.count(), 1) << "nothing changed, nothing to repaint";
    P::write(*store, P::appearanceGlass, false);
    appearance.refresh();
    EXPECT_EQ(changed.count(), 2);

    P::write(*store, P::appearanceTheme, QStringLiteral("system"));
    appearance.refresh();
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), system.color(QPalette::Window));
}

TEST_F(StyleTest, OverflowIconsAreFusionsOwnReadWhenFirstDrawn)
{
    Appearance::instance().apply();
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    for (const QStyle::StandardPixmap which :
         {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton}) {
        const QIcon deferred = QApplication::style()->standardIcon(which);
        const QIcon own = fusion->standardIcon(which);
        ASSERT_FALSE(own.isNull());
        EXPECT_EQ(deferred.availableSizes(), own.availableSizes());
        EXPECT_EQ(deferred.pixmap(16).toImage(), own.pixmap(16).toImage());
        EXPECT_EQ(deferred.pixmap(32, QIcon::Disabled).toImage(), own.pixmap(32, QIcon::Disabled).toImage());
    }
    // The style's other icons are untouched.
    EXPECT_EQ(QApplication::style()->standardIcon(QStyle::SP_DialogOkButton).pixmap(16).toImage(),
              fusion->standardIcon(QStyle::SP_DialogOkButton).pixmap(16).toImage());
}

TEST_F(StyleTest, EverySymbolDrawsInTheRequestedColour)
{
    const QColor red(220, 20, 40);
    for (const QString &name : Symbols::names()) {
        const QImage image = Symbols::pixmap(name, 24, red, 2.0).toImage();
        ASSERT_EQ(image.size(), QSize(48, 48)) << name.toStdString();
        int inked = 0;
        int offColour = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() > 128) {
                    ++inked;
                    offColour +=
                        near(pixel.red(), red.red(), 2) && near(pixel.green(), red.green(), 2) ? 0 : 1;
                }
            }
        }
        EXPECT_GT(inked, 40) << name.toStdString() << " drew (almost) nothing";
        EXPECT_LT(inked, 48 * 48 * 3 / 4) << name.toStdString() << " fills its whole square";
        EXPECT_EQ(offColour, 0) << name.toStdString();
    }
    EXPECT_TRUE(Symbols::pixmap(QStringLiteral("no.such.symbol"), 24, red).isNull());
    EXPECT_FALSE(Symbols::icon(QStringLiteral("trash")).pixmap(16).isNull());
}

TEST_F(StyleTest, AThemeSymbolComesFromTheDesktopsThemeNotFromTheFallbackOne)
{
    // The same monochrome trash icon in a desktop's theme and in hicolor, the fallback every theme has.
    const QTemporaryDir icons;
    for (const QString &theme : {QStringLiteral("Desktop"), QStringLiteral("hicolor")}) {
        ASSERT_TRUE(writeFile(icons.filePath(theme + QStringLiteral("/index.theme")),
                              "[Icon Theme]\nName=T\nDirectories=scalable\n\n[scalable]\nSize=16\n"
                              "MinSize=8\nMaxSize=512\nType=Scalable\n"));
        ASSERT_TRUE(writeFile(icons.filePath(theme + QStringLiteral("/scalable/user-trash-symbolic.svg")),
                              "<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16'>"
                              "<rect width='16' height='16'/></svg>"));
    }
    const QStringList paths = QIcon::themeSearchPaths();
    const QString name = QIcon::themeName();
    const auto restore = qScopeGuard([&] {
        QIcon::setThemeSearchPaths(paths);
        QIcon::setThemeName(name);
    });
    QIcon::setThemeSearchPaths({icons.path()});
    QIcon::setThemeName(QStringLiteral("Desktop"));
    EXPECT_EQ(Symbols::themeName(QStringLiteral("trash")), QStringLiteral("user-trash-symbolic"));
    EXPECT_EQ(Symbols::themeName(QStringLiteral("cpu")), QString()) << "a symbol with no theme name";
    // hicolor alone is no desktop theme: not read at all.
    QIcon::setThemeName(QStringLiteral("hicolor"));
    EXPECT_EQ(Symbols::themeName(QStringLiteral("trash")), QString());
}

TEST_F(StyleTest, ChineseHasDistinctGlyphsInTheSimplifiedFamilyWhateverTheLocaleAndLatinInTheSystemsOwn)
{
    const QString chinese = ChineseFont::family();
    ASSERT_FALSE(chinese.isEmpty()) << "install a CJK font such as fonts-noto-cjk";
    // Fonts that cover every CJK form come as regional families; only the Simplified one is right here.
    const QStringList regional = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    if (std::ranges::any_of(regional,
                            [](const QString &name) { return name.endsWith(QLatin1String(" SC")); })) {
        EXPECT_TRUE(chinese.endsWith(QLatin1String(" SC"))) << chinese.toStdString();
    }

    const QFont original = QApplication::font();
    const auto restore = qScopeGuard([&] { QApplication::setFont(original); });
    ChineseFont::install();
    const auto glyph = [](const QString &text) {
        QImage image(40, 40, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(Appearance::font(24));
        painter.setPen(Qt::black);
        painter.drawText(image.rect(), Qt::AlignCenter, text);
        return image;
    };
    // A missing font draws the same empty box for every character.
    EXPECT_NE(glyph(QStringLiteral("安")), glyph(QStringLiteral("卓")));
    EXPECT_NE(glyph(QStringLiteral("安")), glyph(QStringLiteral(" ")));

    const auto families = [](const QFont &font, const QString &text) {
        QTextLayout layout(text, font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        QStringList names;
        for (const QGlyphRun &run : layout.glyphRuns()) {
            names.append(run.rawFont().familyName());
        }
        return names;
    };
    // Outside a Chinese locale, fallback alone would pick a Japanese family for Han.
    EXPECT_EQ(families(Appearance::font(14), QStringLiteral("安卓设备")), QStringList{chinese});
    EXPECT_EQ(families(ChineseFont::monospaced(), QStringLiteral("运行日志")), QStringList{chinese});
    const QStringList latin = families(Appearance::font(14), QStringLiteral("Linux"));
    ASSERT_EQ(latin.size(), 1);
    EXPECT_NE(latin.first(), chinese);
}

TEST(MotionTest, PressSpringSettlesWithASmallOvershoot)
{
    EXPECT_EQ(Motion::spring(0), 0);
    EXPECT_EQ(Motion::spring(1), 1);
    qreal peak = 0;
    for (int i = 0; i <= 100; ++i) {
        peak = std::max(peak, Motion::spring(i / 100.0));
    }
    // A damping fraction of 0.78 overshoots by about 2 %.
    EXPECT_GT(peak, 1.005);
    EXPECT_LT(peak, 1.04);
    EXPECT_NEAR(Motion::spring(0.7), 1.0, 0.01) << "settled well before the animation ends";
}

TEST(StepperTest, ShowsValuesWithinItsRangeAndAnnouncesOnlyTheUsersSteps)
{
    Stepper stepper(QStringLiteral("磁盘："), QStringLiteral(" GB"), {16, 40}, 8);
    QSignalSpy edited(&stepper, &Stepper::valueEdited);
    EXPECT_EQ(stepper.text(), QStringLiteral("磁盘：16 GB"));
    EXPECT_FALSE(stepper.decrementButton()->isEnabled());

    stepper.setValue(300);
    EXPECT_EQ(stepper.value(), 40) << "a stored value beyond the host is shown at the end";
    EXPECT_FALSE(stepper.incrementButton()->isEnabled());
    stepper.setRange({16, 24});
    EXPECT_EQ(stepper.text(), QStringLiteral("磁盘：24 GB"));
    EXPECT_EQ(edited.count(), 0) << "values from outside are only shown";

    stepper.setRange({16, 40});
    stepper.setValue(20);
    stepper.incrementButton()->click();
    stepper.incrementButton()->click();
    stepper.incrementButton()->click();
    EXPECT_EQ(stepper.value(), 40) << "an off-grid value stops at the end";
    ASSERT_EQ(edited.count(), 3);
    EXPECT_EQ(edited.at(2).at(0).toLongLong(), 40);
    EXPECT_FALSE(stepper.incrementButton()->isEnabled());
    stepper.decrementButton()->click();
    EXPECT_EQ(edited.last().at(0).toLongLong(), 32);

    EXPECT_EQ(Stepper::stepped(5, +1, 1, {1, 4}), 4) << "a value above the range comes back into it";
}

TEST(StepperTest, ButtonsFollowTheSentenceOrTheTrailingEdge)
{
    Stepper stepper(QStringLiteral("CPU："), QStringLiteral(" 核"), {1, 8});
    stepper.resize(400, 30);
    stepper.show();
    QCoreApplication::processEvents();
    EXPECT_LT(stepper.incrementButton()->geometry().right(), 200);

    stepper.setButtonsAtTrailingEdge(true);
    QCoreApplication::processEvents();
    EXPECT_EQ(stepper.incrementButton()->geometry().right(), stepper.width() - 1);
}

// The theme table and the gradient arithmetic of the styled panel: ramp steps
// and bands (rounding half to even), and the painted rows and columns of
// vertical and horizontal panels, worked out by hand from the colours.
#include "KGradient.h"
#include "KThemes.h"
#include "WidgetTestApp.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace widgets;
using widgettest::rgbAt;

namespace {

StylePanelLook lookOf(TKThemeTypes theme)
{
    const TKTheme *t = themeRecord(theme);
    StylePanelLook look;
    look.lineColor = themeColor(t->LineColor);
    look.gradientColor1 = themeColor(t->GradientColor1);
    look.gradientColor2 = themeColor(t->GradientColor2);
    look.gradientColor3 = themeColor(t->GradientColor3);
    look.gradientColor4 = themeColor(t->GradientColor4);
    look.gradientColor3DLight = themeColor(t->GradientColor3DLight);
    look.gradientColor3DDark = themeColor(t->GradientColor3DDark);
    look.gradientVertical = t->GradientVertical;
    return look;
}

QImage paint(const StylePanelLook &look, QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(widgettest::Unpainted);
    QPainter painter(&image);
    paintStylePanel(painter, look, size);
    return image;
}

} // namespace

TEST(Themes, TableHoldsTheNamedColourSets)
{
    EXPECT_EQ(themeRecord(thCustom), nullptr);
    for (int t = thHorizontalDark; t < ThemeTypeCount; ++t)
        EXPECT_NE(themeRecord(TKThemeTypes(t)), nullptr) << t;
    EXPECT_EQ(themeRecord(TKThemeTypes(ThemeTypeCount)), nullptr);
    EXPECT_EQ(int(thVerticalDark), 4);
    EXPECT_EQ(themeName(thXPLight), QStringLiteral("thXPLight"));

    // Spot checks across the columns of the table.
    const TKTheme &dark = *themeRecord(thVerticalDark);
    EXPECT_EQ(dark.GradientColor1, 0x444444u);
    EXPECT_EQ(dark.GradientColor4, 0x000000u);
    EXPECT_EQ(dark.GradientColor3DLight, 0x999999u);
    EXPECT_TRUE(dark.GradientVertical);
    EXPECT_EQ(themeRecord(thVerticalDarkDisabled)->GradientColor4, 0x111111u);
    EXPECT_FALSE(themeRecord(thHorizontalMedium)->GradientVertical);
    EXPECT_EQ(themeRecord(thHorizontalDark)->GradientColor3DDark, 0x333333u);
    EXPECT_EQ(themeRecord(thVerticalAquaDark)->GradientColor3, 0x181818u);
    EXPECT_EQ(themeRecord(thVerticalAquaDark)->GripColorLight, 0x999999u);
    EXPECT_EQ(themeRecord(thVerticalMedium)->GripColorLight, 0xBBBBBBu);
    EXPECT_EQ(themeRecord(thVerticalBlue)->GradientColor2, 0x0022CCu);
    EXPECT_EQ(themeRecord(thHorizontalLight)->GripColorDark, 0x888888u);
    EXPECT_EQ(themeRecord(thXPDark)->LineColor, 0x002D96u);
    EXPECT_EQ(themeRecord(thXPLight)->GradientColor3DLight, 0x5381D2u);
}

TEST(Themes, FocusSwapsOnlyTheDarkThemes)
{
    EXPECT_EQ(themeForApplicationState(thVerticalDark, false), thVerticalDarkDisabled);
    EXPECT_EQ(themeForApplicationState(thVerticalDarkDisabled, true), thVerticalDark);
    EXPECT_EQ(themeForApplicationState(thVerticalDark, true), thVerticalDark);
    EXPECT_EQ(themeForApplicationState(thVerticalDarkDisabled, false), thVerticalDarkDisabled);
    EXPECT_EQ(themeForApplicationState(thCustom, false), thCustom);
    EXPECT_EQ(themeForApplicationState(thVerticalAquaDark, false), thVerticalAquaDark);
}

TEST(Ramp, RoundsHalvesToTheEvenNeighbour)
{
    EXPECT_EQ(roundHalfEven(0.5), 0);
    EXPECT_EQ(roundHalfEven(1.5), 2);
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(32.5), 32);
    EXPECT_EQ(roundHalfEven(-0.5), 0);
    EXPECT_EQ(roundHalfEven(-1.5), -2);
    EXPECT_EQ(roundHalfEven(-0.75), -1);
    EXPECT_EQ(roundHalfEven(2.4999), 2);
    EXPECT_EQ(roundHalfEven(2.5001), 3);
}

TEST(Ramp, OneBandPerStepOfTheLargestChannel)
{
    // Red differs by 10: ten bands of 40 / 10 / 2 = 2 pixels plus one.
    const auto bands = colorRamp(QColor(0, 0, 0), QColor(10, 0, 0), 40);
    ASSERT_EQ(bands.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(bands[i].colour, QColor(i, 0, 0)) << i;
        EXPECT_EQ(bands[i].start, 2 * i) << i;
        EXPECT_EQ(bands[i].length, 3) << i;
    }
    // The end colour is never reached.
    EXPECT_EQ(bands.back().colour.red(), 9);
}

TEST(Ramp, BandStartsAndChannelStepsRoundHalfToEven)
{
    // s = 15 / 3 / 2 = 2.5: starts [0], [2.5], [5] and length [2.5] + 1.
    const auto bands = colorRamp(QColor(0, 0, 0), QColor(3, 0, 0), 15);
    ASSERT_EQ(bands.size(), 3u);
    EXPECT_EQ(bands[1].start, 2);
    EXPECT_EQ(bands[2].start, 5);
    EXPECT_EQ(bands[0].length, 3);

    // The smaller channels step by i * d / n: 0.5 goes to 0, -0.5 to 0, -0.75 to -1.
    const auto mixed = colorRamp(QColor(0, 10, 0), QColor(4, 9, 1), 8);
    ASSERT_EQ(mixed.size(), 4u);
    EXPECT_EQ(mixed[1].colour, QColor(1, 10, 0)); // 0.25, -0.25
    EXPECT_EQ(mixed[2].colour, QColor(2, 10, 0)); // 0.5 -> 0, -0.5 -> 0
    EXPECT_EQ(mixed[3].colour, QColor(3, 9, 1));  // 0.75 -> 1, -0.75 -> -1
}

TEST(Ramp, EqualColoursGiveOneBandOverHalfThePanelPlusOnePixel)
{
    const auto bands = colorRamp(QColor(0x22, 0x22, 0x22), QColor(0x22, 0x22, 0x22), 64);
    ASSERT_EQ(bands.size(), 1u);
    EXPECT_EQ(bands[0].colour, QColor(0x22, 0x22, 0x22));
    EXPECT_EQ(bands[0].start, 0);
    EXPECT_EQ(bands[0].length, 33);
}

TEST(VerticalGradient, TitlePanelRows)
{
    // 65 rows, border line on top: row 0 line, row 1 3D line, gradient from row 2.
    StylePanelLook look = lookOf(thVerticalDark);
    look.lineTop = look.lineLeft = look.lineRight = true;
    const QImage image = paint(look, QSize(100, 65));

    EXPECT_EQ(rgbAt(image, 50, 0), 0x000000u);
    EXPECT_EQ(rgbAt(image, 50, 1), 0x999999u);
    EXPECT_EQ(rgbAt(image, 0, 1), 0x000000u);  // left line over the 3D line
    EXPECT_EQ(rgbAt(image, 99, 1), 0x000000u); // right line
    EXPECT_EQ(rgbAt(image, 50, 2), 0x444444u); // first upper band
    // 34 steps of s = 65 / 68 px; row 31 is step 30 (0x44 - 30), the lower half
    // starts two rows above the middle (2 + 32 - 2 = 32) with its first colour.
    EXPECT_EQ(rgbAt(image, 50, 31), 0x262626u);
    EXPECT_EQ(rgbAt(image, 50, 32), 0x222222u);
    EXPECT_EQ(rgbAt(image, 50, 63), 0x020202u);
    EXPECT_EQ(rgbAt(image, 50, 64), 0x010101u); // last step; 000000 itself is never painted
    for (int y = 0; y < 65; ++y)
        for (int x : {0, 1, 50, 98, 99})
            ASSERT_NE(image.pixel(x, y), widgettest::Unpainted) << x << "," << y;
}

TEST(VerticalGradient, WithoutTopLineThe3DLineIsRowZero)
{
    const QImage image = paint(lookOf(thVerticalDark), QSize(40, 65));
    EXPECT_EQ(rgbAt(image, 10, 0), 0x999999u);
    EXPECT_EQ(rgbAt(image, 10, 1), 0x444444u);
}

TEST(VerticalGradient, ShortPanelFillsTheRowRoundingLeavesOpen)
{
    // 21 rows: the lower half starts at 1 + 10 - 2 = 9, its bands are one row
    // each and the last one ends at row 19, so row 20 takes its colour.
    StylePanelLook look = lookOf(thVerticalDark);
    QImage image = paint(look, QSize(60, 21));
    EXPECT_EQ(rgbAt(image, 30, 9), 0x212121u); // step 1 painted over step 0 on the same row
    EXPECT_EQ(rgbAt(image, 30, 19), 0x010101u);
    EXPECT_EQ(rgbAt(image, 30, 20), 0x010101u);

    // With a bottom line that row is the line (the status panel).
    look.lineBottom = true;
    image = paint(look, QSize(60, 21));
    EXPECT_EQ(rgbAt(image, 30, 19), 0x010101u);
    EXPECT_EQ(rgbAt(image, 30, 20), 0x000000u);
}

TEST(VerticalGradient, DisabledThemeIsLighter)
{
    const QImage dark = paint(lookOf(thVerticalDark), QSize(50, 65));
    const QImage disabled = paint(lookOf(thVerticalDarkDisabled), QSize(50, 65));
    EXPECT_EQ(rgbAt(disabled, 10, 1), 0x555555u);
    EXPECT_EQ(rgbAt(disabled, 10, 64), 0x121212u);
    for (int y = 1; y < 65; ++y)
        EXPECT_GT(qRed(disabled.pixel(10, y)), qRed(dark.pixel(10, y))) << y;
}

TEST(HorizontalGradient, ColumnsAndThe3DLine)
{
    // thHorizontalMedium: 666666 -> BBBBBB | BBBBBB -> 666666 (85 steps),
    // 3D line dark 999999 at both ends and light EEEEEE in the middle.
    const QImage image = paint(lookOf(thHorizontalMedium), QSize(200, 30));
    EXPECT_EQ(rgbAt(image, 0, 0), 0x999999u);
    EXPECT_EQ(rgbAt(image, 100, 0), 0xEEEEEEu);
    // Segments run up to their band's end: the last column is step 83's
    // (0xEE - 83), step 84 starts only after it.
    EXPECT_EQ(rgbAt(image, 199, 0), 0x9B9B9Bu);
    EXPECT_EQ(rgbAt(image, 1, 0), 0x999999u);
    EXPECT_EQ(rgbAt(image, 2, 0), 0x9A9A9Au);
    EXPECT_GT(qRed(image.pixel(60, 0)), qRed(image.pixel(20, 0)));
    EXPECT_GT(qRed(image.pixel(140, 0)), qRed(image.pixel(180, 0)));

    for (int y : {1, 15, 29}) {
        EXPECT_EQ(rgbAt(image, 0, y), 0x666666u) << y;
        EXPECT_EQ(rgbAt(image, 99, y), 0xBABABAu) << y;
        EXPECT_EQ(rgbAt(image, 100, y), 0xBBBBBBu) << y;
        EXPECT_EQ(rgbAt(image, 199, y), 0x676767u) << y;
    }
    for (int x = 0; x < 200; ++x)
        ASSERT_NE(image.pixel(x, 29), widgettest::Unpainted) << x;
}

TEST(PanelFill, WithoutGradientThePanelIsItsColourUnderTheLines)
{
    StylePanelLook look = lookOf(thVerticalDark);
    look.gradient = false;
    look.color = QColor(0x12, 0x34, 0x56);
    look.lineBottom = true;
    look.lineColor = QColor(0xAB, 0xCD, 0xEF);
    const QImage image = paint(look, QSize(30, 10));
    EXPECT_EQ(rgbAt(image, 5, 0), 0x123456u); // no 3D line
    EXPECT_EQ(rgbAt(image, 5, 5), 0x123456u);
    EXPECT_EQ(rgbAt(image, 5, 9), 0xABCDEFu);
    EXPECT_EQ(rgbAt(image, 0, 9), 0xABCDEFu);
}

TEST(PanelFill, PlanStaysInsideTheClientArea)
{
    StylePanelLook look = lookOf(thVerticalDark);
    look.lineTop = look.lineBottom = look.lineLeft = look.lineRight = true;
    const QRect client(0, 0, 120, 65);
    const auto plan = stylePanelPaintPlan(look, client.size());
    // 34 bands per half, the 3D line and four border lines.
    EXPECT_LE(plan.size(), 34u * 2 + 1 + 4);
    for (const PaintStep &step : plan)
        EXPECT_TRUE(client.contains(step.rect)) << step.rect.x() << "," << step.rect.y();
    EXPECT_TRUE(stylePanelPaintPlan(look, QSize(0, 65)).empty());
}

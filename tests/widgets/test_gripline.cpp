// TKGripLine: dot count and placement for both orientations and dot sizes, the
// pixels of a dot, and the theme and colour properties.
#include "KGripLine.h"
#include "WidgetTestApp.h"

#include <gtest/gtest.h>

using namespace widgets;
using widgettest::rgbAt;

TEST(GripDots, CountAndPitchAlongTheLine)
{
    auto vertical = gripDotPositions({4, 38}, true, false, taLeftJustify, tlTop);
    ASSERT_EQ(vertical.size(), 9u);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(vertical[i], QPoint(0, 4 * i));
    EXPECT_EQ(gripDotPositions({4, 17}, true, false, taLeftJustify, tlTop).size(), 4u);

    auto small = gripDotPositions({20, 5}, false, true, taLeftJustify, tlTop);
    ASSERT_EQ(small.size(), 6u);
    EXPECT_EQ(small[5], QPoint(15, 0));
    EXPECT_TRUE(gripDotPositions({2, 2}, true, false, taLeftJustify, tlTop).empty());
}

TEST(GripDots, CrossPositionFromAlignmentOrLayout)
{
    // Vertical lines follow the alignment; the layout does not matter.
    EXPECT_EQ(gripDotPositions({10, 8}, true, false, taRightJustify, tlBottom)[0].x(), 7);
    EXPECT_EQ(gripDotPositions({10, 8}, true, true, taRightJustify, tlTop)[0].x(), 8);
    EXPECT_EQ(gripDotPositions({10, 8}, true, false, taCenter, tlTop)[0].x(), 3);
    EXPECT_EQ(gripDotPositions({11, 8}, true, true, taCenter, tlTop)[0].x(), 3);
    EXPECT_EQ(gripDotPositions({10, 8}, true, false, taLeftJustify, tlBottom)[0].x(), 0);
    // Horizontal lines follow the layout.
    EXPECT_EQ(gripDotPositions({8, 10}, false, false, taRightJustify, tlBottom)[0].y(), 7);
    EXPECT_EQ(gripDotPositions({8, 10}, false, true, taLeftJustify, tlBottom)[0].y(), 8);
    EXPECT_EQ(gripDotPositions({8, 10}, false, false, taLeftJustify, tlCenter)[0].y(), 3);
    EXPECT_EQ(gripDotPositions({8, 10}, false, false, taRightJustify, tlTop)[0].y(), 0);
    // Too narrow for the dot: never left of the line.
    EXPECT_EQ(gripDotPositions({2, 8}, true, false, taRightJustify, tlTop)[0].x(), 0);
    EXPECT_EQ(gripDotPositions({3, 8}, true, false, taCenter, tlTop)[0].x(), 0);
}

TEST(GripLineWidget, PaintsEmbossedDotsAndNothingElse)
{
    widgettest::app();
    TKGripLine line;
    EXPECT_EQ(line.size(), QSize(30, 30));
    EXPECT_TRUE(line.Transparent());
    EXPECT_FALSE(line.AutoSize());
    EXPECT_EQ(line.Color3DDark(), QColor(Qt::black));
    EXPECT_EQ(line.Color3DLight(), QColor(Qt::white));

    line.resize(6, 9);
    line.setVertical(true);
    line.setTheme(thVerticalAquaDark);
    line.setCaption(QStringLiteral("never drawn"));
    QImage image = widgettest::rendered(line);
    // Two large dots at y 0 and 4: dark top-left, light bottom-right.
    for (int y0 : {0, 4}) {
        EXPECT_EQ(rgbAt(image, 0, y0), 0x000000u);
        EXPECT_EQ(rgbAt(image, 1, y0), 0x000000u);
        EXPECT_EQ(rgbAt(image, 0, y0 + 1), 0x000000u);
        EXPECT_EQ(rgbAt(image, 2, y0 + 1), 0x999999u);
        EXPECT_EQ(rgbAt(image, 2, y0 + 2), 0x999999u);
        EXPECT_EQ(rgbAt(image, 1, y0 + 2), 0x999999u);
        EXPECT_EQ(image.pixel(1, y0 + 1), widgettest::Unpainted);
        EXPECT_EQ(image.pixel(2, y0), widgettest::Unpainted);
        EXPECT_EQ(image.pixel(0, y0 + 2), widgettest::Unpainted);
    }
    EXPECT_EQ(image.pixel(0, 8), widgettest::Unpainted); // 9 div 4 = 2 dots
    for (int x = 3; x < 6; ++x)
        for (int y = 0; y < 9; ++y)
            ASSERT_EQ(image.pixel(x, y), widgettest::Unpainted) << x << "," << y;

    line.setSmallDots(true);
    image = widgettest::rendered(line);
    EXPECT_EQ(rgbAt(image, 0, 3), 0x000000u);
    EXPECT_EQ(rgbAt(image, 1, 4), 0x999999u);
    EXPECT_EQ(image.pixel(1, 3), widgettest::Unpainted);
    EXPECT_EQ(rgbAt(image, 0, 6), 0x000000u);
}

TEST(GripLineWidget, ColoursAndTheme)
{
    widgettest::app();
    TKGripLine line;
    line.setTheme(thHorizontalLight);
    EXPECT_EQ(line.Color3DDark(), QColor(0x888888));
    EXPECT_EQ(line.Color3DLight(), QColor(0xFFFFFF));
    line.setColor3DLight(QColor(0xFFFFFF)); // same colour: the theme stays
    EXPECT_EQ(line.Theme(), thHorizontalLight);
    line.setColor3DDark(QColor(0x102030));
    EXPECT_EQ(line.Theme(), thCustom);
    line.setTheme(thCustom);
    EXPECT_EQ(line.Color3DDark(), QColor(0x102030));

    line.resize(8, 3);
    line.setColor3DLight(QColor(0xA0B0C0));
    const QImage image = widgettest::rendered(line);
    EXPECT_EQ(rgbAt(image, 4, 0), 0x102030u);
    EXPECT_EQ(rgbAt(image, 6, 2), 0xA0B0C0u);
}

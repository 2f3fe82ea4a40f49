// The main window's drop shadow: where it lies, when it shows, that it never
// dims the window or takes its input, and that it follows the window.
#include "WidgetTestApp.h"
#include "WindowShadow.h"

#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

using namespace widgets;

namespace {

TEST(WindowShadowPlace, BelowAndRightOfTheFrameInEveryStateThatShowsIt)
{
    EXPECT_EQ(shadowGeometry(QRect(100, 50, 800, 600)), QRect(106, 56, 800, 600));
    EXPECT_EQ(shadowGeometry(QRect(0, 0, 10, 10), 3), QRect(3, 3, 10, 10));

    EXPECT_TRUE(castsShadow(true, Qt::WindowNoState));
    EXPECT_TRUE(castsShadow(true, Qt::WindowActive));
    EXPECT_FALSE(castsShadow(false, Qt::WindowNoState));
    EXPECT_FALSE(castsShadow(true, Qt::WindowMinimized));
    EXPECT_FALSE(castsShadow(true, Qt::WindowMaximized));
    EXPECT_FALSE(castsShadow(true, Qt::WindowFullScreen));
    EXPECT_FALSE(castsShadow(true, Qt::WindowMaximized | Qt::WindowActive));
}

int alphaAt(const QImage &image, int x, int y)
{
    return qAlpha(image.pixel(x, y));
}

TEST(WindowShadowPaint, ABandRightAndBelowDarkestInsideAndNothingOverTheBox)
{
    const QSize box(60, 40);
    const int depth = 6;
    QImage image(box.width() + depth, box.height() + depth, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        paintSoftShadow(painter, box, depth, true);
    }
    // The box itself stays clear, also where the shadow lies under it.
    for (int y = 0; y < box.height(); y += 3)
        for (int x = 0; x < box.width(); x += 3)
            ASSERT_EQ(alphaAt(image, x, y), 0) << x << "," << y;
    // Above the shadow's top, right of the box: nothing.
    EXPECT_EQ(alphaAt(image, box.width() + 2, 1), 0);
    // The band: present, and deeper towards the middle of the shadow.
    const int y = box.height() / 2;
    EXPECT_GT(alphaAt(image, box.width(), y), 0);
    EXPECT_GT(alphaAt(image, box.width(), y), alphaAt(image, box.width() + depth - 1, y));
    EXPECT_GT(alphaAt(image, box.width() / 2, box.height()), alphaAt(image, box.width() / 2, box.height() + depth - 1));
    // Faint: a shadow, not a black edge.
    EXPECT_LT(alphaAt(image, box.width(), y), 128);
}

TEST(WindowShadowPaint, WithoutClearingTheBoxItIsCoveredToo)
{
    // The About box draws its own items over the shadow and needs no clip.
    QImage image(20, 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        paintSoftShadow(painter, QSize(14, 14), 6, false);
    }
    EXPECT_GT(alphaAt(image, 10, 10), 0);
}

struct WindowShadowFollows : widgettest::WithApp, ::testing::Test {
    QWidget window{nullptr, Qt::Window | Qt::FramelessWindowHint};
};

TEST_F(WindowShadowFollows, MovesResizesAndHidesWithTheWindow)
{
    window.setGeometry(120, 80, 300, 200);
    WindowShadow shadow(&window);
    EXPECT_FALSE(shadow.isVisible()) << "no shadow before the window shows";

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(shadow.isVisible());
    EXPECT_EQ(shadow.geometry(), window.frameGeometry().translated(ShadowDepth, ShadowDepth));

    window.move(200, 150);
    QCoreApplication::processEvents();
    EXPECT_EQ(shadow.geometry(), window.frameGeometry().translated(ShadowDepth, ShadowDepth));
    window.resize(420, 260);
    QCoreApplication::processEvents();
    EXPECT_EQ(shadow.geometry().size(), QSize(420, 260));

    window.showMaximized();
    QCoreApplication::processEvents();
    EXPECT_FALSE(shadow.isVisible()) << "a maximised window casts none";
    window.showNormal();
    QCoreApplication::processEvents();
    EXPECT_TRUE(shadow.isVisible());

    window.hide();
    EXPECT_FALSE(shadow.isVisible());
}

TEST_F(WindowShadowFollows, TakesNoInputNoFocusAndNoTaskbarEntry)
{
    WindowShadow shadow(&window);
    const Qt::WindowFlags flags = shadow.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowTransparentForInput));
    EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(shadow.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(shadow.testAttribute(Qt::WA_ShowWithoutActivating));
}

} // namespace

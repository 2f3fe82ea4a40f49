// The main window casts its drop shadow exactly where the window system can
// show translucency (IsWindowsXP), and the shadow goes with the window.
#include "ProgramTest.h"
#include "SharedTools.h"

#include <QApplication>
#include <QTest>

namespace {

QWidget *shadowWindow()
{
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->objectName() == QLatin1String("WindowShadow"))
            return top;
    return nullptr;
}

class MainWindowShadowTest : public ProgramTest {
protected:
    void TearDown() override
    {
        app::setWindowsXPForTests(std::nullopt);
        ProgramTest::TearDown();
    }
};

TEST_F(MainWindowShadowTest, ShownWithTranslucencyAndGoneWithTheWindow)
{
    app::setWindowsXPForTests(true);
    start();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    QWidget *shadow = shadowWindow();
    ASSERT_NE(shadow, nullptr);
    EXPECT_TRUE(shadow->isVisible());
    EXPECT_EQ(shadow->geometry().topLeft(), w->frameGeometry().topLeft() + QPoint(6, 6));
    w->hide();
    QCoreApplication::processEvents();
    EXPECT_FALSE(shadow->isVisible());
}

TEST_F(MainWindowShadowTest, NoneWithoutTranslucency)
{
    app::setWindowsXPForTests(false);
    start();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    EXPECT_EQ(shadowWindow(), nullptr);
}

} // namespace

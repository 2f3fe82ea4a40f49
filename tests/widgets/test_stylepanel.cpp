// TKStylePanel: properties and themes, what it paints, and its frame behaviour
// on a window - zones and cursors, the resize and move requests a press makes,
// the window dragged by the panel itself where the window manager cannot, and
// maximise/restore on double click. The main window's title bar is rendered
// into stylepanel.png in the build folder for the documentation.
#include "KGripLine.h"
#include "KImageList.h"
#include "KLinkLabel.h"
#include "KStylePanel.h"
#include "TestSupport.h"
#include "WidgetTestApp.h"

#include <QDir>
#include <QLabel>
#include <QMouseEvent>

#include <gtest/gtest.h>

using namespace widgets;
using widgettest::rgbAt;

namespace {

// Records the window-manager requests instead of making them; answers with
// `accept` so the panel's own dragging can be tried as well.
class RecordingPanel : public TKStylePanel {
public:
    using TKStylePanel::TKStylePanel;
    std::vector<Qt::Edges> resizes;
    int moves = 0;
    bool accept = true;

protected:
    bool requestSystemResize(Qt::Edges edges) override
    {
        resizes.push_back(edges);
        return accept;
    }
    bool requestSystemMove() override
    {
        ++moves;
        return accept;
    }
};

void send(QWidget *target, QEvent::Type type, QPoint local, Qt::MouseButtons buttons = Qt::LeftButton)
{
    const QPointF global = target->mapToGlobal(QPointF(local));
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    if (type == QEvent::MouseButtonRelease)
        buttons = Qt::NoButton;
    QMouseEvent event(type, QPointF(local), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// A frameless window laid out like the main window: title panel on top,
// status panel at the bottom.
struct Form : widgettest::WithApp {
    QWidget window;
    RecordingPanel *title;
    RecordingPanel *status;

    Form()
    {
        window.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        window.setMinimumSize(650, 450);
        window.setGeometry(100, 100, 935, 713);
        title = new RecordingPanel(&window);
        title->setGeometry(0, 0, 935, 65);
        title->setTheme(thVerticalDark);
        title->setLineTop(true);
        title->setLineLeft(true);
        title->setLineRight(true);
        title->setFormMove(true);
        title->setFormResize(true);
        title->setFormMaximize(true);
        status = new RecordingPanel(&window);
        status->setGeometry(0, 692, 935, 21);
        status->setTheme(thVerticalDark);
        status->setLineBottom(true);
        status->setLineLeft(true);
        status->setLineRight(true);
        status->setFormResize(true);
    }
};

} // namespace

TEST(StylePanelProperties, DefaultsAndManualColoursLeaveTheTheme)
{
    widgettest::app();
    TKStylePanel panel;
    EXPECT_FALSE(panel.LineTop() || panel.LineBottom() || panel.LineLeft() || panel.LineRight());
    EXPECT_EQ(panel.LineColor(), QColor(Qt::black));
    EXPECT_EQ(panel.GradientColor1(), QColor(0x666666));
    EXPECT_EQ(panel.GradientColor2(), QColor(0xBBBBBB));
    EXPECT_EQ(panel.GradientColor3(), QColor(0xBBBBBB));
    EXPECT_EQ(panel.GradientColor4(), QColor(0x666666));
    EXPECT_EQ(panel.GradientColor3DLight(), QColor(0xEEEEEE));
    EXPECT_EQ(panel.GradientColor3DDark(), QColor(0x999999));
    EXPECT_FALSE(panel.GradientVertical());
    EXPECT_TRUE(panel.Gradient());
    EXPECT_FALSE(panel.FormResize() || panel.FormMove() || panel.FormMaximize());
    EXPECT_EQ(panel.Theme(), thCustom);

    panel.setGradient(false);
    panel.setTheme(thVerticalAquaDark);
    EXPECT_TRUE(panel.Gradient()); // a theme switches the gradient back on
    EXPECT_TRUE(panel.GradientVertical());
    EXPECT_EQ(panel.GradientColor3(), QColor(0x181818));
    EXPECT_EQ(panel.GradientColor3DLight(), QColor(0x666666));

    panel.setGradientColor1(QColor(0x666666)); // the theme's own value: nothing happens
    EXPECT_EQ(panel.Theme(), thVerticalAquaDark);
    panel.setLineTop(true); // the line flags are not colours
    EXPECT_EQ(panel.Theme(), thVerticalAquaDark);

    panel.setGradientColor1(QColor(0x123456));
    EXPECT_EQ(panel.Theme(), thCustom);
    panel.setTheme(thCustom); // keeps the colours
    EXPECT_EQ(panel.GradientColor1(), QColor(0x123456));
    EXPECT_EQ(panel.GradientColor2(), QColor(0x333333));

    for (auto change : std::initializer_list<std::function<void()>>{
             [&] { panel.setLineColor(Qt::red); }, [&] { panel.setGradientColor4(Qt::red); },
             [&] { panel.setGradientColor3DDark(Qt::red); }, [&] { panel.setGradientVertical(false); },
             [&] { panel.setGradient(false); }}) {
        panel.setTheme(thVerticalDark);
        change();
        EXPECT_EQ(panel.Theme(), thCustom);
    }
}

TEST(StylePanelPaint, RendersItsThemeAndFollowsTheApplicationFocus)
{
    widgettest::app();
    QWidget owner;
    auto *title = new TKStylePanel(&owner);
    title->resize(120, 65);
    title->setTheme(thVerticalDark);
    title->setLineTop(true);
    auto *status = new TKStylePanel(&owner);
    status->resize(120, 21);
    status->setTheme(thVerticalDark);
    auto *blue = new TKStylePanel(&owner);
    blue->resize(120, 21);
    blue->setTheme(thVerticalBlue);
    auto *custom = new TKStylePanel(&owner);
    custom->resize(120, 21);
    custom->setTheme(thVerticalDark);
    custom->setGradientColor2(QColor(0x202020));

    QImage image = widgettest::rendered(*title);
    EXPECT_EQ(rgbAt(image, 60, 0), 0x000000u);
    EXPECT_EQ(rgbAt(image, 60, 1), 0x999999u);
    EXPECT_EQ(rgbAt(image, 60, 2), 0x444444u);
    EXPECT_EQ(rgbAt(image, 60, 64), 0x010101u);

    applyApplicationActive(&owner, false);
    EXPECT_EQ(title->Theme(), thVerticalDarkDisabled);
    EXPECT_EQ(status->Theme(), thVerticalDarkDisabled);
    EXPECT_EQ(blue->Theme(), thVerticalBlue);
    EXPECT_EQ(custom->Theme(), thCustom);
    EXPECT_EQ(custom->GradientColor1(), QColor(0x444444));
    image = widgettest::rendered(*title);
    EXPECT_EQ(rgbAt(image, 60, 2), 0x555555u);
    EXPECT_EQ(rgbAt(image, 60, 64), 0x121212u);

    applyApplicationActive(&owner, true);
    EXPECT_EQ(title->Theme(), thVerticalDark);
    EXPECT_EQ(status->Theme(), thVerticalDark);
    EXPECT_EQ(rgbAt(widgettest::rendered(*title), 60, 2), 0x444444u);
}

TEST(WindowZones, EdgesCornersCursorsAndCommands)
{
    const QSize form(935, 713);
    struct Case {
        QPoint p;
        WindowZone zone;
        Qt::CursorShape cursor;
        int command;
    } cases[] = {
        {{400, 300}, WindowZone::Inner, Qt::ArrowCursor, 0},
        {{5, 5}, WindowZone::Inner, Qt::ArrowCursor, 0},
        {{930, 708}, WindowZone::Inner, Qt::ArrowCursor, 0},
        {{4, 300}, WindowZone::Left, Qt::SizeHorCursor, 0xF001},
        {{931, 300}, WindowZone::Right, Qt::SizeHorCursor, 0xF002},
        {{400, 4}, WindowZone::Top, Qt::SizeVerCursor, 0xF003},
        {{0, 0}, WindowZone::TopLeft, Qt::SizeFDiagCursor, 0xF004},
        {{934, 4}, WindowZone::TopRight, Qt::SizeBDiagCursor, 0xF005},
        {{400, 709}, WindowZone::Bottom, Qt::SizeVerCursor, 0xF006},
        {{4, 712}, WindowZone::BottomLeft, Qt::SizeBDiagCursor, 0xF007},
        {{931, 709}, WindowZone::BottomRight, Qt::SizeFDiagCursor, 0xF008},
    };
    for (const Case &c : cases) {
        const WindowZone zone = windowZoneAt(c.p, form);
        EXPECT_EQ(zone, c.zone) << c.p.x() << "," << c.p.y();
        EXPECT_EQ(zoneCursor(zone), c.cursor) << c.p.x() << "," << c.p.y();
        EXPECT_EQ(int(zoneSizeCommand(zone)), c.command) << c.p.x() << "," << c.p.y();
    }
    EXPECT_EQ(zoneEdges(WindowZone::BottomLeft), Qt::BottomEdge | Qt::LeftEdge);
    EXPECT_EQ(zoneEdges(WindowZone::Right), Qt::Edges(Qt::RightEdge));
    EXPECT_EQ(zoneEdges(WindowZone::Inner), Qt::Edges());
}

TEST(WindowZones, WhatAPressDoes)
{
    const QSize form(935, 713);
    // Title panel (resize and move): edges resize, the inner area moves.
    EXPECT_EQ(pressActionAt({400, 2}, form, true, true).command(), scSizeTop);
    EXPECT_EQ(pressActionAt({2, 2}, form, true, true).command(), scSizeTopLeft);
    EXPECT_EQ(pressActionAt({2, 30}, form, true, true).command(), scSizeLeft);
    EXPECT_EQ(pressActionAt({400, 30}, form, true, true).command(), scMoveCaption);
    // Status panel (resize only): the inner area does nothing.
    EXPECT_EQ(pressActionAt({400, 710}, form, true, false).command(), scSizeBottom);
    EXPECT_EQ(pressActionAt({933, 710}, form, true, false).command(), scSizeBottomRight);
    EXPECT_EQ(pressActionAt({400, 700}, form, true, false).kind, PressAction::None);
    // Move without resize: the edges move too.
    EXPECT_EQ(pressActionAt({400, 2}, form, false, true).command(), scMoveCaption);
    EXPECT_EQ(pressActionAt({400, 2}, form, false, false).kind, PressAction::None);
}

TEST(WindowZones, PanelDraggedGeometryKeepsTheOppositeEdgesAndTheMinimum)
{
    const QRect start(100, 100, 935, 713);
    const QSize minimum(650, 450);
    EXPECT_EQ(draggedGeometry(start, WindowZone::Inner, {-30, 12}, minimum), QRect(70, 112, 935, 713));
    EXPECT_EQ(draggedGeometry(start, WindowZone::Right, {40, 99}, minimum), QRect(100, 100, 975, 713));
    EXPECT_EQ(draggedGeometry(start, WindowZone::TopLeft, {20, 30}, minimum), QRect(120, 130, 915, 683));
    // Shrinking stops at the minimum, the right and bottom edges stay put.
    EXPECT_EQ(draggedGeometry(start, WindowZone::TopLeft, {500, 500}, minimum), QRect(385, 363, 650, 450));
    EXPECT_EQ(draggedGeometry(start, WindowZone::BottomRight, {-500, -500}, minimum), QRect(100, 100, 650, 450));
}

TEST(StylePanelFrame, CursorFollowsTheZonesOnlyWithFormResize)
{
    Form f;
    send(f.title, QEvent::MouseMove, {2, 30}, Qt::NoButton);
    EXPECT_EQ(f.title->cursor().shape(), Qt::SizeHorCursor);
    send(f.title, QEvent::MouseMove, {933, 1}, Qt::NoButton);
    EXPECT_EQ(f.title->cursor().shape(), Qt::SizeBDiagCursor);
    send(f.title, QEvent::MouseMove, {400, 30}, Qt::NoButton);
    EXPECT_FALSE(f.title->testAttribute(Qt::WA_SetCursor));
    send(f.status, QEvent::MouseMove, {933, 18}, Qt::NoButton); // form y 710
    EXPECT_EQ(f.status->cursor().shape(), Qt::SizeFDiagCursor);

    f.title->setFormResize(false);
    send(f.title, QEvent::MouseMove, {400, 1}, Qt::NoButton);
    EXPECT_FALSE(f.title->testAttribute(Qt::WA_SetCursor));
}

TEST(StylePanelFrame, PressesRequestResizeOrMove)
{
    Form f;
    f.window.show();
    send(f.title, QEvent::MouseButtonPress, {400, 2});
    send(f.title, QEvent::MouseButtonRelease, {400, 2});
    send(f.title, QEvent::MouseButtonPress, {933, 30});
    send(f.title, QEvent::MouseButtonRelease, {933, 30});
    ASSERT_EQ(f.title->resizes.size(), 2u);
    EXPECT_EQ(f.title->resizes[0], Qt::Edges(Qt::TopEdge));
    EXPECT_EQ(f.title->resizes[1], Qt::Edges(Qt::RightEdge));
    EXPECT_EQ(f.title->moves, 0);

    // The move starts once the mouse is dragged, so a double click stays a double click.
    send(f.title, QEvent::MouseButtonPress, {400, 30});
    EXPECT_EQ(f.title->moves, 0);
    send(f.title, QEvent::MouseMove, {401, 30});
    EXPECT_EQ(f.title->moves, 0);
    send(f.title, QEvent::MouseMove, {400 + QApplication::startDragDistance() + 5, 30});
    EXPECT_EQ(f.title->moves, 1);
    send(f.title, QEvent::MouseMove, {480, 40});
    EXPECT_EQ(f.title->moves, 1);
    send(f.title, QEvent::MouseButtonRelease, {480, 40});
    EXPECT_TRUE(f.title->resizes.size() == 2u);

    // Status panel: the bottom edge resizes, the inner area does nothing.
    send(f.status, QEvent::MouseButtonPress, {2, 18});
    send(f.status, QEvent::MouseButtonRelease, {2, 18});
    send(f.status, QEvent::MouseButtonPress, {400, 10});
    send(f.status, QEvent::MouseMove, {480, 10});
    send(f.status, QEvent::MouseButtonRelease, {480, 10});
    ASSERT_EQ(f.status->resizes.size(), 1u);
    EXPECT_EQ(f.status->resizes[0], Qt::BottomEdge | Qt::LeftEdge);
    EXPECT_EQ(f.status->moves, 0);
}

TEST(StylePanelFrame, DragsTheWindowItselfWhenTheWindowManagerCannot)
{
    Form f;
    f.title->accept = false;
    f.status->accept = false;
    f.window.show();
    const QRect start = f.window.geometry();

    send(f.title, QEvent::MouseButtonPress, {400, 30});
    send(f.title, QEvent::MouseMove, {420, 30}); // starts the move
    send(f.title, QEvent::MouseMove, {450, 50});
    send(f.title, QEvent::MouseButtonRelease, {450, 50});
    EXPECT_EQ(f.window.geometry(), start.translated(50, 20));
    // After the release, moving the mouse moves nothing.
    send(f.title, QEvent::MouseMove, {300, 30}, Qt::NoButton);
    EXPECT_EQ(f.window.geometry(), start.translated(50, 20));

    const QRect moved = f.window.geometry();
    send(f.status, QEvent::MouseButtonPress, {933, 18});
    send(f.status, QEvent::MouseMove, {963, 38});
    send(f.status, QEvent::MouseButtonRelease, {963, 38});
    EXPECT_EQ(f.window.geometry(), QRect(moved.topLeft(), moved.size() + QSize(30, 20)));
}

TEST(StylePanelFrame, DoubleClickMaximisesAndRestores)
{
    Form f;
    f.window.show();
    send(f.title, QEvent::MouseButtonDblClick, {400, 30});
    EXPECT_TRUE(f.window.windowState() & Qt::WindowMaximized);
    send(f.title, QEvent::MouseButtonDblClick, {400, 30});
    EXPECT_FALSE(f.window.windowState() & Qt::WindowMaximized);

    // The status panel has FormMaximize off.
    send(f.status, QEvent::MouseButtonDblClick, {400, 10});
    EXPECT_FALSE(f.window.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(f.title->moves + f.status->moves, 0);
}

TEST(StylePanelFrame, PanelInsideAPanelLeavesTheWindowAlone)
{
    Form f;
    f.window.show();
    auto *inner = new RecordingPanel(f.title);
    inner->setGeometry(0, 0, 200, 40);
    inner->setFormResize(true);
    inner->setFormMove(true);
    inner->setFormMaximize(true);

    send(inner, QEvent::MouseMove, {1, 1}, Qt::NoButton);
    EXPECT_FALSE(inner->testAttribute(Qt::WA_SetCursor));
    send(inner, QEvent::MouseButtonPress, {1, 1});
    send(inner, QEvent::MouseMove, {60, 30});
    send(inner, QEvent::MouseButtonRelease, {60, 30});
    send(inner, QEvent::MouseButtonDblClick, {20, 20});
    EXPECT_TRUE(inner->resizes.empty());
    EXPECT_EQ(inner->moves, 0);
    // Nor does the outer panel act for it.
    EXPECT_TRUE(f.title->resizes.empty());
    EXPECT_EQ(f.title->moves, 0);
    EXPECT_FALSE(f.window.windowState() & Qt::WindowMaximized);
}

TEST(StylePanelFrame, CaptionLabelsDragTheWindowButtonsDoNot)
{
    Form f;
    f.window.show();
    auto *caption = new QLabel(QStringLiteral("Database Table Viewer"), f.title);
    caption->setGeometry(56, 46, 150, 15);
    auto *button = new TKLinkLabel(f.title);
    button->setGeometry(915, 6, 16, 16);

    send(button, QEvent::MouseButtonPress, {8, 8});
    send(button, QEvent::MouseMove, {30, 8});
    send(button, QEvent::MouseButtonRelease, {30, 8});
    EXPECT_EQ(f.title->moves, 0);

    send(caption, QEvent::MouseButtonPress, {10, 5});
    send(caption, QEvent::MouseMove, {40, 5});
    send(caption, QEvent::MouseButtonRelease, {40, 5});
    EXPECT_EQ(f.title->moves, 1);
}

TEST(StylePanelFrame, EnterAndLeaveNotifyWithThePanel)
{
    widgettest::app();
    TKStylePanel panel;
    std::vector<std::pair<TKStylePanel *, bool>> seen;
    panel.OnMouseEnter = [&](TKStylePanel &sender) { seen.push_back({&sender, true}); };
    panel.OnMouseLeave = [&](TKStylePanel &sender) { seen.push_back({&sender, false}); };
    QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
    QApplication::sendEvent(&panel, &enter);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&panel, &leave);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_pair(&panel, true));
    EXPECT_EQ(seen[1], std::make_pair(&panel, false));
}

TEST(StylePanelPicture, TitleBarOfTheMainWindow)
{
    // The title and status panels as the main window builds them, with the
    // window buttons and grip lines on them; saved for the documentation.
    widgettest::app();
    QWidget form;
    form.resize(935, 140);
    QPalette grey = form.palette();
    grey.setColor(QPalette::Window, QColor(0xF0, 0xF0, 0xF0));
    form.setPalette(grey);
    form.setAutoFillBackground(true);
    auto *title = new TKStylePanel(&form);
    title->setGeometry(0, 0, 935, 65);
    title->setTheme(thVerticalDark);
    title->setLineTop(true);
    title->setLineLeft(true);
    title->setLineRight(true);
    auto *caption = new QLabel(QStringLiteral("Database Table Viewer"), title);
    caption->setStyleSheet(QStringLiteral("color: silver; background: transparent;"));
    caption->move(56, 46);
    caption->adjustSize();
    auto *product = new QLabel(QStringLiteral("<b>brisvel ostrel</b> 2005"), title);
    product->setStyleSheet(QStringLiteral("color: white; background: transparent; font-size: 15px;"));
    product->move(56, 24);
    product->adjustSize();
    auto *grip = new TKGripLine(title);
    grip->setGeometry(635, 12, 4, 42);
    grip->setVertical(true);
    grip->setTheme(thVerticalAquaDark);

    TKImageList *icons = WindowIconImages(&form);
    const int indexes[3][4] = {{wiMinimizeNormal, wiMinimizeHot, wiMinimizePressed, wiMinimizeDisabled},
                               {wiMaximizeNormal, wiMaximizeHot, wiMaximizePressed, wiMaximizeDisabled},
                               {wiCloseNormal, wiCloseHot, wiClosePressed, wiCloseDisabled}};
    std::vector<TKLinkLabel *> buttons;
    for (int b = 0; b < 3; ++b) {
        auto *button = new TKLinkLabel(title);
        button->setTransparent(true);
        button->setCaption(QStringLiteral(" "));
        button->setImageList(icons);
        button->setImageIndex(indexes[b][0]);
        button->setImageIndexHot(indexes[b][1]);
        button->setImageIndexPressed(indexes[b][2]);
        button->setImageIndexDisabled(indexes[b][3]);
        button->move(875 + 20 * b, 6);
        buttons.push_back(button);
    }
    // The close button as the mouse is over it.
    QEnterEvent enter(QPointF(8, 8), QPointF(8, 8), QPointF(8, 8));
    QApplication::sendEvent(buttons[2], &enter);

    auto *status = new TKStylePanel(&form);
    status->setGeometry(0, 119, 935, 21);
    status->setTheme(thVerticalDark);
    status->setLineBottom(true);
    status->setLineLeft(true);
    status->setLineRight(true);
    const char *texts[] = {"Satz: 1 von 214", "KUNDEN.DBF  [Exclusiv]", "/home/anna/daten"};
    const int xs[] = {8, 332, 516};
    for (int i = 0; i < 3; ++i) {
        auto *text = new QLabel(QString::fromUtf8(texts[i]), status);
        text->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
        text->move(xs[i], 3);
        text->adjustSize();
    }
    for (int x : {320, 504}) {
        auto *line = new TKGripLine(status);
        line->setGeometry(x, 3, 4, 15);
        line->setVertical(true);
        line->setTheme(thVerticalAquaDark);
    }

    QImage image(form.size(), QImage::Format_ARGB32);
    form.render(&image);
    EXPECT_EQ(rgbAt(image, 300, 2), 0x444444u);
    EXPECT_EQ(rgbAt(image, 300, 64), 0x010101u);
    EXPECT_EQ(rgbAt(image, 300, 139), 0x000000u);
    EXPECT_EQ(rgbAt(image, 635, 12), 0x000000u); // grip dot, dark pixel
    EXPECT_EQ(rgbAt(image, 637, 13), 0x999999u); // and its light pixel
    // The hot close button shows its red plate; the others only their glyph.
    EXPECT_GT(qRed(image.pixel(916 + 1, 6 + 8)), 0x90);
    EXPECT_LT(qGreen(image.pixel(916 + 1, 6 + 8)), 0x60);
    EXPECT_EQ(image.pixel(876, 7), widgettest::rendered(*title).pixel(876, 7));

    const QString path = QDir(QStringLiteral(BRISVEL_BUILD_DIR)).filePath(QStringLiteral("stylepanel.png"));
    EXPECT_TRUE(image.save(path));
}

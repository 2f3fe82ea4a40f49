// TKLinkLabel and its pictures: which picture each state shows, where text and
// picture go, auto size, hover/press/click behaviour with the visited colour,
// selection among the labels of a window, links, a linked action, and the
// window-icon pictures of the main window's buttons.
#include "KImageList.h"
#include "KLinkLabel.h"
#include "TestSupport.h"
#include "WidgetTestApp.h"

#include <QAction>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace widgets;
using widgettest::rgbAt;

namespace {

const QRgb Picture[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};

// Four solid 16 x 16 pictures: red, green, blue, yellow.
TKImageList *solidImages(QObject *parent = nullptr)
{
    auto *list = new TKImageList(QSize(16, 16), parent);
    for (QRgb rgb : Picture) {
        QPixmap pixmap(16, 16);
        pixmap.fill(QColor::fromRgb(rgb));
        list->Add(pixmap);
    }
    return list;
}

void enter(QWidget *w)
{
    QEnterEvent event(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(w, &event);
}

void leave(QWidget *w)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(w, &event);
}

void mouse(QWidget *w, QEvent::Type type, QPoint at = QPoint(4, 4))
{
    const bool press = type == QEvent::MouseButtonPress;
    QMouseEvent event(type, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton,
                      press ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// A window button: blank caption, picture only, transparent.
struct Button : widgettest::WithApp {
    QWidget window;
    TKImageList *images;
    TKLinkLabel *label;

    Button()
    {
        images = solidImages(&window);
        label = new TKLinkLabel(&window);
        label->setTransparent(true);
        label->setCaption(QStringLiteral(" "));
        label->setImageList(images);
    }
    unsigned centre() { return rgbAt(widgettest::rendered(*label), 8, 8); }
};

} // namespace

TEST(LinkLabelPictures, ChoiceByState)
{
    const LinkLabelImages all{0, 1, 2, 3};
    EXPECT_EQ(chooseImageIndex(all, 4, false, false, true), 0);
    EXPECT_EQ(chooseImageIndex(all, 4, true, false, true), 1);
    EXPECT_EQ(chooseImageIndex(all, 4, true, true, true), 2);
    EXPECT_EQ(chooseImageIndex(all, 4, false, false, false), 3);
    EXPECT_EQ(chooseImageIndex(all, 4, true, true, false), 3); // disabled wins over pressed

    // Only the normal picture: the same in every state.
    const LinkLabelImages normalOnly{2, -1, -1, -1};
    for (bool hot : {false, true})
        for (bool pressed : {false, true})
            for (bool enabled : {false, true})
                EXPECT_EQ(chooseImageIndex(normalOnly, 4, hot, pressed, enabled), 2);

    // Indexes beyond the list are passed over for the normal picture.
    const LinkLabelImages beyond{0, 7, 4, 9};
    EXPECT_EQ(chooseImageIndex(beyond, 4, true, true, false), 0);
    // A disabled label without a usable disabled picture still shows a press.
    EXPECT_EQ(chooseImageIndex({0, 1, 2, 9}, 4, false, true, false), 2);
}

TEST(LinkLabelPictures, StatesAsRendered)
{
    Button b;
    b.label->setImageIndex(0);
    b.label->setImageIndexHot(1);
    b.label->setImageIndexPressed(2);
    b.label->setImageIndexDisabled(3);
    ASSERT_EQ(b.label->size(), QSize(16, std::max(16, b.label->textExtent().height())));

    EXPECT_EQ(b.centre(), 0xFF0000u);
    enter(b.label);
    EXPECT_TRUE(b.label->isHot());
    EXPECT_EQ(b.centre(), 0x00FF00u);
    mouse(b.label, QEvent::MouseButtonPress);
    EXPECT_TRUE(b.label->isPressed());
    EXPECT_EQ(b.centre(), 0x0000FFu);
    mouse(b.label, QEvent::MouseButtonRelease);
    EXPECT_FALSE(b.label->isPressed());
    EXPECT_EQ(b.centre(), 0x00FF00u);
    leave(b.label);
    EXPECT_FALSE(b.label->isHot());
    EXPECT_EQ(b.centre(), 0xFF0000u);

    b.label->setEnabled(false);
    EXPECT_EQ(b.centre(), 0xFFFF00u);
    enter(b.label); // a disabled label does not become hot
    EXPECT_FALSE(b.label->isHot());

    // A transparent label leaves the background outside its picture alone.
    b.label->setEnabled(true);
    b.label->resize(20, 16);
    EXPECT_EQ(widgettest::rendered(*b.label).pixel(18, 8), widgettest::Unpainted);
}

TEST(LinkLabelPictures, ImageListDestroyedIsDropped)
{
    Button b;
    b.label->setImageIndex(1);
    EXPECT_TRUE(b.label->hasPictures());
    delete b.images;
    EXPECT_EQ(b.label->ImageList(), nullptr);
    EXPECT_FALSE(b.label->hasPictures());
    EXPECT_EQ(rgbAt(widgettest::rendered(*b.label), 8, 8), widgettest::Unpainted & 0xFFFFFFu);
}

TEST(LinkLabelLayout, TextAndPicturePlaces)
{
    LinkLabelMetrics m;
    m.client = QSize(100, 40);
    m.text = QSize(50, 13);
    m.image = QSize(16, 16);
    m.hasPictures = true;

    // Picture left of the text, centred vertically, after the border space.
    m.imageBoarderSpace = 3;
    LinkLabelPlacement p = placeLinkLabel(m);
    EXPECT_EQ(p.textRect, QRect(29, 0, 100, 40));
    EXPECT_EQ(p.imagePos, QPoint(3, 12));

    // Picture above a centred text: the pair is centred together.
    m.imageBoarderSpace = 0;
    m.imageTop = true;
    m.layout = tlCenter;
    p = placeLinkLabel(m);
    EXPECT_EQ(p.textRect.top(), 26); // (40 - 13 + 16 + 10) div 2
    EXPECT_EQ(p.textRect.left(), 0);
    EXPECT_EQ(p.imagePos, QPoint(42, 0));

    m.layout = tlBottom;
    EXPECT_EQ(placeLinkLabel(m).textRect.top(), 27);

    // Text taller than the label: div truncates towards zero.
    m.imageTop = false;
    m.hasPictures = false;
    m.layout = tlCenter;
    m.client = QSize(100, 10);
    EXPECT_EQ(placeLinkLabel(m).textRect.top(), -1);
}

TEST(LinkLabelLayout, AutoSizeMakesRoomForThePicture)
{
    // With a caption: picture, spacing and text side by side.
    EXPECT_EQ(linkLabelAutoSizeExtra({40, 13}, {16, 16}, true, false, 10, 0), QSize(26, 3));
    // A blank caption: exactly the picture's width.
    EXPECT_EQ(linkLabelAutoSizeExtra({4, 13}, {16, 16}, true, true, 10, 2), QSize(14, 3));
    // A text taller than the picture adds no height.
    EXPECT_EQ(linkLabelAutoSizeExtra({40, 20}, {16, 16}, true, false, 10, 0), QSize(26, 0));
    EXPECT_EQ(linkLabelAutoSizeExtra({40, 13}, {16, 16}, false, false, 10, 5), QSize(5, 0));

    widgettest::app();
    QWidget window;
    TKImageList *images = solidImages(&window);
    auto *label = new TKLinkLabel(&window);
    label->setCaption(QStringLiteral("Öffnen"));
    const QSize text = label->textExtent();
    EXPECT_EQ(label->size(), text);
    label->setImageList(images);
    label->setImageIndex(0);
    EXPECT_EQ(label->size(), QSize(text.width() + 26, std::max(text.height(), 16)));
    label->setImageTextSpace(4);
    EXPECT_EQ(label->width(), text.width() + 20);

    // A right-aligned label keeps its right edge.
    label->setAlignment(taRightJustify);
    label->move(200, 10);
    const int right = label->geometry().right();
    label->setCaption(QStringLiteral("Öffnen und Schließen"));
    EXPECT_EQ(label->geometry().right(), right);
    EXPECT_GT(label->width(), text.width() + 20);

    label->setAutoSize(false);
    label->setCaption(QStringLiteral("x"));
    EXPECT_EQ(label->geometry().right(), right);
}

TEST(LinkLabelBehaviour, HoverUnderlinesAndColoursUntilVisited)
{
    widgettest::app();
    QWidget window;
    auto *label = new TKLinkLabel(&window);
    label->setCaption(QStringLiteral("Hilfe"));
    label->setColorHot(QColor(0x112233));
    label->setColorVisited(QColor(0x445566));
    label->setFontColor(QColor(0x000080));

    enter(label);
    EXPECT_TRUE(label->font().underline());
    EXPECT_EQ(label->FontColor(), QColor(0x112233));
    leave(label);
    EXPECT_FALSE(label->font().underline());
    EXPECT_EQ(label->FontColor(), QColor(0x000080));

    // An underlined font stays underlined after the hover.
    QFont underlined = label->font();
    underlined.setUnderline(true);
    label->setFont(underlined);
    enter(label);
    leave(label);
    EXPECT_TRUE(label->font().underline());
    label->setFont(QFont());

    // No hover underline when switched off.
    label->setUnderlineHot(false);
    enter(label);
    EXPECT_FALSE(label->font().underline());
    EXPECT_EQ(label->FontColor(), QColor(0x112233));

    // A click: visited colour, also after the mouse leaves.
    QSignalSpy clicks(label, &TKLinkLabel::clicked);
    mouse(label, QEvent::MouseButtonPress);
    mouse(label, QEvent::MouseButtonRelease);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_TRUE(label->isVisited());
    EXPECT_EQ(label->FontColor(), QColor(0x445566));
    leave(label);
    EXPECT_EQ(label->FontColor(), QColor(0x445566));

    // A release outside the label is no click.
    mouse(label, QEvent::MouseButtonPress);
    mouse(label, QEvent::MouseButtonRelease, QPoint(-5, -5));
    EXPECT_EQ(clicks.count(), 1);

    // Disabled while hot: the hover look still goes when the mouse leaves.
    label->setUnderlineHot(true);
    label->setFontColor(QColor(0x000080));
    enter(label);
    label->setEnabled(false);
    leave(label);
    EXPECT_FALSE(label->isHot());
    EXPECT_FALSE(label->font().underline());
}

TEST(LinkLabelBehaviour, FrameWhileHotOrSelected)
{
    widgettest::app();
    QWidget window;
    auto *label = new TKLinkLabel(&window);
    label->setAutoSize(false);
    label->resize(40, 20);
    label->setColor(QColor(0x808080));
    EXPECT_EQ(rgbAt(widgettest::rendered(*label), 20, 10), 0x808080u); // opaque: its colour

    label->setShowFrame(true);
    enter(label);
    QImage image = widgettest::rendered(*label);
    EXPECT_EQ(rgbAt(image, 0, 0), 0x316AC5u);
    EXPECT_EQ(rgbAt(image, 39, 19), 0x316AC5u);
    EXPECT_EQ(rgbAt(image, 20, 10), 0xE0E8F6u);

    label->setShowSelected(true);
    label->setSelected(true);
    EXPECT_EQ(rgbAt(widgettest::rendered(*label), 20, 10), 0xC1D2EEu);
    leave(label);
    EXPECT_EQ(rgbAt(widgettest::rendered(*label), 20, 10), 0xC1D2EEu); // selected stays framed
    label->setShowFrame(false);
    EXPECT_EQ(rgbAt(widgettest::rendered(*label), 20, 10), 0x808080u);
}

TEST(LinkLabelBehaviour, PressingSelectsOneLabelPerWindow)
{
    widgettest::app();
    QWidget window;
    auto *panel = new QWidget(&window);
    auto *a = new TKLinkLabel(&window);
    auto *b = new TKLinkLabel(panel); // on another control of the same window
    auto *c = new TKLinkLabel(&window);
    for (TKLinkLabel *l : {a, b, c})
        l->setSelected(true);

    mouse(a, QEvent::MouseButtonPress); // without ShowSelected the others stay
    mouse(a, QEvent::MouseButtonRelease);
    EXPECT_TRUE(a->Selected() && b->Selected() && c->Selected());

    a->setShowSelected(true);
    mouse(a, QEvent::MouseButtonPress);
    EXPECT_TRUE(a->Selected());
    EXPECT_FALSE(b->Selected());
    EXPECT_FALSE(c->Selected());
    mouse(a, QEvent::MouseButtonRelease);

    // Labels in another window are not touched.
    QWidget other;
    auto *d = new TKLinkLabel(&other);
    d->setSelected(true);
    mouse(a, QEvent::MouseButtonPress);
    EXPECT_TRUE(d->Selected());
    mouse(a, QEvent::MouseButtonRelease);
}

TEST(LinkLabelBehaviour, LinkOpenedOnlyWithVisitLinkAndAUrl)
{
    widgettest::app();
    TKLinkLabel label;
    QStringList opened;
    label.OpenLink = [&](const QString &url) {
        opened << url;
        EXPECT_EQ(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor,
                  Qt::WaitCursor);
        return false; // a failed link is ignored
    };
    label.setURL(QStringLiteral("https://example.org/brisvel"));
    label.Click();
    EXPECT_TRUE(opened.isEmpty());

    label.setVisitLink(true);
    label.Click();
    EXPECT_EQ(opened, QStringList{QStringLiteral("https://example.org/brisvel")});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A blank URL switches VisitLink off; a real URL does not switch it on.
    label.setURL(QStringLiteral(" "));
    EXPECT_FALSE(label.VisitLink());
    label.setURL(QStringLiteral("https://example.org"));
    EXPECT_FALSE(label.VisitLink());
    label.setVisitLink(true);
    label.setURL(QString());
    EXPECT_FALSE(label.VisitLink());

    // A caption equal to the URL carries it along; another caption does not.
    label.setURL(QStringLiteral("https://a.example"));
    label.setCaption(QStringLiteral("https://a.example"));
    label.setCaption(QStringLiteral("https://b.example"));
    EXPECT_EQ(label.URL(), QStringLiteral("https://b.example"));
    label.setURL(QStringLiteral("https://c.example"));
    label.setCaption(QStringLiteral("Hilfe"));
    EXPECT_EQ(label.URL(), QStringLiteral("https://c.example"));
}

TEST(LinkLabelBehaviour, LinkedActionDrivesTheLabel)
{
    widgettest::app();
    QWidget window;
    auto *label = new TKLinkLabel(&window);
    QAction action(QStringLiteral("&Suchen..."));
    action.setToolTip(QStringLiteral("Datensatz suchen"));
    action.setProperty(ActionImageIndexProperty, 2);
    QSignalSpy triggered(&action, &QAction::triggered);

    label->setAction(&action);
    EXPECT_EQ(label->Caption(), QStringLiteral("&Suchen..."));
    EXPECT_EQ(label->toolTip(), QStringLiteral("Datensatz suchen"));
    for (int index : {label->ImageIndex(), label->ImageIndexHot(), label->ImageIndexPressed(),
                      label->ImageIndexDisabled()})
        EXPECT_EQ(index, 2);

    action.setProperty(ActionImageIndexProperty, 5);
    for (int index : {label->ImageIndex(), label->ImageIndexHot(), label->ImageIndexPressed(),
                      label->ImageIndexDisabled()})
        EXPECT_EQ(index, 5);

    action.setEnabled(false);
    EXPECT_FALSE(label->isEnabled());
    action.setEnabled(true);
    action.setText(QStringLiteral("Suchen"));
    EXPECT_EQ(label->Caption(), QStringLiteral("Suchen"));

    label->Click();
    EXPECT_EQ(triggered.count(), 1);
}

TEST(LinkLabelBehaviour, LabelClosedByItsOwnClickHandler)
{
    widgettest::app();
    auto *window = new QWidget;
    auto *label = new TKLinkLabel(window);
    label->setVisitLink(true);
    label->setURL(QStringLiteral("https://example.org"));
    int opened = 0;
    label->OpenLink = [&](const QString &) { return ++opened > 0; };
    QObject::connect(label, &TKLinkLabel::clicked, window, [window] { delete window; });
    QPointer<TKLinkLabel> watch(label);
    label->Click();
    EXPECT_TRUE(watch.isNull());
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(WindowIcons, TwelveDistinctPictures)
{
    widgettest::app();
    std::unique_ptr<TKImageList> icons(WindowIconImages());
    ASSERT_EQ(icons->Count(), int(WindowIconCount));
    EXPECT_EQ(icons->imageSize(), QSize(16, 16));
    std::vector<QImage> images;
    for (int i = 0; i < icons->Count(); ++i) {
        images.push_back(icons->image(i).toImage().convertToFormat(QImage::Format_ARGB32));
        EXPECT_EQ(images.back().size(), QSize(16, 16)) << i;
        // Every picture has something opaque in it.
        bool ink = false;
        for (int y = 0; y < 16 && !ink; ++y)
            for (int x = 0; x < 16 && !ink; ++x)
                ink = qAlpha(images.back().pixel(x, y)) == 255;
        EXPECT_TRUE(ink) << i;
    }
    for (size_t i = 0; i < images.size(); ++i)
        for (size_t j = i + 1; j < images.size(); ++j)
            EXPECT_NE(images[i], images[j]) << i << " and " << j;

    // Normal pictures sit on the panel without a plate; hot close is red.
    EXPECT_EQ(qAlpha(images[wiCloseNormal].pixel(1, 8)), 0);
    EXPECT_EQ(qAlpha(images[wiMinimizeNormal].pixel(1, 8)), 0);
    const QRgb plate = images[wiCloseHot].pixel(1, 8);
    EXPECT_GT(qRed(plate), 2 * qGreen(plate));
    EXPECT_TRUE(icons->image(WindowIconCount).isNull());
}

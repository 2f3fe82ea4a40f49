// TFMAbout: the fade table, the layout, the close timer, closing by a click
// and the fade paths, reached offscreen by handing the box translucency and a
// processor speed.
#include "../version/FakeVersionResource.h"
#include "AboutBox.h"
#include "KVersionLabel.h"
#include "WidgetTestApp.h"

#include <QFrame>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

using namespace widgets;
using widgettest::rgbAt;

namespace {

AboutBoxContext contextWith(bool translucency, double speed, const bool *firstActivation = nullptr)
{
    AboutBoxContext context;
    context.translucency = translucency;
    context.processorSpeed = speed;
    context.firstActivation = firstActivation;
    context.versionResource =
        std::make_shared<version::DataVersionResource>(versiontest::germanResource(QStringLiteral("2.1.0.318")));
    return context;
}

struct AboutBoxTest : widgettest::WithApp, ::testing::Test {
    std::vector<int> values;
    void record(TFMAbout &box)
    {
        QObject::connect(&box, &TFMAbout::alphaBlendValueChanged, [this](int v) { values.push_back(v); });
    }
    QWidget *item(TFMAbout &box, const char *name) { return box.findChild<QWidget *>(QLatin1String(name)); }
};

} // namespace

TEST(AboutFade, ThresholdsAndStepTables)
{
    EXPECT_FALSE(aboutFadeFor(500));
    EXPECT_FALSE(aboutFadeFor(1000));
    EXPECT_EQ(aboutFadeFor(1000.5), (AboutFade{5, 51}));
    EXPECT_EQ(aboutFadeFor(1500), (AboutFade{5, 51}));
    EXPECT_EQ(aboutFadeFor(1501), (AboutFade{4, 63}));
    EXPECT_EQ(aboutFadeFor(2000), (AboutFade{4, 63}));
    EXPECT_EQ(aboutFadeFor(2001), (AboutFade{3, 85}));
    EXPECT_EQ(aboutFadeFor(2500), (AboutFade{3, 85}));
    EXPECT_EQ(aboutFadeFor(2501), (AboutFade{2, 127}));
    EXPECT_EQ(aboutFadeFor(3000), (AboutFade{2, 127}));
    EXPECT_EQ(aboutFadeFor(3001), (AboutFade{1, 255}));

    // Steps plus one values from 0, ending where the table says.
    const struct {
        AboutFade fade;
        int last;
    } ends[] = {{{1, 255}, 255}, {{2, 127}, 254}, {{3, 85}, 255}, {{4, 63}, 252}, {{5, 51}, 255}};
    for (const auto &e : ends) {
        const std::vector<int> in = fadeInValues(e.fade);
        ASSERT_EQ(in.size(), size_t(e.fade.count + 1));
        EXPECT_EQ(in.front(), 0);
        EXPECT_EQ(in[1], e.fade.step);
        EXPECT_EQ(in.back(), e.last);
    }
    // Down from where it stands to 0, also from between two steps.
    const std::vector<int> out = fadeOutValues({4, 63}, 252);
    EXPECT_EQ(out.size(), 63u);
    EXPECT_EQ(out.front(), 248);
    EXPECT_EQ(out.back(), 0);
    EXPECT_EQ(fadeOutValues({3, 85}, 100), (std::vector<int>{97, 94, 91, 88, 85, 82, 79, 76, 73, 70, 67, 64, 61, 58, 55,
                                                             52, 49, 46, 43, 40, 37, 34, 31, 28, 25, 22, 19, 16, 13,
                                                             10, 7, 4, 1, 0}));
    EXPECT_EQ(fadeOutValues({2, 127}, 0), (std::vector<int>{0}));
}

TEST(AboutPlacement, CentredOverTheOwner)
{
    EXPECT_EQ(centredOver(QRect(100, 50, 935, 713), QSize(461, 270)), QPoint(337, 271));
    EXPECT_EQ(centredOver(QRect(0, 0, 300, 200), QSize(461, 270)), QPoint(-80, -35));
}

TEST_F(AboutBoxTest, LayoutOfTheBox)
{
    TFMAbout box(nullptr, contextWith(false, 500));
    EXPECT_EQ(box.objectName(), QStringLiteral("FMAbout"));
    EXPECT_EQ(box.size(), QSize(461, 270));
    EXPECT_TRUE(box.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(box.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(box.isModal());
    EXPECT_EQ(box.font().family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(box.font().pointSize(), 8);
    EXPECT_FALSE(box.hasShadow());

    auto *panel = box.findChild<QFrame *>(QStringLiteral("PAMain"));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->geometry(), QRect(0, 0, 461, 270));
    EXPECT_EQ(panel->lineWidth(), 1);

    const struct {
        const char *name;
        QRect bounds;
    } pictures[] = {{"IMIcon", {16, 16, 48, 48}}, {"IMLogo", {83, 40, 206, 18}}, {"IMHalvorin", {295, 196, 150, 20}}};
    for (const auto &p : pictures) {
        auto *label = box.findChild<QLabel *>(QLatin1String(p.name));
        ASSERT_NE(label, nullptr) << p.name;
        EXPECT_EQ(label->geometry(), p.bounds) << p.name;
        EXPECT_EQ(label->pixmap().size(), p.bounds.size()) << p.name << ": the picture is missing or of another size";
    }
    auto *label2 = box.findChild<QLabel *>(QStringLiteral("Label2"));
    EXPECT_EQ(label2->text(), QStringLiteral("Database Table Viewer"));
    EXPECT_EQ(label2->pos(), QPoint(84, 60));
    auto *label3 = box.findChild<QLabel *>(QStringLiteral("Label3"));
    EXPECT_EQ(label3->geometry(), QRect(188, 220, 257, 41));
    EXPECT_EQ(label3->text().count(QLatin1Char('\n')), 2) << "three lines";
    EXPECT_TRUE(label3->wordWrap());
    EXPECT_TRUE(label3->alignment() & Qt::AlignRight);

    auto *version1 = box.findChild<TKVersionLabel *>(QStringLiteral("KVersionLabel1"));
    auto *version2 = box.findChild<TKVersionLabel *>(QStringLiteral("KVersionLabel2"));
    ASSERT_TRUE(version1 && version2);
    EXPECT_EQ(version1->Caption(), QStringLiteral("Version: 2.1.0"));
    EXPECT_EQ(version1->pos(), QPoint(84, 76));
    EXPECT_TRUE(version1->AutoSize());
    EXPECT_EQ(version1->FontColor(), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(version2->Caption(), QStringLiteral("Built: 318"));
    EXPECT_EQ(version2->x(), 320);
    EXPECT_EQ(version2->width(), 125);
    EXPECT_EQ(version2->Alignment(), taRightJustify);
    EXPECT_EQ(version2->FontColor(), QColor(0xC0, 0xC0, 0xC0));

    auto *timer = box.findChild<QTimer *>(QStringLiteral("TimerClose"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 2500);
    EXPECT_FALSE(timer->isActive());

    // White inside a one-pixel border; the second label's text at its right edge.
    const QImage image = widgettest::rendered(box);
    EXPECT_EQ(rgbAt(image, 200, 150), 0xFFFFFFu);
    EXPECT_EQ(rgbAt(image, 0, 0), 0x808080u);
    EXPECT_EQ(rgbAt(image, 1, 1), 0xFFFFFFu);
    bool inkNearRightEdge = false;
    for (int x = 430; x < 445; ++x)
        for (int y = 76; y < 76 + version2->height(); ++y)
            inkNearRightEdge |= rgbAt(image, x, y) != 0xFFFFFFu;
    EXPECT_TRUE(inkNearRightEdge) << "\"Built: 318\" is right-aligned";
}

TEST_F(AboutBoxTest, NoFadeWithoutTranslucencyOrOnASlowProcessor)
{
    bool firstActivation = true;
    TFMAbout plain(nullptr, contextWith(false, 5000, &firstActivation));
    record(plain);
    plain.show();
    plain.FormActivate();
    EXPECT_FALSE(plain.AlphaBlend());
    EXPECT_TRUE(values.empty());
    EXPECT_DOUBLE_EQ(plain.windowOpacity(), 1.0);
    EXPECT_FALSE(plain.findChild<QTimer *>(QStringLiteral("TimerClose"))->isActive());

    // Translucency on a processor of 1000 MHz: the shadow, but shown at once.
    TFMAbout slow(nullptr, contextWith(true, 1000, &firstActivation));
    record(slow);
    slow.show();
    slow.FormActivate();
    EXPECT_TRUE(slow.hasShadow());
    EXPECT_EQ(slow.size(), QSize(461 + TFMAbout::ShadowSize, 270 + TFMAbout::ShadowSize));
    EXPECT_EQ(slow.findChild<QFrame *>(QStringLiteral("PAMain"))->size(), QSize(461, 270));
    EXPECT_FALSE(slow.AlphaBlend());
    EXPECT_TRUE(values.empty());
    EXPECT_DOUBLE_EQ(slow.windowOpacity(), 1.0);
}

TEST_F(AboutBoxTest, FadesInOnceAndStaysWhenOpenedByTheUser)
{
    const bool firstActivation = false;
    TFMAbout box(nullptr, contextWith(true, 3200, &firstActivation));
    record(box);
    ASSERT_TRUE(box.AlphaBlend());
    EXPECT_EQ(box.AlphaBlendValue(), 0) << "fully transparent until activated";
    values.clear();
    box.show();
    box.FormActivate();
    ASSERT_EQ(values.size(), 256u);
    for (int i = 0; i <= 255; ++i)
        ASSERT_EQ(values[size_t(i)], i);
    EXPECT_DOUBLE_EQ(box.windowOpacity(), 1.0);
    EXPECT_FALSE(box.findChild<QTimer *>(QStringLiteral("TimerClose"))->isActive())
        << "opened from the menu, the box never closes by itself";

    values.clear();
    box.FormActivate();
    QTest::qWait(50);
    EXPECT_TRUE(values.empty()) << "a later activation does not fade again";
    EXPECT_TRUE(box.isVisible());

    // Closing fades out from 255 in the same steps.
    box.close();
    EXPECT_FALSE(box.isVisible());
    ASSERT_EQ(values.size(), 255u);
    EXPECT_EQ(values.front(), 254);
    EXPECT_EQ(values.back(), 0);
}

TEST_F(AboutBoxTest, CloseTimerBeforeTheMainWindowsFirstActivation)
{
    const bool firstActivation = true;
    TFMAbout box(nullptr, contextWith(true, 1800, &firstActivation));
    record(box);
    box.show();
    box.FormActivate();
    EXPECT_EQ(values.back(), 252);
    auto *timer = box.findChild<QTimer *>(QStringLiteral("TimerClose"));
    EXPECT_TRUE(timer->isActive());
    EXPECT_TRUE(firstActivation) << "the main window's own first activation still opens its file";
    values.clear();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !box.isVisible(); }, 5000));
    EXPECT_FALSE(timer->isActive());
    ASSERT_FALSE(values.empty());
    EXPECT_EQ(values.front(), 248);
    EXPECT_EQ(values.back(), 0);
}

TEST_F(AboutBoxTest, AClickAnywhereCloses)
{
    for (const char *name : {"PAMain", "IMIcon", "IMLogo", "Label2", "KVersionLabel1", "KVersionLabel2",
                             "IMHalvorin", "Label3"}) {
        TFMAbout box(nullptr, contextWith(false, 500));
        box.show();
        QWidget *target = item(box, name);
        ASSERT_NE(target, nullptr) << name;
        QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(2, 2));
        EXPECT_FALSE(box.isVisible()) << name;
    }
}

TEST_F(AboutBoxTest, AClickDuringTheFadeTurnsItRound)
{
    const bool firstActivation = false;
    TFMAbout box(nullptr, contextWith(true, 4000, &firstActivation));
    record(box);
    QObject::connect(&box, &TFMAbout::alphaBlendValueChanged, &box, [&box, this](int v) {
        if (v == 100 && values.size() == 101)
            QTimer::singleShot(0, &box, [&box] { QTest::mouseClick(box.findChild<QWidget *>(QStringLiteral("Label2")),
                                                                    Qt::LeftButton); });
    });
    values.clear();
    box.show();
    box.FormActivate();
    EXPECT_FALSE(box.isVisible());
    // Up to where the click came, then down from there to 0; never up again.
    ASSERT_GT(values.size(), 101u);
    const auto top = std::max_element(values.begin(), values.end());
    EXPECT_LT(*top, 255);
    EXPECT_TRUE(std::is_sorted(values.begin(), top + 1));
    EXPECT_TRUE(std::is_sorted(top, values.end(), std::greater<int>()));
    EXPECT_EQ(values.back(), 0);
}

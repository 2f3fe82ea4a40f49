// The settings in memory (read with their defaults and the menu style rule,
// written back) and the window placement.
#include "AppTestSupport.h"
#include "EngineError.h"
#include "SettingsStore.h"
#include "ToolbarSkin.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

using namespace app;

namespace {

QString path(const char *name)
{
    return QString::fromLatin1(BrisvelKey) + QLatin1String(name);
}

void store(const char *name, const QVariant &value, int kind = rkInteger)
{
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path(name), value, kind));
}

AppSettings readFresh()
{
    AppSettings settings;
    settings.readSettings();
    return settings;
}

QRect screenArea()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

} // namespace

TEST(AppSettings, FreshProfileGivesTheDefaults)
{
    apptest::Profile profile;
    // Values of an earlier read must not survive a read of nothing.
    AppSettings s{true, true, true, 9, 2, 1};
    s.readSettings();
    EXPECT_FALSE(s.Readonly);
    EXPECT_FALSE(s.Exclusive);
    EXPECT_FALSE(s.ShowColorGrid);
    EXPECT_EQ(s.PrintFontSize, 0);
    EXPECT_EQ(s.MenuStyle, 1);    // Office XP
    EXPECT_EQ(s.MenuColorSet, 0); // Office XP colours
    EXPECT_TRUE(profile.iniText().isEmpty()); // reading creates nothing
}

TEST(AppSettings, MenuStyleZeroOrAbsentMeansOfficeXpWhateverTheColourSet)
{
    apptest::Profile profile;
    store("MenuColorSet", 2);
    EXPECT_EQ(readFresh().MenuColorSet, 0);
    store("MenuStyle", 0);
    EXPECT_EQ(readFresh().MenuStyle, 1);
    EXPECT_EQ(readFresh().MenuColorSet, 0);
    store("MenuStyle", 3);
    EXPECT_EQ(readFresh().MenuStyle, 2);
    EXPECT_EQ(readFresh().MenuColorSet, 1);

    // Other values outside the ranges are passed on, one less.
    store("MenuStyle", 1);
    store("MenuColorSet", 0);
    store("DRSize", 40);
    const AppSettings s = readFresh();
    EXPECT_EQ(s.MenuStyle, 0);
    EXPECT_EQ(s.MenuColorSet, -1);
    EXPECT_EQ(s.PrintFontSize, 40);
}

TEST(AppSettings, WrittenValuesComeBackAfterARestart)
{
    apptest::Profile profile;
    ASSERT_TRUE((AppSettings{true, false, true, 12, 0, 1}).writeSettings());
    profile.reopen();
    const QString ini = profile.iniText();
    EXPECT_TRUE(ini.contains(QStringLiteral("Brisvel\\MenuStyle=dword:1"))) << ini.toStdString();
    EXPECT_TRUE(ini.contains(QStringLiteral("Brisvel\\MenuColorSet=dword:2")));

    const AppSettings back = readFresh();
    EXPECT_TRUE(back.Readonly);
    EXPECT_FALSE(back.Exclusive);
    EXPECT_TRUE(back.ShowColorGrid);
    EXPECT_EQ(back.PrintFontSize, 12);
    ToolbarSkin skin;
    back.applyTo(skin);
    EXPECT_EQ(skin.skinType(), ToolbarSkin::stStandard);
    EXPECT_EQ(skin.colorSet(), ToolbarSkin::csWindowsXP);
}

TEST(AppSettings, AValueOfTheWrongKindStopsTheReadWithTheRegistryMessage)
{
    apptest::Profile profile;
    store("Readonly", true, rkBoolean);
    store("ShowColorGrid", QStringLiteral("1"), rkString);
    AppSettings s;
    try {
        s.readSettings();
        FAIL() << "no error";
    } catch (const engine::EngineError &error) {
        EXPECT_EQ(error.message(), QStringLiteral("Ungültiger Datentyp für 'ShowColorGrid'"));
    }
    // What was read before the error is in effect; the rest keeps its defaults.
    EXPECT_TRUE(s.Readonly);
    EXPECT_EQ(s.MenuStyle, 1);
}

class Placement : public ::testing::Test {
protected:
    void SetUp() override { apptest::app(); }
    apptest::Profile profile;
};

TEST_F(Placement, NormalWindowComesBackWhereItWas)
{
    const QRect where(screenArea().left() + 40, screenArea().top() + 30, 700, 500);
    QWidget window;
    window.setGeometry(where);
    ASSERT_TRUE(WindowPlacement().save(&window));
    const QString ini = profile.iniText();
    EXPECT_TRUE(ini.contains(QStringLiteral("NormPos=\"sz:%1,%2,%3,%4\"")
                                 .arg(where.left()).arg(where.top()).arg(where.left() + 700).arg(where.top() + 500)))
        << ini.toStdString();
    EXPECT_TRUE(ini.contains(QStringLiteral("ShowCmd=dword:1")));
    EXPECT_TRUE(ini.contains(QStringLiteral("MinMaxPos=\"sz:-1,-1,-1,-1\"")));

    profile.reopen();
    QWidget again;
    ASSERT_TRUE(WindowPlacement().restore(&again));
    EXPECT_EQ(again.geometry(), where);
    EXPECT_EQ(again.windowState(), Qt::WindowNoState);
}

TEST_F(Placement, MaximisedWindowKeepsItsNormalPlace)
{
    const QRect where(screenArea().left() + 50, screenArea().top() + 60, 400, 300);
    {
        QWidget window;
        window.setGeometry(where);
        window.show();
        window.setWindowState(Qt::WindowMaximized);
        QCoreApplication::processEvents();
        ASSERT_TRUE(window.isMaximized());
        ASSERT_TRUE(WindowPlacement().save(&window));
    }
    EXPECT_TRUE(profile.iniText().contains(QStringLiteral("ShowCmd=dword:3")));
    QWidget again;
    ASSERT_TRUE(WindowPlacement().restore(&again));
    EXPECT_EQ(again.windowState(), Qt::WindowMaximized);
    again.setWindowState(Qt::WindowNoState);
    EXPECT_EQ(again.geometry(), where);

    // Never restored minimised; minimised from maximised comes back maximised.
    store("ShowCmd", 2);
    QWidget minimised;
    ASSERT_TRUE(WindowPlacement().restore(&minimised));
    EXPECT_EQ(minimised.windowState(), Qt::WindowNoState);
    store("Flags", 2);
    ASSERT_TRUE(WindowPlacement().restore(&minimised));
    EXPECT_EQ(minimised.windowState(), Qt::WindowMaximized);
}

TEST_F(Placement, BadOrOffScreenPlacements)
{
    QWidget window;
    window.setGeometry(5, 6, 300, 200);
    // Nothing stored, a damaged text, a wrong kind, an empty rectangle: the
    // window stays as it is.
    EXPECT_FALSE(WindowPlacement().restore(&window));
    for (const QVariant &bad : {QVariant(QStringLiteral("1,2,x,4")), QVariant(QStringLiteral("100,100,100,300"))}) {
        store("NormPos", bad, rkString);
        EXPECT_FALSE(WindowPlacement().restore(&window));
    }
    store("NormPos", 7);
    EXPECT_FALSE(WindowPlacement().restore(&window));
    EXPECT_EQ(window.geometry(), QRect(5, 6, 300, 200));

    // A place no screen shows (a monitor since removed) moves onto the screen.
    store("NormPos", QStringLiteral("20000,20000,20400,20300"), rkString);
    ASSERT_TRUE(WindowPlacement().restore(&window));
    EXPECT_TRUE(screenArea().contains(window.geometry().topLeft()));
    EXPECT_EQ(window.geometry().size(), QSize(400, 300).boundedTo(screenArea().size()));
}

// The settings in memory (read with their defaults and the menu style rule,
// written back) and the window placement.
#include "AppTestSupport.h"
#include "EngineError.h"
#include "SettingsStore.h"
#include "ToolbarSkin.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

using namespace app;

namespace {

QString path(const char *name)
{
    return QString::fromLatin1(BrisvelKey) + QLatin1String(name);
}

void storeInt(const char *name, int value)
{
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path(name), value, rkInteger));
}

AppSettings readFresh()
{
    AppSettings settings;
    settings.readSettings();
    return settings;
}

} // namespace

TEST(AppSettings, FreshProfileGivesTheDefaults)
{
    apptest::Profile profile;
    // Values a previous read left behind must not survive a read of nothing.
    AppSettings s;
    s.Readonly = s.Exclusive = s.ShowColorGrid = true;
    s.PrintFontSize = 9;
    s.MenuStyle = 2;
    s.MenuColorSet = 1;
    s.readSettings();
    EXPECT_FALSE(s.Readonly);
    EXPECT_FALSE(s.Exclusive);
    EXPECT_FALSE(s.ShowColorGrid);
    EXPECT_EQ(s.PrintFontSize, 0);
    EXPECT_EQ(s.MenuStyle, 1);    // Office XP
    EXPECT_EQ(s.MenuColorSet, 0); // Office XP colours
    // Reading creates nothing.
    EXPECT_TRUE(profile.iniText().isEmpty());
}

TEST(AppSettings, MenuStyleZeroOrAbsentMeansOfficeXpWhateverTheColourSet)
{
    apptest::Profile profile;
    storeInt("MenuColorSet", 2);
    AppSettings s = readFresh();
    EXPECT_EQ(s.MenuStyle, 1);
    EXPECT_EQ(s.MenuColorSet, 0);

    storeInt("MenuStyle", 0);
    s = readFresh();
    EXPECT_EQ(s.MenuStyle, 1);
    EXPECT_EQ(s.MenuColorSet, 0);

    storeInt("MenuStyle", 3);
    s = readFresh();
    EXPECT_EQ(s.MenuStyle, 2);
    EXPECT_EQ(s.MenuColorSet, 1);

    // Stored values outside the ranges are passed on, one less.
    storeInt("MenuStyle", 1);
    storeInt("MenuColorSet", 0);
    storeInt("DRSize", 40);
    s = readFresh();
    EXPECT_EQ(s.MenuStyle, 0);
    EXPECT_EQ(s.MenuColorSet, -1);
    EXPECT_EQ(s.PrintFontSize, 40);
}

TEST(AppSettings, WrittenValuesComeBackAfterARestart)
{
    apptest::Profile profile;
    AppSettings s;
    s.Readonly = true;
    s.Exclusive = false;
    s.ShowColorGrid = true;
    s.PrintFontSize = 12;
    s.MenuStyle = 0;
    s.MenuColorSet = 1;
    ASSERT_TRUE(s.writeSettings());
    profile.reopen();
    const QString ini = profile.iniText();
    EXPECT_TRUE(ini.contains(QStringLiteral("Brisvel\\MenuStyle=dword:1"))) << ini.toStdString();
    EXPECT_TRUE(ini.contains(QStringLiteral("Brisvel\\MenuColorSet=dword:2")));
    EXPECT_TRUE(ini.contains(QStringLiteral("Brisvel\\DRSize=dword:12")));

    const AppSettings back = readFresh();
    EXPECT_TRUE(back.Readonly);
    EXPECT_FALSE(back.Exclusive);
    EXPECT_TRUE(back.ShowColorGrid);
    EXPECT_EQ(back.PrintFontSize, 12);
    EXPECT_EQ(back.MenuStyle, 0);
    EXPECT_EQ(back.MenuColorSet, 1);

    ToolbarSkin skin;
    back.applyTo(skin);
    EXPECT_EQ(skin.skinType(), ToolbarSkin::stStandard);
    EXPECT_EQ(skin.colorSet(), ToolbarSkin::csWindowsXP);
}

TEST(AppSettings, AValueOfTheWrongKindStopsTheReadWithTheRegistryMessage)
{
    apptest::Profile profile;
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("Readonly"), true, rkBoolean));
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("ShowColorGrid"), QStringLiteral("1"), rkString));
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

TEST(AppSettings, WriteFailsOnAStoreThatCannotBeSaved)
{
    apptest::Profile profile;
    QFile blocker(QDir(profile.folder()).filePath(QStringLiteral("Halvorin")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(AppSettings().writeSettings());
}

class Placement : public ::testing::Test {
protected:
    void SetUp() override { apptest::app(); }
    apptest::Profile profile;
};

TEST_F(Placement, NormalWindowComesBackWhereItWas)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect where(area.left() + 40, area.top() + 30, 700, 500);
    QWidget window;
    window.setGeometry(where);
    ASSERT_TRUE(WindowPlacement().save(&window));
    const QString ini = profile.iniText();
    EXPECT_TRUE(ini.contains(QStringLiteral("NormPos=\"sz:%1,%2,%3,%4\"")
                                 .arg(where.left())
                                 .arg(where.top())
                                 .arg(where.left() + 700)
                                 .arg(where.top() + 500)))
        << ini.toStdString();
    EXPECT_TRUE(ini.contains(QStringLiteral("ShowCmd=dword:1")));
    EXPECT_TRUE(ini.contains(QStringLiteral("Flags=dword:0")));
    EXPECT_TRUE(ini.contains(QStringLiteral("PixelsPerInch=dword:")));
    EXPECT_TRUE(ini.contains(QStringLiteral("MinMaxPos=\"sz:-1,-1,-1,-1\"")));

    profile.reopen();
    QWidget again;
    again.setGeometry(0, 0, 100, 100);
    ASSERT_TRUE(WindowPlacement().restore(&again));
    EXPECT_EQ(again.geometry(), where);
    EXPECT_FALSE(again.windowState() & Qt::WindowMaximized);
}

TEST_F(Placement, MaximisedStateAndNormalSizeAreKept)
{
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("NormPos"), QStringLiteral("10,20,610,420"), rkString));
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("ShowCmd"), 3, rkInteger));
    QWidget window;
    ASSERT_TRUE(WindowPlacement().restore(&window));
    EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);
    window.setWindowState(Qt::WindowNoState);
    EXPECT_EQ(window.geometry(), QRect(10, 20, 600, 400));

    // Minimised is never restored; minimised from maximised comes back maximised.
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("ShowCmd"), 2, rkInteger));
    QWidget minimised;
    ASSERT_TRUE(WindowPlacement().restore(&minimised));
    EXPECT_EQ(minimised.windowState(), Qt::WindowNoState);
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("Flags"), 2, rkInteger));
    QWidget fromMaximised;
    ASSERT_TRUE(WindowPlacement().restore(&fromMaximised));
    EXPECT_EQ(fromMaximised.windowState(), Qt::WindowMaximized);
}

TEST_F(Placement, BadOrOffScreenPlacements)
{
    QWidget window;
    window.setGeometry(5, 6, 300, 200);
    // Nothing stored, a damaged text, a wrong kind, an empty rectangle: the
    // window stays as it is.
    EXPECT_FALSE(WindowPlacement().restore(&window));
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("NormPos"), QStringLiteral("1,2,x,4"), rkString));
    EXPECT_FALSE(WindowPlacement().restore(&window));
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("NormPos"), 7, rkInteger));
    EXPECT_FALSE(WindowPlacement().restore(&window));
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("NormPos"), QStringLiteral("100,100,100,300"), rkString));
    EXPECT_FALSE(WindowPlacement().restore(&window));
    EXPECT_EQ(window.geometry(), QRect(5, 6, 300, 200));

    // A place no screen shows (a monitor since removed) moves onto the screen.
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("NormPos"), QStringLiteral("20000,20000,20400,20300"),
                              rkString));
    ASSERT_TRUE(WindowPlacement().restore(&window));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(area.contains(window.geometry().topLeft()));
    EXPECT_EQ(window.geometry().size(), QSize(400, 300).boundedTo(area.size()));
}

TEST_F(Placement, MaximisedWindowSavesItsNormalPlace)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect where(area.left() + 50, area.top() + 60, 400, 300);
    QWidget window;
    window.setGeometry(where);
    window.show();
    window.setWindowState(Qt::WindowMaximized);
    QCoreApplication::processEvents();
    ASSERT_TRUE(window.isMaximized());
    ASSERT_TRUE(WindowPlacement().save(&window));
    const QString ini = profile.iniText();
    EXPECT_TRUE(ini.contains(QStringLiteral("ShowCmd=dword:3"))) << ini.toStdString();
    EXPECT_TRUE(ini.contains(QStringLiteral("NormPos=\"sz:%1,%2,%3,%4\"")
                                 .arg(where.left())
                                 .arg(where.top())
                                 .arg(where.right() + 1)
                                 .arg(where.bottom() + 1)));
}

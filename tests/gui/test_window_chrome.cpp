// The frameless main window's own chrome as it is painted in the real window:
// the outline of the two panels, the window buttons on the dark title bar, and
// status fields wide enough for their texts in the window's font.
#include "KLinkLabel.h"
#include "KStylePanel.h"
#include "MainWindow.h"
#include "ProgramTest.h"
#include "StatusPlaces.h"
#include "TestSupport.h"

#include <QAction>
#include <QFile>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <gtest/gtest.h>

using testsupport::ScratchDir;

namespace {

using WindowChrome = ProgramTest;

QColor at(const QImage &image, int x, int y)
{
    return QColor(image.pixel(x, y));
}

} // namespace

TEST(StatusPlaces, TableFieldGrowsWithItsTextAndTheRestMovesAlong)
{
    // The designed places while the text fits into 149 pixels.
    app::StatusPlaces p = app::statusPlaces(935, 100);
    EXPECT_EQ(p.record, QRect(8, 3, 305, 15));
    EXPECT_EQ(p.grip1, QRect(320, 3, 3, 15));
    EXPECT_EQ(p.table, QRect(332, 3, 149, 15));
    EXPECT_EQ(p.grip2, QRect(504, 3, 3, 15));
    EXPECT_EQ(p.database, QRect(516, 3, 411, 15));
    // A wider text: the field takes it whole, the grip line and the database field follow.
    p = app::statusPlaces(935, 179);
    EXPECT_EQ(p.table, QRect(332, 3, 181, 15));
    EXPECT_EQ(p.grip2, QRect(536, 3, 3, 15));
    EXPECT_EQ(p.database, QRect(548, 3, 379, 15));
    // The narrowest window still leaves the database field 50 pixels.
    EXPECT_EQ(app::statusPlaces(650, 400).database.width(), 50);
}

TEST_F(WindowChrome, PanelsDrawTheWindowOutline)
{
    w->resize(935, 713);
    w->show();
    auto *title = w->findChild<widgets::TKStylePanel *>(QStringLiteral("KStylePanel1"));
    auto *status = w->findChild<widgets::TKStylePanel *>(QStringLiteral("KStylePanel2"));
    ASSERT_TRUE(title && status);
    const QColor line = title->LineColor();
    const QImage top = title->grab().toImage();
    EXPECT_EQ(at(top, top.width() / 3, 0), line) << "top edge";
    EXPECT_EQ(at(top, 0, top.height() / 2), line) << "left edge";
    EXPECT_EQ(at(top, top.width() - 1, top.height() / 2), line) << "right edge";
    EXPECT_NE(at(top, top.width() / 3, top.height() - 1), line) << "no line where the grid follows";
    const QImage bottom = status->grab().toImage();
    EXPECT_EQ(at(bottom, bottom.width() / 3, bottom.height() - 1), line) << "bottom edge";
    EXPECT_EQ(at(bottom, 0, bottom.height() / 2), line);
    EXPECT_EQ(at(bottom, bottom.width() - 1, bottom.height() / 2), line);
}

TEST_F(WindowChrome, WindowButtonsShowTheTitleBarAroundTheirPictures)
{
    w->resize(935, 713);
    w->show();
    auto *title = w->findChild<widgets::TKStylePanel *>(QStringLiteral("KStylePanel1"));
    const QList<widgets::TKLinkLabel *> buttons = {
        w->findChild<widgets::TKLinkLabel *>(QStringLiteral("KLLMin")),
        w->findChild<widgets::TKLinkLabel *>(QStringLiteral("KLLMax")),
        w->findChild<widgets::TKLinkLabel *>(QStringLiteral("KLLClose"))};
    const QImage with = title->grab().toImage();
    for (widgets::TKLinkLabel *b : buttons) {
        ASSERT_NE(b, nullptr);
        b->hide();
    }
    const QImage without = title->grab().toImage();
    for (widgets::TKLinkLabel *b : buttons) {
        SCOPED_TRACE(b->objectName().toStdString());
        // The picture's corner is clear: there the dark title bar must show, not a plate.
        const QPoint corner = b->geometry().topLeft();
        EXPECT_EQ(at(with, corner.x(), corner.y()), at(without, corner.x(), corner.y()));
        EXPECT_LT(at(with, corner.x(), corner.y()).lightness(), 128);
    }
}

TEST_F(WindowChrome, TableStatusWithBothMarksIsShownWholeInTahoma)
{
    ScratchDir dir;
    const QString table = dir.file(QStringLiteral("kunden.dbf"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(BRISVEL_SAMPLES_DIR "/kunden.dbf"), table));
    ASSERT_TRUE(QFile::copy(QStringLiteral(BRISVEL_SAMPLES_DIR "/kunden.dbt"), dir.file(QStringLiteral("kunden.dbt"))));
    w->resize(935, 713);
    w->show();
    w->Oeffnen(table);
    w->action(QStringLiteral("ACExcl"))->setChecked(true); // as the setting "Exclusive" presets it
    w->action(QStringLiteral("ACReadOnly"))->trigger();
    auto *field = w->findChild<QLabel *>(QStringLiteral("LBStatusBar2"));
    auto *database = w->findChild<QLabel *>(QStringLiteral("LBStatusBar3"));
    ASSERT_EQ(field->text(), QStringLiteral("Tabelle: kunden.dbf (Exkl./Readonly)"));
    // The face of Tahoma's widths (Debian's fonts-wine), not a wide fallback.
    EXPECT_EQ(QFontInfo(field->font()).family(), QStringLiteral("Tahoma"));
    EXPECT_LE(field->fontMetrics().horizontalAdvance(QStringLiteral("Tabelle: kunden.dbf (Exkl./Readonly)")), 185);
    EXPECT_GE(field->contentsRect().width(), field->fontMetrics().horizontalAdvance(field->text()));
    EXPECT_LT(field->geometry().right(), database->geometry().left()) << "the fields do not overlap";
}

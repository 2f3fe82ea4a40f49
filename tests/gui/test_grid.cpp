// The grid's painting rules and its reading only the rows on screen.
#include "AppWindows.h"
#include "DataGrid.h"
#include "GridPaint.h"
#include "ProgramTest.h"
#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "SharedTools.h"
#include "TableModel.h"
#include "TestSupport.h"

#include <QImage>
#include <QAction>
#include <QScrollBar>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using testsupport::ScratchDir;

TEST(GridPaint, RasterBandsOfEighteenPixelsAndTheFocusedCell)
{
    QPalette palette;
    palette.setColor(QPalette::Highlight, QColor(10, 36, 106));
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::ToolTipBase, QColor(255, 255, 225));

    const browse::CellColours focused = browse::cellColours(palette, true, true, 18);
    EXPECT_EQ(focused.background, QColor(10, 36, 106));
    EXPECT_EQ(focused.text, QColor(Qt::white));

    EXPECT_EQ(browse::cellColours(palette, false, false, 18).background, QColor(Qt::white));
    // The first data row starts below the 18-pixel title row.
    EXPECT_EQ(browse::cellColours(palette, false, true, 18).background, QColor(255, 255, 225));
    EXPECT_EQ(browse::cellColours(palette, false, true, 36).background, QColor(240, 251, 255));
    EXPECT_EQ(browse::cellColours(palette, false, true, 54).background, QColor(255, 255, 225));
    EXPECT_EQ(browse::cellColours(palette, false, true, 72).background, QColor(240, 251, 255));

    EXPECT_EQ(browse::editorBackground(palette, true, 1), QColor(255, 255, 225));
    EXPECT_EQ(browse::editorBackground(palette, true, 2), QColor(240, 251, 255));
    EXPECT_EQ(browse::editorBackground(palette, false, 2), QColor(Qt::white));
}

namespace {

using GridWindowTest = ProgramTest;

} // namespace

TEST_F(GridWindowTest, RasterIsPaintedInScreenBandsNotByRecord)
{
    ScratchDir dir;
    w->Oeffnen(dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/NUMBER.DBF")));
    w->grid()->setShowColorGrid(true);
    w->resize(700, 500);
    w->show();
    w->grid()->clearFocus();
    const auto colourOfRow = [this](int row) {
        const QImage image = w->grid()->viewport()->grab().toImage();
        const QRect cell = w->grid()->visualRect(w->gridModel()->index(row, 1));
        // Left of the right-aligned number, where only the background is.
        return QColor(image.pixel(cell.left() + 3, cell.center().y()));
    };
    const QColor info = w->grid()->palette().color(QPalette::ToolTipBase);
    EXPECT_EQ(colourOfRow(0), info);
    EXPECT_EQ(colourOfRow(1), browse::rasterColor());
    EXPECT_EQ(colourOfRow(2), info);
    // Scrolled by one row, the colours stay with the screen rows.
    w->grid()->setFixedHeight(100);
    QCoreApplication::processEvents();
    w->grid()->verticalScrollBar()->setValue(1);
    ASSERT_EQ(w->grid()->rowAt(0), 1);
    const QColor first = colourOfRow(1);
    EXPECT_EQ(first, info) << "row 2 of the table is now the first row on screen";
}

TEST_F(GridWindowTest, GridReadsOnlyTheRowsItShows)
{
    ScratchDir dir;
    const QString table = dir.file(QStringLiteral("gross.dbf"));
    ASSERT_TRUE(testsupport::makeGeneratedTable(table, 50000));
    w->resize(935, 713);
    w->show();
    w->Oeffnen(table);
    ASSERT_EQ(w->TableRecordCount, 50000);
    w->grid()->viewport()->repaint();
    const qint64 shown = w->gridModel()->cellReads();
    const int visibleRows = w->grid()->viewport()->height() / browse::DataGrid::RowPitch + 2;
    EXPECT_GT(shown, 0);
    EXPECT_LE(shown, 4 * visibleRows * w->gridModel()->columnCount());

    w->action(QStringLiteral("ACDSlast"))->trigger();
    w->grid()->viewport()->repaint();
    EXPECT_EQ(w->grid()->currentIndex().row(), 49999);
    EXPECT_LE(w->gridModel()->cellReads() - shown, 4 * visibleRows * w->gridModel()->columnCount());
}

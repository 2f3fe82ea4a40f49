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

#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QAction>
#include <QScrollBar>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
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

TEST(GridPaint, CellTextIsCutExactlyWhereQtWouldCutIt)
{
    // Qt's own cutting is the measure: the shortcut may only skip it where it
    // would change nothing.
    guiApp();
    const QStringList texts = {
        QString(), QStringLiteral("Müller"), QStringLiteral("1234,50"), QStringLiteral("WWWWWWWWWWWW"),
        QStringLiteral("iiiiiiiiiiiiiiiiiiii"), QStringLiteral("AVAVAVAV To Ty Wa"), QStringLiteral("Straße 12, 50667 Köln"),
        QStringLiteral("Ἀθῆναι"), QStringLiteral("Cafe\u0301 e\u0301"), QStringLiteral("Москва"),
        QStringLiteral("Text mit \U0001F600 darin"), QStringLiteral("fi fl ffi Office"),
    };
    for (const QFont &font : {QApplication::font(), QFont(QStringLiteral("Liberation Mono"), 10),
                              QFont(QStringLiteral("DejaVu Serif"), 11)}) {
        const QFontMetrics metrics(font);
        for (const QString &text : texts)
            for (int width = 1; width < 260; ++width)
                ASSERT_EQ(browse::cellText(metrics, text, width), metrics.elidedText(text, Qt::ElideRight, width))
                    << font.family().toStdString() << " \"" << text.toStdString() << "\" in " << width << " px";
    }
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
    ASSERT_EQ(w->gridModel()->positionOfRow(w->grid()->rowAt(0)), 1);
    const QColor first = colourOfRow(w->grid()->rowAt(0));
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
    EXPECT_EQ(w->gridModel()->positionOfRow(w->grid()->currentIndex().row()), 49999);
    EXPECT_LE(w->gridModel()->cellReads() - shown, 4 * visibleRows * w->gridModel()->columnCount());
}

// The model holds a window of the records, the scroll bar counts all of them,
// and keys, the bar and clicks move through the whole table. The dates are the
// fixture's as dbfread reads them: 297 days from 09.09.1997 to 16.12.1997.
TEST_F(GridWindowTest, WindowOfRecordsMovesWithKeysBarAndClicks)
{
    ScratchDir dir;
    w->resize(700, 500);
    w->show();
    w->Oeffnen(dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ndx-date.dbf")));
    QApplication::setActiveWindow(w);
    w->grid()->setFocus();
    QCoreApplication::processEvents();
    browse::DataGrid *grid = w->grid();
    browse::TableModel *model = w->gridModel();
    ASSERT_EQ(model->recordRows(), 297);
    EXPECT_LT(model->rowCount(), 297) << "the view keeps rows for the window only";
    const int fit = grid->rowsOnScreen();
    ASSERT_GT(fit, 5);
    EXPECT_EQ(grid->verticalScrollBar()->maximum(), 297 - fit);
    const auto firstShown = [&] { return model->data(model->index(grid->rowAt(0), 0), Qt::DisplayRole).toString(); };
    const auto currentText = [&] { return model->data(grid->currentIndex(), Qt::DisplayRole).toString(); };
    const auto indicator = [&] { return model->headerData(grid->currentIndex().row(), Qt::Vertical, Qt::DisplayRole).toString(); };
    EXPECT_EQ(firstShown(), QStringLiteral("09.09.1997"));

    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(w->TBView.RecNo(), 297);
    EXPECT_EQ(currentText(), QStringLiteral("16.12.1997"));
    EXPECT_EQ(indicator(), QStringLiteral("▶"));
    EXPECT_EQ(grid->verticalScrollBar()->value(), 297 - fit);
    EXPECT_TRUE(grid->viewport()->rect().contains(grid->visualRect(grid->currentIndex())));
    QTest::keyClick(grid, Qt::Key_Up);
    EXPECT_EQ(w->TBView.RecNo(), 296);
    EXPECT_EQ(currentText(), QStringLiteral("15.12.1997"));

    QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(w->TBView.RecNo(), 1);
    EXPECT_EQ(firstShown(), QStringLiteral("09.09.1997"));
    // Down past the last row on screen scrolls by one row.
    for (int i = 0; i < fit; ++i)
        QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(w->TBView.RecNo(), fit + 1);
    EXPECT_EQ(firstShown(), QStringLiteral("10.09.1997"));
    EXPECT_EQ(model->positionOfRow(grid->currentIndex().row()), fit);

    // The bar scrolls without moving the record; a click then picks record 129.
    grid->verticalScrollBar()->setValue(128);
    QCoreApplication::processEvents();
    EXPECT_EQ(firstShown(), QStringLiteral("08.10.1997"));
    EXPECT_EQ(w->TBView.RecNo(), fit + 1);
    EXPECT_FALSE(grid->currentIndex().isValid()) << "the current record is off screen";
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(model->index(grid->rowAt(0), 0)).center());
    QCoreApplication::processEvents();
    EXPECT_EQ(w->TBView.RecNo(), 129);
    EXPECT_EQ(currentText(), QStringLiteral("08.10.1997"));
    // Page down moves a screenful of records.
    QTest::keyClick(grid, Qt::Key_PageDown);
    EXPECT_EQ(w->TBView.RecNo(), 129 + fit);
    EXPECT_TRUE(grid->viewport()->rect().contains(grid->visualRect(grid->currentIndex())));

    // A new record from the middle of the table: the window goes to the end,
    // where the new row shows with its indicator; cancelled, it is gone again.
    w->action(QStringLiteral("ACDSNew"))->trigger();
    QCoreApplication::processEvents();
    ASSERT_EQ(w->TBView.State(), engine::dsInsert);
    EXPECT_EQ(model->recordRows(), 298);
    EXPECT_EQ(model->positionOfRow(grid->currentIndex().row()), 297);
    EXPECT_EQ(indicator(), QStringLiteral("✱"));
    EXPECT_EQ(currentText(), QString());
    EXPECT_EQ(grid->verticalScrollBar()->maximum(), 298 - fit);
    EXPECT_TRUE(grid->viewport()->rect().contains(grid->visualRect(grid->currentIndex())));
    w->TBView.Cancel();
    QCoreApplication::processEvents();
    EXPECT_EQ(model->recordRows(), 297);
    EXPECT_EQ(grid->verticalScrollBar()->maximum(), 297 - fit);
    EXPECT_EQ(model->positionOfRow(grid->currentIndex().row()), w->TBView.RecNo() - 1);
    EXPECT_EQ(indicator(), QStringLiteral("▶"));
}

// A table of several chunks shows its first screen before it is counted: the
// status says "…" for the count until the background count arrives, and then
// follows appends and deletes.
TEST_F(GridWindowTest, StatusShowsTheCountWhenItArrivesAndFollowsChanges)
{
    ScratchDir dir;
    const QString table = dir.file(QStringLiteral("viele.dbf"));
    ASSERT_TRUE(testsupport::makeGeneratedTable(table, 200000));
    w->resize(935, 713);
    w->show();
    w->Oeffnen(table);
    QLabel *status = w->findChild<QLabel *>(QStringLiteral("LBStatusbar1"));
    ASSERT_TRUE(status);
    QElapsedTimer timer;
    timer.start();
    // The first screen shows at once, the count may still be missing.
    EXPECT_EQ(w->grid()->model()->data(w->grid()->model()->index(0, 0), Qt::DisplayRole).toString(), QStringLiteral("1"));
    if (!w->TBView.RecordCountKnown()) {
        EXPECT_EQ(status->text(), QStringLiteral("Satz: 1/…"));
        EXPECT_EQ(w->gridModel()->recordRows(), 200000); // the file's records meanwhile
    }
    while (!w->TBView.RecordCountKnown() && timer.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
    EXPECT_EQ(status->text(), QStringLiteral("Satz: 1/200000"));
    EXPECT_EQ(w->TableRecordCount, 200000);

    w->action(QStringLiteral("ACDSNew"))->trigger();
    w->TBView.Fields(0)->setAsString(QStringLiteral("4711"));
    w->action(QStringLiteral("ACDSok"))->trigger();
    EXPECT_EQ(status->text(), QStringLiteral("Satz: 200001/200001"));
    w->TBView.First();
    w->TBView.Delete();
    EXPECT_EQ(status->text(), QStringLiteral("Satz: 1/200000"));
    EXPECT_EQ(w->gridModel()->recordRows(), 200000);
}

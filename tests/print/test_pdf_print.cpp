// Printouts into real PDF files, read back with poppler's pdftotext and pdfinfo.
#include "EngineError.h"
#include "PageWriter.h"
#include "PdfOutput.h"
#include "PdfText.h"
#include "PrintTestSupport.h"
#include "StructurePrint.h"
#include "TablePrint.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QBuffer>
#include <gtest/gtest.h>

using namespace print;
using testsupport::ScratchDir;
using testsupport::fixture;
using testsupport::pdfPages;
using testsupport::pdfPageCount;

namespace {

QGuiApplication &app()
{
    static int argc = 1;
    static char name[] = "test_print";
    static char *argv[] = {name, nullptr};
    static QGuiApplication application(argc, argv);
    return application;
}

class PdfPrintTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app();
        resetPageWriter();
    }
    void TearDown() override { resetPageWriter(); }
    ScratchDir dir;
};

TEST_F(PdfPrintTest, ThePdfPageIsA4At600DpiWith6851PixelsToPrintOn)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(PdfResolution);
    writer.setPageLayout(pdfPageLayout());
    EXPECT_EQ(writer.height(), 6851);
    EXPECT_EQ(writer.width(), 4792);
    writer.setPageLayout(pdfPageLayout(QPageLayout::Landscape));
    EXPECT_EQ(writer.width(), 6851);
}

TEST_F(PdfPrintTest, CarsReadsBackLineForLine)
{
    OpenedTable t(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    const QString pdf = dir.file(QStringLiteral("cars.pdf"));
    printToPdf(pdf, pdfPageLayout(), [&](PrintCanvas &canvas) {
        printTable(canvas, t.table, gridFields(t.table, {}), QStringLiteral("CARS.DBF"), 10);
    });
    EXPECT_EQ(pdfPageCount(pdf), 1);
    EXPECT_TRUE(testsupport::pdfPageSize(pdf).startsWith(QStringLiteral("595 x 842 pts"))); // A4
    const QVector<QStringList> pages = pdfPages(pdf);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(pages[0], (QStringList{QStringLiteral("CARS.DBF Seite: 1"),
                                     QStringLiteral("NAME            YEAR        SEDAN PROD_DATE  CC"),
                                     QString(57, QLatin1Char('-')),
                                     QStringLiteral("PASSAT                    0 False 01.01.1977       0,000"),
                                     QStringLiteral("POLO                   2000 False 03.12.1901     333,444"),
                                     QStringLiteral("JETTA                  1990 True  12.02.1990     999,999")}));
}

TEST_F(PdfPrintTest, SixtyFiveLinePositionsAPageOnTheRealPage)
{
    // ndx-num.dbf: 594 records. 65 positions a page at size 10: the header takes 4, so 61 records a page.
    OpenedTable t(fixture(QStringLiteral("dbase/dbd-xbase/ndx-num.dbf")));
    ASSERT_EQ(t.table.RecordCount(), 594);
    const QString pdf = dir.file(QStringLiteral("num.pdf"));
    printToPdf(pdf, pdfPageLayout(), [&](PrintCanvas &canvas) {
        printTable(canvas, t.table, gridFields(t.table, {}), QStringLiteral("NDX-NUM.DBF"), 10);
    });
    EXPECT_EQ(pdfPageCount(pdf), 10); // 9 full pages of 61, then 45
    const QVector<QStringList> pages = pdfPages(pdf);
    ASSERT_EQ(pages.size(), 10);
    for (int p = 0; p < 9; ++p) {
        EXPECT_EQ(pages[p].size(), 3 + 61) << p;
        EXPECT_EQ(pages[p].first(), QStringLiteral("NDX-NUM.DBF Seite: %1").arg(p + 1));
    }
    EXPECT_EQ(pages[9].size(), 3 + 45);
    EXPECT_EQ(pages[1][1], pages[0][1]);
}

TEST_F(PdfPrintTest, StructureOfARealTable)
{
    OpenedTable t(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    StructurePrintout p;
    p.databaseName = QStringLiteral("/daten/autos");
    p.tableName = QStringLiteral("CARS.DBF");
    p.recordCount = 4;
    p.recordSize = t.table.RecordSize();
    for (const QStringList &row : {QStringList{"1", "NAME", "Zeichen", "15"}, QStringList{"2", "YEAR", "Zahl", "4"}})
        p.fieldRows.append(row);
    const QString pdf = dir.file(QStringLiteral("struktur.pdf"));
    // At 10 points the 85 hyphens of the rule fit the A4 width; at 12 they would run off its edge.
    printToPdf(pdf, pdfPageLayout(), [&](PrintCanvas &canvas) { printStructure(canvas, p, 10); });
    const QVector<QStringList> pages = pdfPages(pdf);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(pages[0], (QStringList{QStringLiteral("Tabellenstruktur für CARS.DBF"),
                                     QStringLiteral("Datenbank     : /daten/autos"),
                                     QStringLiteral("Tabelle       : CARS.DBF"),
                                     QStringLiteral("Satzanzahl    : 4"),
                                     QStringLiteral("Satzgröße     : %1").arg(t.table.RecordSize()),
                                     QStringLiteral("Codepage      :"),
                                     QStringLiteral("Sprachtreiber :"),
                                     QStringLiteral("Nr.   Feldname             Feldtyp                 Größe"),
                                     QString(85, QLatin1Char('-')),
                                     QStringLiteral("1     NAME                 Zeichen                    15"),
                                     QStringLiteral("2     YEAR                 Zahl                        4")}));
}

TEST_F(PdfPrintTest, WideLinesAndCharactersOutsideTheFixedPitchFont)
{
    const QString pdf = dir.file(QStringLiteral("zeichen.pdf"));
    QString wide;
    for (int i = 0; i < 50; ++i)
        wide += QStringLiteral("%1").arg(i % 10) + QStringLiteral("123456789");
    printToPdf(pdf, pdfPageLayout(), [&](PrintCanvas &canvas) {
        pageWriter().PrintTitle = QStringLiteral("Zeichen");
        pageWriter().PrintLeft = 100;
        pageWriter().PrintTop = 200;
        PrintBegin(canvas, printFontName(), 10);
        PrintLine(wide);
        // Umlauts and sharp s are in the font; the star and the emoji come from another one.
        PrintLine(QStringLiteral("Größe Straße Ärger"));
        PrintLine(QStringLiteral("Stern \u2605 und \U0001F600 Ende"));
        PrintLine(QStringLiteral("e\u0301 Akzent"));
        PrintEnd();
    });
    const QString text = testsupport::runPoppler(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    const QStringList page = pdfPages(pdf).value(0);
    // (The star's font places it a little higher, so poppler gives it a line of its own.)
    ASSERT_GE(page.size(), 4);
    // A line wider than the page runs off its edge: what fits (95 characters at 10 points) is there.
    EXPECT_EQ(page[0].left(95), wide.left(95));
    EXPECT_EQ(page[1], QStringLiteral("Größe Straße Ärger"));
    EXPECT_TRUE(text.contains(QStringLiteral("\u2605"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Ende"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\u00e9 Akzent")) || text.contains(QStringLiteral("e\u0301 Akzent")))
        << text.toStdString();
}

TEST_F(PdfPrintTest, AFailedPrintLeavesTheOldFileAndNoHalfPdf)
{
    OpenedTable t(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    const QString pdf = dir.file(QStringLiteral("alt.pdf"));
    {
        QFile old(pdf);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents");
    }
    EXPECT_THROW(printToPdf(pdf, pdfPageLayout(),
                            [&](PrintCanvas &canvas) {
                                printTable(canvas, t.table, gridFields(t.table, {}), QStringLiteral("CARS.DBF"), 10);
                                throw engine::EngineError(QStringLiteral("Abbruch"));
                            }),
                 engine::EngineError);
    EXPECT_EQ(testsupport::readAll(pdf), QByteArray("old contents"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("alt.pdf")});
    // The writer is free again for the next document.
    printToPdf(pdf, pdfPageLayout(), [&](PrintCanvas &canvas) {
        printTable(canvas, t.table, gridFields(t.table, {}), QStringLiteral("CARS.DBF"), 10);
    });
    EXPECT_TRUE(testsupport::readAll(pdf).startsWith("%PDF"));
}

TEST_F(PdfPrintTest, AFolderThatIsAFileIsAGermanError)
{
    const QString plain = dir.file(QStringLiteral("table.txt"));
    {
        QFile f(plain);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const QString pdf = plain + QStringLiteral("/out.pdf");
    bool ran = false;
    try {
        printToPdf(pdf, pdfPageLayout(), [&](PrintCanvas &) { ran = true; });
        ADD_FAILURE() << "no error";
    } catch (const engine::EngineError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Die Datei %1 kann nicht angelegt werden").arg(pdf));
    }
    EXPECT_FALSE(ran);
    EXPECT_EQ(pageWriter().Canvas, nullptr);
}

} // namespace

// The table printout's columns and lines, on real files and a recording canvas.
#include "PageWriter.h"
#include "PrintTestSupport.h"
#include "Progress.h"
#include "RecordingCanvas.h"
#include "TablePrint.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace print;
using testsupport::fixture;

namespace {

class TablePrintTest : public ::testing::Test {
protected:
    void SetUp() override { resetPageWriter(); }
    void TearDown() override { resetPageWriter(); }
};

QVector<int> allFields(const engine::TableDataset &table)
{
    return gridFields(table, {});
}

TEST_F(TablePrintTest, CarsWorkedExample)
{
    OpenedTable t(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    const QVector<PrintColumn> columns = printColumns(t.table, allFields(t.table));
    // DESCR is a memo and drops out entirely.
    ASSERT_EQ(columns.size(), 5);
    const QStringList names{QStringLiteral("NAME"), QStringLiteral("YEAR"), QStringLiteral("SEDAN"),
                            QStringLiteral("PROD_DATE"), QStringLiteral("CC")};
    const int widths[] = {15, 11, 5, 10, 11};
    const bool right[] = {false, true, false, false, true};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(columns[i].name, names[i]);
        EXPECT_EQ(columns[i].width, widths[i]) << i;
        EXPECT_EQ(columns[i].rightAligned, right[i]) << i;
    }
    EXPECT_EQ(lineWidth(columns), 57);
    EXPECT_EQ(headingLine(columns), QStringLiteral("NAME            YEAR        SEDAN PROD_DATE  CC          "));

    RecordingCanvas canvas(6851);
    printTable(canvas, t.table, allFields(t.table), QStringLiteral("CARS.DBF"), 10);
    EXPECT_EQ(canvas.jobName, QStringLiteral("CARS.DBF"));
    EXPECT_EQ(canvas.texts(),
              (QStringList{QStringLiteral("CARS.DBF Seite: 1"),
                           QStringLiteral("NAME            YEAR        SEDAN PROD_DATE  CC          "),
                           QString(57, QLatin1Char('-')),
                           QStringLiteral("PASSAT                    0 False 01.01.1977       0,000 "),
                           QStringLiteral("POLO                   2000 False 03.12.1901     333,444 "),
                           QStringLiteral("JETTA                  1990 True  12.02.1990     999,999 "),
                           QString(57, QLatin1Char(' '))}));
    // Header bold at 200, 300, 400; a blank line; records regular from 600 on.
    EXPECT_TRUE(canvas.lines[0].font.bold);
    EXPECT_TRUE(canvas.lines[2].font.bold);
    EXPECT_EQ(canvas.lines[3].y, 600);
    EXPECT_EQ(canvas.lines[3].x, 100);
    EXPECT_EQ(canvas.lines[3].font, (CanvasFont{QStringLiteral("Courier New"), 10, false}));
    EXPECT_EQ(canvas.lines[6].y, 900);
    EXPECT_EQ(canvas.pages, 1);
    EXPECT_EQ(canvas.ends, 1);
    // The walk ends on the last record.
    EXPECT_EQ(t.table.RecNo(), 4);
    EXPECT_TRUE(t.table.Eof());
}

TEST_F(TablePrintTest, OnlyTheGridsColumnsInTheirOrder)
{
    OpenedTable t(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    // CC, DESCR (memo), NAME: the memo gives no heading, no value, no share of the rule.
    const QVector<int> fields{4, 5, 0};
    RecordingCanvas canvas;
    printTable(canvas, t.table, fields, QStringLiteral("CARS.DBF"), 10);
    ASSERT_GE(canvas.lines.size(), 4);
    EXPECT_EQ(canvas.lines[1].text, QStringLiteral("CC          NAME            "));
    EXPECT_EQ(canvas.lines[2].text, QString(28, QLatin1Char('-')));
    EXPECT_EQ(canvas.lines[4].text, QStringLiteral("    333,444 POLO            "));
    EXPECT_EQ(FeldGroesse(t.table, fields, 2, 15), 15);
    EXPECT_EQ(FeldGroesse(t.table, fields, 0, 1), 2);
}

TEST_F(TablePrintTest, TheWalkReportsItsProgressOverTheRecordsPrinted)
{
    struct Recorder : engine::ProgressObserver {
        QList<QPair<qint64, qint64>> reports;
        void progress(qint64 done, qint64 total) override { reports.append({done, total}); }
    } seen;
    const engine::ProgressTiming before = engine::progressTiming();
    engine::setProgressTiming({0, 0});
    OpenedTable t(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    RecordingCanvas canvas;
    {
        const engine::ProgressScope scope(&seen);
        printTable(canvas, t.table, allFields(t.table), QStringLiteral("CARS.DBF"), 10);
    }
    engine::setProgressTiming(before);
    // Four records (the last one blank): the start, then the end once the page is out.
    EXPECT_EQ(seen.reports, (QList<QPair<qint64, qint64>>{{0, 4}, {4, 4}}));
}

TEST_F(TablePrintTest, IndexAndFilterAsSetDecideTheRecordsAndTheirOrder)
{
    OpenedTable t(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    t.table.Close();
    t.table.setFilter(QStringLiteral("YEAR > 1000"));
    t.table.setFiltered(true);
    t.table.Open();
    RecordingCanvas canvas;
    printTable(canvas, t.table, {0}, QStringLiteral("CARS.DBF"), 10);
    EXPECT_EQ(canvas.texts().mid(3), (QStringList{QStringLiteral("POLO            "), QStringLiteral("JETTA           ")}));
}

TEST_F(TablePrintTest, ANumberLongerThanItsColumnIsPrintedWholeAndShiftsTheLine)
{
    // NUMBER.DBF: MAXINT N19 holds 1111111111111111040 in record 1.
    OpenedTable t(fixture(QStringLiteral("dbase/dans-dbase3plus/NUMBER.DBF")));
    const QVector<int> fields{2, 0};
    const QVector<PrintColumn> columns = printColumns(t.table, fields);
    ASSERT_EQ(columns.size(), 2);
    EXPECT_EQ(columns[0].width, 11);
    EXPECT_TRUE(columns[0].rightAligned);
    t.table.First();
    EXPECT_EQ(recordLine(t.table, columns), QStringLiteral("1111111111111111040           1 "));
    RecordingCanvas canvas;
    printTable(canvas, t.table, fields, QStringLiteral("NUMBER.DBF"), 10);
    EXPECT_EQ(canvas.lines[3].text, QStringLiteral("1111111111111111040           1 "));
    // Ten records, the blank last one as blanks.
    EXPECT_EQ(canvas.lines.size(), 13);
    EXPECT_EQ(canvas.lines.last().text, QString(24, QLatin1Char(' ')));
}

TEST_F(TablePrintTest, AccessTypesSmallIntegersAndDateTimes)
{
    // Table1: A Text(50), B Text(100), C Byte, D Integer, E Long, F Double, G DateTime, H Currency, I Boolean.
    OpenedTable t(fixture(QStringLiteral("access/jackcess/testV1997.mdb")), QStringLiteral("Table1"));
    const QVector<PrintColumn> columns = printColumns(t.table, allFields(t.table));
    ASSERT_EQ(columns.size(), 9);
    EXPECT_EQ(columns[2].width, 5); // Byte, a small integer named "C"
    EXPECT_EQ(columns[3].width, 5);
    EXPECT_EQ(columns[4].width, 11);
    // "dd.MM.yyyy hh:mm:ss" is 19 characters and printed whole.
    EXPECT_EQ(columns[6].width, 19);
    t.table.First();
    while (!t.table.Eof() && t.table.FieldByName(QStringLiteral("A"))->AsString() != QLatin1String("abcdefg"))
        t.table.Next();
    ASSERT_FALSE(t.table.Eof());
    const QString line = recordLine(t.table, columns);
    const QString expected = QStringLiteral("abcdefg").leftJustified(51) + QStringLiteral("hijklmnop").leftJustified(101)
        + QStringLiteral("    2 ") + QStringLiteral("  222 ") + QStringLiteral("  333333333 ")
        + QStringLiteral("    444,555 ") + QStringLiteral("21.09.1974 00:00:00 ") + QStringLiteral("       3,50 ")
        + QStringLiteral("True  ");
    EXPECT_EQ(line, expected);
}

TEST_F(TablePrintTest, CellsLeftCutRightTrimmedAndWhole)
{
    const PrintColumn left{0, QStringLiteral("NAME"), 6, false};
    EXPECT_EQ(printCell(left, QStringLiteral("Müller-Lüdenscheidt")), QStringLiteral("Müller"));
    EXPECT_EQ(printCell(left, QStringLiteral("  ab")), QStringLiteral("  ab  "));
    const PrintColumn right{0, QStringLiteral("N"), 5, true};
    EXPECT_EQ(printCell(right, QStringLiteral(" 42\t ")), QStringLiteral("   42"));
    EXPECT_EQ(printCell(right, QStringLiteral("1234567")), QStringLiteral("1234567"));
    EXPECT_EQ(printCell(right, QString()), QStringLiteral("     "));
}

TEST_F(TablePrintTest, WidthsAndAlignmentOfEveryType)
{
    using namespace engine;
    struct Case {
        TFieldType type;
        int width;
        bool right;
    };
    const Case printable[] = {{ftString, 30, false},   {ftFixedChar, 30, false}, {ftWideString, 30, false},
                              {ftSmallint, 5, true},   {ftInteger, 11, true},    {ftWord, 11, true},
                              {ftBoolean, 5, false},   {ftFloat, 11, true},      {ftCurrency, 11, true},
                              {ftBCD, 11, true},       {ftDate, 10, false},      {ftTime, 10, false},
                              {ftDateTime, 19, false}, {ftTimeStamp, 19, false}, {ftBytes, 3, false},
                              {ftVarBytes, 3, false},  {ftAutoInc, 11, true},    {ftLargeint, 11, true}};
    for (const Case &c : printable) {
        const std::optional<TypeLayout> layout = typeLayout(c.type, 30);
        ASSERT_TRUE(layout) << c.type;
        EXPECT_EQ(layout->minimumWidth, c.width) << c.type;
        EXPECT_EQ(layout->rightAligned, c.right) << c.type;
    }
    for (TFieldType t : {ftMemo, ftBlob, ftGraphic, ftFmtMemo, ftGuid, ftVariant, ftUnknown, ftParadoxOle, ftFMTBcd})
        EXPECT_FALSE(typeLayout(t, 30)) << t;
}

TEST_F(TablePrintTest, OnlyUnprintableColumnsGiveEmptyLines)
{
    OpenedTable t(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    RecordingCanvas canvas;
    printTable(canvas, t.table, {5}, QStringLiteral("CARS.DBF"), 10);
    // Empty heading and rule are left out of the header; each record is an empty line.
    EXPECT_EQ(canvas.texts(), (QStringList{QStringLiteral("CARS.DBF Seite: 1"), QString(), QString(), QString(),
                                           QString()}));
    EXPECT_EQ(canvas.lines[1].y, 400);
}

TEST_F(TablePrintTest, AnEmptyTablePrintsOnePageWithTheHeaderOnly)
{
    testsupport::ScratchDir dir;
    const QString copy = dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf"));
    dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbt"));
    OpenedTable t(copy);
    t.table.Close();
    t.table.setFilter(QStringLiteral("NAME = 'GIBTESNICHT'"));
    t.table.setFiltered(true);
    t.table.Open();
    RecordingCanvas canvas;
    printTable(canvas, t.table, allFields(t.table), QStringLiteral("CARS.DBF"), 10);
    EXPECT_EQ(canvas.pages, 1);
    EXPECT_EQ(canvas.texts(), (QStringList{QStringLiteral("CARS.DBF Seite: 1"),
                                           QStringLiteral("NAME            YEAR        SEDAN PROD_DATE  CC          "),
                                           QString(57, QLatin1Char('-'))}));
}

TEST_F(TablePrintTest, LaterPagesRepeatTheBoldHeaderAndAFullLastPageLeavesAHeaderPage)
{
    // NUMBER.DBF has 10 records. Height 1600, size 10: limit 1400, positions 200..1400 = 13 a page.
    // Page 1: header 4 positions, then records at 600..1400 = 9 records; record 10 on page 2.
    OpenedTable t(fixture(QStringLiteral("dbase/dans-dbase3plus/NUMBER.DBF")));
    {
        RecordingCanvas canvas(1600);
        printTable(canvas, t.table, {0}, QStringLiteral("NUMBER.DBF"), 10);
        EXPECT_EQ(canvas.pages, 2);
        const QVector<DrawnLine> second = canvas.onPage(2);
        ASSERT_EQ(second.size(), 4);
        EXPECT_EQ(second[0].text, QStringLiteral("NUMBER.DBF Seite: 2"));
        EXPECT_EQ(second[1].text, QStringLiteral("ID          "));
        EXPECT_EQ(second[2].text, QString(12, QLatin1Char('-')));
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(second[i].font.bold);
        EXPECT_EQ(second[3].y, 600);
        EXPECT_FALSE(second[3].font.bold);
        EXPECT_EQ(second[3].text, QString(12, QLatin1Char(' ')));
    }
    // Height 1700: limit 1500, 10 records at 600..1500 fill page 1 exactly.
    RecordingCanvas canvas(1700);
    printTable(canvas, t.table, {0}, QStringLiteral("NUMBER.DBF"), 10);
    EXPECT_EQ(canvas.pages, 2);
    EXPECT_EQ(canvas.onPage(1).size(), 13);
    EXPECT_EQ(canvas.onPage(2).size(), 3);
}

} // namespace

// A table counted in the background: the printout waits for the count, so its
// progress runs over every record and the last one is printed.
TEST_F(TablePrintTest, PrintoutWaitsForACountStillBeingMade)
{
    testsupport::ScratchDir dir;
    const QString path = dir.file(QStringLiteral("viele.dbf"));
    ASSERT_TRUE(testsupport::makeGeneratedTable(path, 150000));
    engine::Connection connection;
    connection.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source="));
    engine::TableDataset table;
    table.setConnection(&connection);
    table.setCountInBackground(true);
    data::TKADOopen descriptor;
    descriptor.setADOTable(&table);
    descriptor.setAutoTableDirect(true);
    descriptor.setDatabaseName(path);
    descriptor.Open();
    ASSERT_FALSE(table.RecordCountKnown()) << "no event loop ran, so the count cannot have arrived";

    struct Recorder : engine::ProgressObserver {
        QList<QPair<qint64, qint64>> reports;
        void progress(qint64 done, qint64 total) override { reports.append({done, total}); }
    } seen;
    const engine::ProgressTiming before = engine::progressTiming();
    engine::setProgressTiming({0, 0});
    RecordingCanvas canvas;
    {
        const engine::ProgressScope scope(&seen);
        printTable(canvas, table, {0}, QStringLiteral("VIELE.DBF"), 10);
    }
    engine::setProgressTiming(before);
    ASSERT_FALSE(seen.reports.isEmpty());
    EXPECT_EQ(seen.reports.first(), (QPair<qint64, qint64>{0, 150000}));
    EXPECT_EQ(seen.reports.last(), (QPair<qint64, qint64>{150000, 150000}));
    EXPECT_TRUE(table.RecordCountKnown());
    EXPECT_EQ(table.RecordCount(), 150000);
    EXPECT_EQ(canvas.lines.last().text.trimmed(), QStringLiteral("150000"));
}

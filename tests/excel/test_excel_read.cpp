// Reading real workbooks written by Excel (Windows and Mac), OpenOffice and
// others: table names, column names and types, values, date systems.
#include "EngineError.h"
#include "TestSupport.h"
#include "drivers/excel/ExcelDriver.h"

#include <QDateTime>
#include <QFile>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::fixture;

namespace {

struct Opened {
    std::unique_ptr<TableSource> table;
    QVariant at(qint64 position, int field) { return table->value(table->rowAt(position), field); }
    QStringList names() const
    {
        QStringList out;
        for (const FieldDef &f : table->fieldDefs())
            out << f.name;
        return out;
    }
};

Opened openTable(const QString &file, const QString &table)
{
    ExcelDriver driver;
    return {driver.open(fixture(QStringLiteral("excel/") + file), table, OpenOptions{})};
}

QString fact(const TableSource &table, const QString &name)
{
    for (const auto &f : table.facts()) {
        if (f.first == name)
            return f.second;
    }
    return QString();
}

} // namespace

TEST(ExcelRead, HandlesTheExcelKindsOnly)
{
    ExcelDriver driver;
    EXPECT_TRUE(driver.handles(QStringLiteral("Excel 8.0")));
    EXPECT_TRUE(driver.handles(QStringLiteral("excel 5.0;HDR=Yes")));
    EXPECT_TRUE(driver.handles(QStringLiteral("Excel 3.0")));
    EXPECT_FALSE(driver.handles(QStringLiteral("Excel 12.0")));
    EXPECT_FALSE(driver.handles(QStringLiteral("dBASE 5.0")));
    EXPECT_FALSE(driver.handles(QString()));
    EXPECT_FALSE(driver.dataSourceIsDirectory());
}

TEST(ExcelRead, SheetNamesInWorkbookOrderWithUmlauts)
{
    ExcelDriver driver;
    EXPECT_EQ(driver.tableNames(fixture(QStringLiteral("excel/xlrd/Formate.xls"))),
              (QStringList{QStringLiteral("Blätt1$"), QStringLiteral("ÖÄÜ$"), QStringLiteral("Blätt3$"), QStringLiteral("Formate$")}));
    EXPECT_EQ(driver.tableNames(fixture(QStringLiteral("excel/exceldatareader/TestMultiSheet.xls"))),
              (QStringList{QStringLiteral("Sheet2$"), QStringLiteral("Sheet1$"), QStringLiteral("Sheet3$")}));
    EXPECT_EQ(driver.tableNames(fixture(QStringLiteral("excel/csvkit/sheets.xls"))),
              (QStringList{QStringLiteral("not this one$"), QStringLiteral("data$"), QStringLiteral("ʤ$")}));
    // Built-in names (Print_Area, Sheet_Title) and names of formulas are no tables.
    EXPECT_EQ(driver.tableNames(fixture(QStringLiteral("excel/xlrd/issue20.xls"))),
              (QStringList{QStringLiteral("Sheet1$"), QStringLiteral("Sheet2$"), QStringLiteral("Sheet3$")}));
    EXPECT_EQ(driver.tableNames(fixture(QStringLiteral("excel/xlrd/formula_test_names.xls"))),
              (QStringList{QStringLiteral("Sheet1$"), QStringLiteral("Sheet2$"), QStringLiteral("Sheet3$")}));
    // Hidden and very hidden sheets are tables too.
    EXPECT_EQ(driver.tableNames(fixture(QStringLiteral("excel/exceldatareader/Test_Excel_Dataset.xls"))).size(), 3);
}

TEST(ExcelRead, NamedRangesAreTablesWhenTheyNameOneAreaOfOneSheet)
{
    ExcelDriver driver;
    const QStringList names = driver.tableNames(fixture(QStringLiteral("excel/xlrd/namesdemo.xls")));
    // Sheet-local names, constants, unions, intersections, 3-D and relative
    // references are left out; the others in the order the workbook keeps them.
    EXPECT_EQ(names, (QStringList{QStringLiteral("Sheet1$"), QStringLiteral("Sheet2$"), QStringLiteral("Sheet3$"),
                                  QStringLiteral("Seamus O'Reilly$"), QStringLiteral("Apostrophe"),
                                  QStringLiteral("Expenses"), QStringLiteral("Profit"), QStringLiteral("rectangle1"),
                                  QStringLiteral("rectangle2"), QStringLiteral("Sales"), QStringLiteral("Year_Tot")}));

    // rectangle1 = Sheet3!A9:D10: its first row names the columns.
    Opened r = openTable(QStringLiteral("xlrd/namesdemo.xls"), QStringLiteral("rectangle1"));
    EXPECT_EQ(r.names(), (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("4"), QStringLiteral("8")}));
    ASSERT_EQ(r.table->rowCount(), 1);
    EXPECT_EQ(r.at(0, 0).toDouble(), 16.0);
    EXPECT_EQ(r.at(0, 3).toDouble(), 128.0);
    EXPECT_EQ(fact(*r.table, QStringLiteral("Art")), QStringLiteral("Benannter Bereich"));
    EXPECT_EQ(fact(*r.table, QStringLiteral("Bereich")), QStringLiteral("A9:D10"));
    EXPECT_EQ(fact(*r.table, QStringLiteral("Blatt")), QStringLiteral("Sheet3"));

    // Names are matched regardless of case; Year_Tot = Sheet3!N2:N4.
    Opened y = openTable(QStringLiteral("xlrd/namesdemo.xls"), QStringLiteral("year_tot"));
    EXPECT_EQ(y.table->tableName(), QStringLiteral("Year_Tot"));
    EXPECT_EQ(y.names(), QStringList{QStringLiteral("F1")});
    ASSERT_EQ(y.table->rowCount(), 2);
    EXPECT_FALSE(y.at(0, 0).isValid());
    EXPECT_EQ(y.at(1, 0).toDouble(), 9876.0);

    // A range over a single row is a heading without records.
    Opened s = openTable(QStringLiteral("xlrd/namesdemo.xls"), QStringLiteral("Sales"));
    EXPECT_EQ(s.table->fieldDefs().size(), 13);
    EXPECT_EQ(s.table->rowCount(), 0);

    // "Apostrophe" covers A1:Z10 of a sheet whose only cell is A1: the area ends where the cells end.
    Opened a = openTable(QStringLiteral("xlrd/namesdemo.xls"), QStringLiteral("Apostrophe"));
    EXPECT_EQ(a.names(), QStringList{QStringLiteral("42")});
    EXPECT_EQ(a.table->rowCount(), 0);

    ExcelDriver driver2;
    EXPECT_THROW(driver2.open(fixture(QStringLiteral("excel/xlrd/namesdemo.xls")), QStringLiteral("LocalRange"), {}), EngineError);
}

TEST(ExcelRead, WorksheetByDollarNameOrBareName)
{
    Opened a = openTable(QStringLiteral("exceldatareader/TestMultiSheet.xls"), QStringLiteral("Sheet1$"));
    Opened b = openTable(QStringLiteral("exceldatareader/TestMultiSheet.xls"), QStringLiteral("sheet1"));
    EXPECT_EQ(a.table->tableName(), QStringLiteral("Sheet1$"));
    EXPECT_EQ(b.table->tableName(), QStringLiteral("Sheet1$"));
    // 12 rows: a heading and 11 records; row 12 column D holds 2.
    ASSERT_EQ(a.table->rowCount(), 11);
    EXPECT_EQ(a.table->fieldDefs().size(), 4);
    EXPECT_EQ(a.at(10, 3).toDouble(), 2.0);
    Opened s2 = openTable(QStringLiteral("exceldatareader/TestMultiSheet.xls"), QStringLiteral("Sheet2$"));
    EXPECT_EQ(s2.at(10, 0).toDouble(), 1.0);
    Opened s3 = openTable(QStringLiteral("exceldatareader/TestMultiSheet.xls"), QStringLiteral("[Sheet3$]"));
    ASSERT_EQ(s3.table->rowCount(), 4);
    EXPECT_EQ(s3.at(3, 1).toDouble(), 3.0);

    ExcelDriver driver;
    try {
        driver.open(fixture(QStringLiteral("excel/exceldatareader/TestMultiSheet.xls")), QStringLiteral("Sheet9$"), {});
        FAIL() << "a missing sheet opened";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("Sheet9$")));
        EXPECT_TRUE(e.message().contains(QStringLiteral("TestMultiSheet.xls")));
    }
}

// The whole of csvkit's example against csvkit's own conversion of it (1904 dates).
TEST(ExcelRead, MacWorkbookMatchesItsCsvConversion)
{
    Opened t = openTable(QStringLiteral("csvkit/test.xls"), QStringLiteral("testfixed_converted.csv$"));
    EXPECT_EQ(t.names(), (QStringList{QStringLiteral("text"), QStringLiteral("date"), QStringLiteral("integer"),
                                      QStringLiteral("boolean"), QStringLiteral("float"), QStringLiteral("datetime"),
                                      QStringLiteral("empty_column"), QStringLiteral("F8")}));
    const QVector<FieldDef> &defs = t.table->fieldDefs();
    EXPECT_EQ(defs[0].dataType, ftString);
    EXPECT_EQ(defs[0].size, 19); // "This row has blanks"
    EXPECT_EQ(defs[1].dataType, ftDate);
    EXPECT_EQ(defs[2].dataType, ftFloat);
    EXPECT_EQ(defs[3].dataType, ftBoolean);
    EXPECT_EQ(defs[4].dataType, ftFloat);
    EXPECT_EQ(defs[5].dataType, ftDateTime);
    EXPECT_EQ(defs[6].dataType, ftString);
    EXPECT_EQ(fact(*t.table, QStringLiteral("Datumssystem")), QStringLiteral("1904 (Macintosh)"));

    QFile csv(fixture(QStringLiteral("excel/csvkit/testxls_converted.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(t.table->rowCount(), lines.size() - 1);
    for (int r = 1; r < lines.size(); ++r) {
        const QStringList expected = lines[r].split(QLatin1Char(','));
        SCOPED_TRACE(lines[r].toStdString());
        EXPECT_EQ(t.at(r - 1, 0).toString(), expected[0]);
        EXPECT_EQ(t.at(r - 1, 1).toDate().toString(Qt::ISODate), expected[1]);
        EXPECT_EQ(t.at(r - 1, 2).isValid() ? QString::number(t.at(r - 1, 2).toDouble(), 'f', 1) : QString(), expected[2]);
        EXPECT_EQ(t.at(r - 1, 3).isValid() ? (t.at(r - 1, 3).toBool() ? QStringLiteral("True") : QStringLiteral("False")) : QString(), expected[3]);
        EXPECT_EQ(t.at(r - 1, 4).isValid() ? QString::number(t.at(r - 1, 4).toDouble(), 'g', 15) : QString(),
                  expected[4].endsWith(QLatin1String(".0")) ? expected[4].chopped(2) : expected[4]);
        EXPECT_EQ(t.at(r - 1, 5).toDateTime().toString(Qt::ISODate), expected[5]);
        EXPECT_FALSE(t.at(r - 1, 6).isValid());
        EXPECT_EQ(t.at(r - 1, 7).toString(), expected[7]);
    }
}

TEST(ExcelRead, NumbersDatesBooleansAndFormulaResults)
{
    Opened t = openTable(QStringLiteral("exceldatareader/Test_num_double_date_bool_string.xls"), QStringLiteral("Sheet1$"));
    // Row 1 holds values, not names: they become the column names.
    EXPECT_EQ(t.names()[0], QStringLiteral("1"));
    EXPECT_EQ(t.names()[1], QStringLiteral("1,02"));
    EXPECT_EQ(t.names()[2], QStringLiteral("11.05.2009"));
    EXPECT_EQ(t.names()[5], QStringLiteral("07.05.2009 11:01:02"));
    ASSERT_EQ(t.table->rowCount(), 29);
    const QVector<FieldDef> &defs = t.table->fieldDefs();
    EXPECT_EQ(defs[0].dataType, ftFloat);
    EXPECT_EQ(defs[1].dataType, ftFloat);
    EXPECT_EQ(defs[2].dataType, ftDate);
    EXPECT_EQ(defs[3].dataType, ftString); // numbers and booleans mixed
    EXPECT_EQ(defs[4].dataType, ftString);
    EXPECT_EQ(defs[5].dataType, ftDateTime);
    EXPECT_EQ(t.at(28, 0).toDouble(), 1346269.0);
    EXPECT_DOUBLE_EQ(t.at(1, 1).toDouble(), 4.08);            // a formula's stored result
    EXPECT_DOUBLE_EQ(t.at(28, 1).toDouble(), 547608330.24);
    EXPECT_EQ(t.at(28, 2).toDate(), QDate(2009, 11, 30));
    EXPECT_EQ(t.at(21, 3).toString(), QStringLiteral("True"));   // D23
    EXPECT_EQ(t.at(0, 3).toString(), QStringLiteral("1"));
    EXPECT_FALSE(t.at(0, 4).isValid());
    EXPECT_EQ(t.at(1, 4).toString(), QStringLiteral("next value is null"));
    EXPECT_EQ(t.at(0, 5).toDateTime(), QDateTime(QDate(2009, 5, 8), QTime(11, 1, 2)));
    EXPECT_EQ(defs[4].size, 18);
}

TEST(ExcelRead, OpenOfficeWorkbookWithRepeatedAndEmptyHeadings)
{
    Opened t = openTable(QStringLiteral("exceldatareader/Test_OpenOffice.xls"), QStringLiteral("test.csv$"));
    EXPECT_EQ(t.names(), (QStringList{QStringLiteral("column a"), QStringLiteral(" column b"), QStringLiteral(" column b1"),
                                      QStringLiteral("F4"), QStringLiteral("column e"), QStringLiteral(" column b2")}));
    ASSERT_EQ(t.table->rowCount(), 33);
    EXPECT_EQ(t.table->fieldDefs()[0].dataType, ftFloat);
    EXPECT_EQ(t.table->fieldDefs()[1].dataType, ftString);
    EXPECT_EQ(t.at(0, 0).toDouble(), 2.0);
    EXPECT_EQ(t.at(0, 1).toString(), QStringLiteral("b"));
    EXPECT_EQ(t.at(0, 4).toString(), QStringLiteral(" e "));
    EXPECT_EQ(t.at(1, 1).toString(), QStringLiteral("2"));
    // A date in a text column reads as the engine writes dates.
    EXPECT_EQ(t.at(2, 1).toString(), QStringLiteral("13.10.2012"));
    EXPECT_EQ(t.at(2, 4).toString(), QStringLiteral("16.10.2012"));
    EXPECT_EQ(t.at(32, 0).toDouble(), 34.0);
}

TEST(ExcelRead, GermanSheetWithDatesTimesAndNumbers)
{
    Opened t = openTable(QStringLiteral("xlrd/Formate.xls"), QStringLiteral("Blätt1$"));
    EXPECT_EQ(t.names(), (QStringList{QStringLiteral("Huber"), QStringLiteral("03.07.1907")}));
    ASSERT_EQ(t.table->rowCount(), 9);
    EXPECT_EQ(t.at(0, 0).toString(), QStringLiteral("Äcker"));
    EXPECT_EQ(t.at(1, 0).toString(), QStringLiteral("Öcker"));
    EXPECT_EQ(t.table->fieldDefs()[1].dataType, ftString); // dates, times, percent and currency
    EXPECT_EQ(t.at(0, 1).toString(), QStringLiteral("23.02.2005"));
    EXPECT_EQ(t.at(1, 1).toString(), QStringLiteral("03.05.1988"));
    EXPECT_EQ(t.at(2, 1).toString(), QStringLiteral("06:34:00"));
    EXPECT_EQ(t.at(5, 1).toString(), QStringLiteral("0,974"));
    EXPECT_EQ(t.at(8, 1).toString(), QStringLiteral("1,2"));

    Opened u = openTable(QStringLiteral("xlrd/Formate.xls"), QStringLiteral("ÖÄÜ$"));
    EXPECT_EQ(u.names(), (QStringList{QStringLiteral("-100"), QStringLiteral("F2"), QStringLiteral("F3")}));
    ASSERT_EQ(u.table->rowCount(), 2);
    EXPECT_EQ(u.at(1, 2).toString(), QStringLiteral("MERGED CELLS")); // a merged area's top-left cell
    EXPECT_FALSE(u.at(1, 1).isValid());

    // A sheet that also holds a chart: the chart's records are no cells.
    Opened c = openTable(QStringLiteral("xlrd/Formate.xls"), QStringLiteral("Blätt3$"));
    EXPECT_EQ(c.names(), QStringList{QStringLiteral("100")});
    ASSERT_EQ(c.table->rowCount(), 11);
    EXPECT_EQ(c.at(10, 0).toDouble(), 1200.0);
}

TEST(ExcelRead, TableStartsWhereTheCellsStart)
{
    // Rows 1-3 and columns A-B are empty: the heading is row 4 from column C.
    Opened t = openTable(QStringLiteral("rows/all-field-types.xls"), QStringLiteral("Sheet1$"));
    EXPECT_EQ(t.names(), (QStringList{QStringLiteral("bool_column"), QStringLiteral("integer_column"),
                                      QStringLiteral("float_column"), QStringLiteral("decimal_column"),
                                      QStringLiteral("percent_column"), QStringLiteral("date_column"),
                                      QStringLiteral("datetime_column"), QStringLiteral("unicode_column")}));
    ASSERT_EQ(t.table->rowCount(), 7);
    // The last row holds texts ("-", "null", "n/a") in every column: all columns are text.
    for (const FieldDef &f : t.table->fieldDefs())
        EXPECT_EQ(f.dataType, ftString) << f.name.toStdString();
    EXPECT_EQ(t.at(0, 0).toString(), QStringLiteral("True")); // a boolean among texts
    EXPECT_EQ(t.at(2, 0).toString(), QStringLiteral("true"));
    EXPECT_EQ(t.at(0, 1).toString(), QStringLiteral("1"));
    EXPECT_EQ(t.at(0, 2).toString(), QStringLiteral("3,141592"));
    EXPECT_EQ(t.at(0, 4).toString(), QStringLiteral("0,01"));
    EXPECT_EQ(t.at(0, 5).toString(), QStringLiteral("01.01.2015"));
    EXPECT_EQ(t.at(0, 6).toString(), QStringLiteral("18.08.2015 15:10:00"));
    EXPECT_EQ(t.at(6, 1).toString(), QStringLiteral("-"));
    EXPECT_EQ(t.at(6, 3).toString(), QStringLiteral("nil"));
    EXPECT_EQ(t.at(0, 7).toString(), QStringLiteral("Álvaro"));
    EXPECT_EQ(fact(*t.table, QStringLiteral("Bereich")), QStringLiteral("C4:J11"));
}

TEST(ExcelRead, UnicodeTextAnd1904Dates)
{
    Opened u = openTable(QStringLiteral("exceldatareader/TestUnicodeChars.xls"), QStringLiteral("Sheet1$"));
    ASSERT_EQ(u.table->rowCount(), 2);
    EXPECT_EQ(u.table->fieldDefs().size(), 8);
    EXPECT_EQ(u.at(0, 0).toString(), QString::fromUtf8("\u00e9\u0417"));

    Opened d = openTable(QStringLiteral("exceldatareader/roo_1904_base.xls"), QStringLiteral("A compléter$"));
    EXPECT_EQ(d.names(), QStringList{QStringLiteral("15.06.2009")}); // serial 38517 in the 1904 system
    ASSERT_EQ(d.table->rowCount(), 1);
    EXPECT_EQ(d.at(0, 0).toDate(), QDate(2009, 6, 28));

    Opened s = openTable(QStringLiteral("csvkit/sheets.xls"), QStringLiteral("ʤ$"));
    EXPECT_EQ(s.names(), (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    ASSERT_EQ(s.table->rowCount(), 1);
    EXPECT_EQ(s.at(0, 2).toDouble(), 3.0);
    // An empty sheet is one unnamed column without records.
    Opened e = openTable(QStringLiteral("csvkit/sheets.xls"), QStringLiteral("not this one$"));
    EXPECT_EQ(e.names(), QStringList{QStringLiteral("F1")});
    EXPECT_EQ(e.table->rowCount(), 0);
}

TEST(ExcelRead, ProfilesWithFormulaResultsAndEmptyCorner)
{
    Opened p = openTable(QStringLiteral("xlrd/profiles.xls"), QStringLiteral("PROFILEDEF$"));
    EXPECT_EQ(p.names()[0], QStringLiteral("PROFIL"));
    EXPECT_EQ(p.table->fieldDefs().size(), 13);
    EXPECT_EQ(p.table->rowCount(), 14);
    EXPECT_EQ(p.at(0, 1).toDouble(), 100.0);
    Opened l = openTable(QStringLiteral("xlrd/profiles.xls"), QStringLiteral("PROFILELEVELS$"));
    EXPECT_EQ(l.names()[1], QStringLiteral("Quergefälle"));
    EXPECT_NEAR(l.at(0, 3).toDouble(), 265.131, 0.001);

    Opened f = openTable(QStringLiteral("xlrd/formula_test_names.xls"), QStringLiteral("Sheet1$"));
    // B2 = -7 and B3 = 4 are results of formulas.
    const int b = 1;
    bool found7 = false, found4 = false;
    for (qint64 r = 0; r < f.table->rowCount(); ++r) {
        const QVariant v = f.at(r, b);
        if (f.table->rowAt(r) == 1)
            found7 = v.toString() == QStringLiteral("-7") || v.toDouble() == -7.0;
        if (f.table->rowAt(r) == 2)
            found4 = v.toString() == QStringLiteral("4") || v.toDouble() == 4.0;
    }
    EXPECT_TRUE(found7);
    EXPECT_TRUE(found4);

    // table2's only value is the top-left cell of a merged area: a heading, no records.
    Opened x = openTable(QStringLiteral("xlrd/xf_class.xls"), QStringLiteral("table2$"));
    EXPECT_EQ(x.names(), QStringList{QStringLiteral("MERGED")});
    EXPECT_EQ(x.table->rowCount(), 0);
    EXPECT_EQ(fact(*x.table, QStringLiteral("Bereich")), QStringLiteral("C4:C4"));
}

TEST(ExcelRead, ExcelFiveWorkbook)
{
    Opened t = openTable(QStringLiteral("exceldatareader/as3xls_BIFF5.xls"), QStringLiteral("Sheet1$"));
    EXPECT_EQ(t.names()[0], QStringLiteral("1"));
    EXPECT_EQ(t.names()[1], QStringLiteral("Hi"));
    ASSERT_EQ(t.table->rowCount(), 9);
    EXPECT_EQ(t.at(0, 1).toString(), QStringLiteral("How"));
    EXPECT_EQ(fact(*t.table, QStringLiteral("Format")), QStringLiteral("Excel 5.0/95 (BIFF5)"));
    EXPECT_EQ(fact(*t.table, QStringLiteral("Codepage")), QStringLiteral("10000"));
    EXPECT_EQ(fact(*t.table, QStringLiteral("Datumssystem")), QStringLiteral("1904 (Macintosh)"));
}

TEST(ExcelRead, EveryFixtureOpensEveryTableAndIsReadOnly)
{
    ExcelDriver driver;
    const QStringList files{
        QStringLiteral("csvkit/sheets.xls"), QStringLiteral("csvkit/test.xls"),
        QStringLiteral("exceldatareader/TestMultiSheet.xls"), QStringLiteral("exceldatareader/TestUnicodeChars.xls"),
        QStringLiteral("exceldatareader/Test_Excel_Dataset.xls"), QStringLiteral("exceldatareader/Test_OpenOffice.xls"),
        QStringLiteral("exceldatareader/Test_num_double_date_bool_string.xls"),
        QStringLiteral("exceldatareader/as3xls_BIFF5.xls"), QStringLiteral("exceldatareader/roo_1904_base.xls"),
        QStringLiteral("rows/all-field-types.xls"), QStringLiteral("xlrd/Formate.xls"),
        QStringLiteral("xlrd/formula_test_names.xls"), QStringLiteral("xlrd/issue20.xls"),
        QStringLiteral("xlrd/namesdemo.xls"), QStringLiteral("xlrd/profiles.xls"), QStringLiteral("xlrd/xf_class.xls")};
    for (const QString &file : files) {
        SCOPED_TRACE(file.toStdString());
        const QString path = fixture(QStringLiteral("excel/") + file);
        const QStringList names = driver.tableNames(path);
        EXPECT_FALSE(names.isEmpty());
        for (const QString &name : names) {
            auto table = driver.open(path, name, {});
            EXPECT_FALSE(table->fieldDefs().isEmpty());
            for (qint64 r = 0; r < table->rowCount(); ++r) {
                for (int c = 0; c < table->fieldDefs().size(); ++c)
                    table->text(table->rowAt(r), c);
            }
            EXPECT_FALSE(table->readOnlyReason().isEmpty());
            EXPECT_THROW(table->append(QVector<QVariant>(table->fieldDefs().size())), EngineError);
        }
    }
    auto hidden = driver.open(fixture(QStringLiteral("excel/exceldatareader/Test_Excel_Dataset.xls")),
                              driver.tableNames(fixture(QStringLiteral("excel/exceldatareader/Test_Excel_Dataset.xls"))).first(), {});
    EXPECT_EQ(fact(*hidden, QStringLiteral("Sichtbarkeit")), QStringLiteral("ausgeblendet"));
}

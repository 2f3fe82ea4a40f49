// The structure printout's lines and pages on a recording canvas.
#include "PageWriter.h"
#include "PrintTestSupport.h"
#include "RecordingCanvas.h"
#include "StructurePrint.h"
#include "StructureRows.h"
#include "TablePrint.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace print;
using testsupport::fixture;

namespace {

class StructurePrintTest : public ::testing::Test {
protected:
    void SetUp() override { resetPageWriter(); }
    void TearDown() override { resetPageWriter(); }
};

const QString Rule(85, QLatin1Char('-'));

TEST_F(StructurePrintTest, ThreeFieldsAndNoIndex)
{
    StructurePrintout p;
    p.databaseName = QStringLiteral("/daten");
    p.tableName = QStringLiteral("ADRESSEN.DBF");
    p.recordCount = 1234;
    p.recordSize = 61;
    p.fieldRows = {{"1", "NAME", "Zeichen", "30"}, {"2", "PLZ", "Zeichen", "5"}, {"3", "ALTER", "Ganzzahl", "11"}};
    RecordingCanvas canvas;
    printStructure(canvas, p, 10);
    EXPECT_EQ(canvas.texts(),
              (QStringList{
                  QStringLiteral("Tabellenstruktur für ADRESSEN.DBF"),
                  QString(),
                  QStringLiteral("Datenbank     : /daten"),
                  QStringLiteral("Tabelle       : ADRESSEN.DBF"),
                  QStringLiteral("Satzanzahl    : 1234"),
                  QStringLiteral("Satzgröße     : 61"),
                  QStringLiteral("Codepage      : "),
                  QStringLiteral("Sprachtreiber : "),
                  QString(),
                  QStringLiteral("Nr.   Feldname             Feldtyp                 Größe"),
                  Rule,
                  QStringLiteral("1     NAME                 Zeichen                    30"),
                  QStringLiteral("2     PLZ                  Zeichen                     5"),
                  QStringLiteral("3     ALTER                Ganzzahl                   11"),
                  QString(),
              }));
    EXPECT_TRUE(canvas.lines[0].font.bold);
    for (int i = 1; i < canvas.lines.size(); ++i)
        EXPECT_EQ(canvas.lines[i].font, (CanvasFont{QStringLiteral("Courier New"), 10, false})) << i;
    // The first page has no page header: the title line is the first, at PrintTop.
    EXPECT_EQ(canvas.lines[0].y, 200);
    EXPECT_EQ(canvas.lines[0].x, 100);
    EXPECT_EQ(canvas.jobName, QStringLiteral("Tabellenstruktur: ADRESSEN.DBF") + QString(20, QLatin1Char(' ')));
    EXPECT_EQ(canvas.ends, 1);
}

TEST_F(StructurePrintTest, LongCellsPushTheLineRightAndAreNeverCut)
{
    const QString name25 = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXY");
    EXPECT_EQ(fieldListLine({"12", name25, "Zeichen", "254"}),
              QStringLiteral("12    ABCDEFGHIJKLMNOPQRSTUVWXY Zeichen                   254"));
    EXPECT_EQ(fieldListLine({"1", "NAME", "Zeichen", "123456789"}),
              QStringLiteral("1     NAME                 Zeichen              123456789"));
    EXPECT_EQ(indexListLine({"2  »", "NAMEIDX", "NAME", "Unique"}),
              QStringLiteral("2  »  NAMEIDX              NAME                 Unique") + QString(34, QLatin1Char(' ')));
}

TEST_F(StructurePrintTest, IndexListFromARealTableWithTheCurrentIndexMarked)
{
    // rooms.dbf carries a production .cdx; the dialog's rows are the structure rows.
    OpenedTable t(fixture(QStringLiteral("foxpro/dbd-xbase/rooms.dbf")));
    ASSERT_GT(t.table.indexDefs().Count(), 0);
    const QString second = t.table.indexDefs().Count() > 1 ? t.table.indexDefs().Items(1).name
                                                           : t.table.indexDefs().Items(0).name;
    t.table.Close();
    t.table.setIndexName(second);
    t.table.Open();
    StructurePrintout p;
    p.tableName = QStringLiteral("ROOMS.DBF");
    p.recordCount = t.table.RecordCount();
    p.recordSize = t.table.RecordSize();
    p.firstIndexSource = t.table.indexDefs().Items(0).source;
    for (const structure::Row &row : structure::fieldRows(t.table))
        p.fieldRows.append(row);
    for (const structure::Row &row : structure::indexRows(t.table))
        p.indexRows.append(row);
    const QVector<StructureLine> lines = structureLines(p);
    const int fields = int(p.fieldRows.size());
    const int at = 11 + fields + 1; // title, blank, six header lines, blank, heading, rule, fields, blank
    ASSERT_EQ(lines.size(), at + 4 + p.indexRows.size());
    EXPECT_EQ(lines[at].text, QStringLiteral("Indizes:      : ") + p.firstIndexSource.toLower());
    EXPECT_EQ(lines[at + 1].text, QString());
    EXPECT_EQ(lines[at + 2].text,
              QStringLiteral("Nr.   Indexname            Felder               Optionen") + QString(32, QLatin1Char(' ')));
    EXPECT_EQ(lines[at + 3].text, Rule);
    int marked = 0;
    for (int i = 0; i < p.indexRows.size(); ++i) {
        const QString &line = lines[at + 4 + i].text;
        EXPECT_EQ(line, indexListLine(p.indexRows[i]));
        if (line.contains(QStringLiteral("  »"))) {
            ++marked;
            EXPECT_TRUE(line.mid(6).startsWith(second)) << line.toStdString();
        }
    }
    EXPECT_EQ(marked, 1);
}

TEST_F(StructurePrintTest, ALongStructureContinuesUnderThePageHeader)
{
    StructurePrintout p;
    p.tableName = QStringLiteral("BREIT.DBF");
    for (int i = 1; i <= 70; ++i)
        p.fieldRows.append({QString::number(i), QStringLiteral("F%1").arg(i), QStringLiteral("Zeichen"), "10"});
    RecordingCanvas canvas(6600); // 63 positions a page at size 10
    printStructure(canvas, p, 10);
    EXPECT_EQ(canvas.pages, 2);
    const QVector<DrawnLine> second = canvas.onPage(2);
    ASSERT_FALSE(second.isEmpty());
    EXPECT_EQ(second[0].text, QStringLiteral("Tabellenstruktur: BREIT.DBF") + QString(20, QLatin1Char(' '))
                                  + QStringLiteral(" Seite: 2"));
    EXPECT_EQ(second[1].y, 400); // one blank line under the header
    // 63 lines on page 1: 11 before the fields, so field 52 is the last there.
    EXPECT_EQ(canvas.onPage(1).last().text, fieldListLine(p.fieldRows[51]));
    EXPECT_EQ(second[1].text, fieldListLine(p.fieldRows[52]));
}

TEST_F(StructurePrintTest, HeaderLinesOfATablePrintBeforeAreNotRepeated)
{
    OpenedTable t(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    {
        RecordingCanvas canvas;
        printTable(canvas, t.table, gridFields(t.table, {}), QStringLiteral("CARS.DBF"), 10);
    }
    StructurePrintout p;
    p.tableName = QStringLiteral("CARS.DBF");
    for (int i = 1; i <= 60; ++i)
        p.fieldRows.append({QString::number(i), QStringLiteral("F%1").arg(i), QStringLiteral("Zeichen"), "10"});
    RecordingCanvas canvas;
    printStructure(canvas, p, 10);
    const QVector<DrawnLine> second = canvas.onPage(2);
    ASSERT_GE(second.size(), 2);
    EXPECT_TRUE(second[0].text.endsWith(QStringLiteral(" Seite: 2")));
    // The table print's bold flag is left over; its heading and rule are not.
    EXPECT_TRUE(second[0].font.bold);
    EXPECT_FALSE(second[1].font.bold);
    for (const DrawnLine &l : canvas.lines)
        EXPECT_FALSE(l.text.startsWith(QStringLiteral("NAME "))) << l.text.toStdString();
}

TEST_F(StructurePrintTest, NoTableOpenPrintsTheHeaderBlockEmptyAndTheFieldHeading)
{
    RecordingCanvas canvas;
    printStructure(canvas, StructurePrintout(), 10);
    EXPECT_EQ(canvas.texts(), (QStringList{QStringLiteral("Tabellenstruktur für "), QString(),
                                           QStringLiteral("Datenbank     : "), QStringLiteral("Tabelle       : "),
                                           QStringLiteral("Satzanzahl    : "), QStringLiteral("Satzgröße     : "),
                                           QStringLiteral("Codepage      : "), QStringLiteral("Sprachtreiber : "),
                                           QString(),
                                           QStringLiteral("Nr.   Feldname             Feldtyp                 Größe"),
                                           Rule, QString()}));
}

} // namespace

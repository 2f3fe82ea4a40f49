// Writing workbooks: read back by our reader and by xlrd (a reader that is not
// ours), the sheet's row limit, replacing files safely, and the export's fields.
#include "EngineError.h"
#include "TestSupport.h"
#include "drivers/excel/ExcelDriver.h"
#include "drivers/excel/XlsWriter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::ScratchDir;

namespace {

FieldDef field(const QString &name, TFieldType type, int size = 0)
{
    FieldDef f;
    f.name = name;
    f.dataType = type;
    f.size = size;
    return f;
}

bool xlrdAvailable()
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import xlrd")});
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QJsonObject xlrdDump(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral(BRISVEL_SOURCE_TESTS "/excel/xlrd_dump.py"), path});
    EXPECT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

// The rows the round trip writes: umlauts, text beyond Latin-1, NULLs, big and
// negative numbers, dates around Excel's 1900 leap-year slip, booleans.
const QVector<FieldDef> &sampleFields()
{
    static const QVector<FieldDef> fields{
        field(QStringLiteral("Name"), ftString, 40), field(QStringLiteral("Betrag"), ftFloat),
        field(QStringLiteral("Datum"), ftDate), field(QStringLiteral("Zeit"), ftTime),
        field(QStringLiteral("Zeitpunkt"), ftDateTime), field(QStringLiteral("Aktiv"), ftBoolean),
        field(QStringLiteral("Größe"), ftFloat)};
    return fields;
}

QVector<QVector<QVariant>> sampleRows()
{
    return {
        {QStringLiteral("Müller, Jürgen"), 1234.5, QDate(2024, 2, 29), QTime(23, 59, 59),
         QDateTime(QDate(2001, 9, 11), QTime(8, 46, 30)), true, 1e300},
        {QStringLiteral("漢字 und € — ʤ"), -987654321.125, QDate(1900, 1, 1), QTime(0, 0, 0),
         QDateTime(QDate(1900, 2, 28), QTime(12, 0)), false, -0.000001},
        {QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()},
        {QStringLiteral("Straße"), 9007199254740992.0, QDate(1900, 3, 1), QTime(12, 30, 15),
         QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59)), true, 0.0},
        {QString(), 42.0, QDate(1900, 2, 28), QVariant(), QVariant(), QVariant(), -1.0},
    };
}

} // namespace

TEST(ExcelWrite, RoundTripThroughOurReader)
{
    ScratchDir dir;
    const QString path = dir.file(QStringLiteral("Export.xls"));
    ExcelDriver driver;
    auto writer = driver.createWriter(path, QStringLiteral("Tabelle"), sampleFields());
    const auto rows = sampleRows();
    for (const auto &row : rows)
        writer->writeRow(row);
    EXPECT_FALSE(QFile::exists(path)); // nothing under the final name before commit()
    writer->commit();

    EXPECT_EQ(driver.tableNames(path), (QStringList{QStringLiteral("Tabelle$"), QStringLiteral("Tabelle")}));
    for (const QString &name : {QStringLiteral("Tabelle"), QStringLiteral("Tabelle$")}) {
        auto table = driver.open(path, name, {});
        const QVector<FieldDef> &defs = table->fieldDefs();
        ASSERT_EQ(defs.size(), 7);
        EXPECT_EQ(defs[0].name, QStringLiteral("Name"));
        EXPECT_EQ(defs[6].name, QStringLiteral("Größe"));
        EXPECT_EQ(defs[0].dataType, ftString);
        EXPECT_EQ(defs[0].size, 14);
        EXPECT_EQ(defs[1].dataType, ftFloat);
        EXPECT_EQ(defs[2].dataType, ftDate);
        EXPECT_EQ(defs[3].dataType, ftTime);
        EXPECT_EQ(defs[4].dataType, ftDateTime);
        EXPECT_EQ(defs[5].dataType, ftBoolean);
        ASSERT_EQ(table->rowCount(), rows.size());
        for (int r = 0; r < rows.size(); ++r) {
            for (int f = 0; f < defs.size(); ++f) {
                SCOPED_TRACE(testing::Message() << "row " << r << " field " << f);
                const QVariant got = table->value(table->rowAt(r), f);
                const QVariant &want = rows[r][f];
                if (r == 4 && f == 0) {
                    EXPECT_EQ(got.toString(), QString()); // an empty text stays an empty text
                    EXPECT_TRUE(got.isValid());
                } else if (!want.isValid()) {
                    EXPECT_FALSE(got.isValid());
                } else if (defs[f].dataType == ftFloat) {
                    EXPECT_EQ(got.toDouble(), want.toDouble());
                } else {
                    EXPECT_EQ(got, want);
                }
            }
        }
    }
}

TEST(ExcelWrite, XlrdReadsTheWorkbook)
{
    ASSERT_TRUE(xlrdAvailable()) << "python3-xlrd is missing: the cross-check cannot run";
    ScratchDir dir;
    const QString path = dir.file(QStringLiteral("Prüfung.xls"));
    ExcelDriver driver;
    auto writer = driver.createWriter(path, QStringLiteral("Kunden 2024"), sampleFields());
    for (const auto &row : sampleRows())
        writer->writeRow(row);
    writer->commit();

    const QJsonObject book = xlrdDump(path);
    EXPECT_EQ(book[QStringLiteral("biff")].toInt(), 80);
    EXPECT_EQ(book[QStringLiteral("datemode")].toInt(), 0);
    const QJsonArray sheets = book[QStringLiteral("sheets")].toArray();
    ASSERT_EQ(sheets.size(), 1);
    const QJsonObject sheet = sheets[0].toObject();
    EXPECT_EQ(sheet[QStringLiteral("name")].toString(), QStringLiteral("Kunden 2024"));
    EXPECT_EQ(sheet[QStringLiteral("rows")].toInt(), 6);
    EXPECT_EQ(sheet[QStringLiteral("cols")].toInt(), 7);
    const QJsonArray names = book[QStringLiteral("names")].toArray();
    ASSERT_EQ(names.size(), 1);
    EXPECT_EQ(names[0].toObject()[QStringLiteral("name")].toString(), QStringLiteral("Kunden_2024"));
    EXPECT_EQ(names[0].toObject()[QStringLiteral("scope")].toInt(), -1);
    EXPECT_EQ(names[0].toObject()[QStringLiteral("area")].toArray(), (QJsonArray{0, 1, 0, 6, 0, 7}));

    const QJsonArray cells = sheet[QStringLiteral("cells")].toArray();
    auto cell = [&](int r, int c) { return cells[r].toArray()[c].toArray(); };
    enum { Empty = 0, Text = 1, Number = 2, Date = 3, Bool = 4 };
    EXPECT_EQ(cell(0, 6), (QJsonArray{Text, QStringLiteral("Größe")}));
    EXPECT_EQ(cell(1, 0), (QJsonArray{Text, QStringLiteral("Müller, Jürgen")}));
    EXPECT_EQ(cell(2, 0), (QJsonArray{Text, QStringLiteral("漢字 und € — ʤ")}));
    EXPECT_EQ(cell(1, 1), (QJsonArray{Number, 1234.5}));
    EXPECT_EQ(cell(2, 1), (QJsonArray{Number, -987654321.125}));
    EXPECT_EQ(cell(4, 1), (QJsonArray{Number, 9007199254740992.0}));
    EXPECT_EQ(cell(1, 6), (QJsonArray{Number, 1e300}));
    EXPECT_EQ(cell(1, 2), (QJsonArray{Date, QJsonArray{2024, 2, 29, 0, 0, 0}}));
    // Before March 1900 xlrd hands out Excel's serial: 1 is 01.01.1900, 59 is 28.02.1900.
    EXPECT_EQ(cell(2, 2), (QJsonArray{Date, QJsonArray{QStringLiteral("serial"), 1.0}}));
    EXPECT_EQ(cell(4, 2), (QJsonArray{Date, QJsonArray{1900, 3, 1, 0, 0, 0}}));
    EXPECT_EQ(cell(5, 2), (QJsonArray{Date, QJsonArray{QStringLiteral("serial"), 59.0}}));
    EXPECT_EQ(cell(1, 3), (QJsonArray{Date, QJsonArray{0, 0, 0, 23, 59, 59}}));
    EXPECT_EQ(cell(1, 4), (QJsonArray{Date, QJsonArray{2001, 9, 11, 8, 46, 30}}));
    EXPECT_EQ(cell(4, 4), (QJsonArray{Date, QJsonArray{9999, 12, 31, 23, 59, 59}}));
    EXPECT_EQ(cell(1, 5), (QJsonArray{Bool, 1}));
    EXPECT_EQ(cell(2, 5), (QJsonArray{Bool, 0}));
    for (int c = 0; c < 7; ++c)
        EXPECT_EQ(cell(3, c)[0].toInt(), Empty) << c;
}

// Many texts, long ones and ones beyond Latin-1, cross the SST's record
// boundaries; Excel keeps at most 32767 characters in a cell.
TEST(ExcelWrite, LongAndManyTextsSurviveTheRecordBoundaries)
{
    ScratchDir dir;
    const QString path = dir.file(QStringLiteral("texte.xls"));
    QVector<QVector<QVariant>> rows;
    QString wide;
    for (int i = 0; i < 9000; ++i)
        wide += QChar(0x4E00 + i % 500);
    QString latin;
    for (int i = 0; i < 20000; ++i)
        latin += QChar(u'a' + i % 26);
    latin += QStringLiteral("äöü");
    const QString tooLong(40000, QLatin1Char('x'));
    rows.append({wide, latin});
    rows.append({tooLong, QStringLiteral("kurz")});
    for (int i = 0; i < 3000; ++i)
        rows.append({QStringLiteral("Zeile %1 – ü").arg(i), QStringLiteral("Wert %1").arg(i % 7)});
    rows.append({wide, latin}); // the same texts again are shared

    ExcelDriver driver;
    auto writer = driver.createWriter(path, QStringLiteral("Texte"),
                                      {field(QStringLiteral("A"), ftMemo), field(QStringLiteral("B"), ftMemo)});
    for (const auto &row : rows)
        writer->writeRow(row);
    writer->commit();

    auto table = driver.open(path, QStringLiteral("Texte"), {});
    ASSERT_EQ(table->rowCount(), rows.size());
    EXPECT_EQ(table->fieldDefs()[0].dataType, ftMemo);
    EXPECT_EQ(table->value(table->rowAt(0), 0).toString(), wide);
    EXPECT_EQ(table->value(table->rowAt(0), 1).toString(), latin);
    EXPECT_EQ(table->value(table->rowAt(1), 0).toString(), QString(32767, QLatin1Char('x')));
    for (int i = 0; i < 3000; i += 997)
        EXPECT_EQ(table->value(table->rowAt(2 + i), 0).toString(), QStringLiteral("Zeile %1 – ü").arg(i));
    EXPECT_EQ(table->value(table->rowAt(rows.size() - 1), 0).toString(), wide);

    // The independent reader is part of the test: scripts/install-deps.sh installs it.
    ASSERT_TRUE(xlrdAvailable()) << "python3-xlrd is missing: the cross-check cannot run";
    const QJsonObject book = xlrdDump(path);
    const QJsonArray cells = book[QStringLiteral("sheets")].toArray()[0].toObject()[QStringLiteral("cells")].toArray();
    ASSERT_EQ(cells.size(), rows.size() + 1);
    EXPECT_EQ(cells[1].toArray()[0].toArray()[1].toString(), wide);
    EXPECT_EQ(cells[1].toArray()[1].toArray()[1].toString(), latin);
    EXPECT_EQ(cells[2].toArray()[0].toArray()[1].toString().size(), 32767);
    EXPECT_EQ(cells[3002].toArray()[0].toArray()[1].toString(), QStringLiteral("Zeile 2999 – ü"));
}

TEST(ExcelWrite, SheetHoldsAtMost65536RowsAndSaysSo)
{
    ScratchDir dir;
    const QString path = dir.file(QStringLiteral("gross.xls"));
    ExcelDriver driver;
    auto writer = driver.createWriter(path, QStringLiteral("Tabelle"), {field(QStringLiteral("Nr"), ftFloat)});
    for (int i = 0; i < 65535; ++i)
        writer->writeRow({double(i)});
    try {
        writer->writeRow({65535.0});
        FAIL() << "row 65537 was accepted";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("65536"))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("gross.xls")));
    }
    EXPECT_FALSE(QFile::exists(path));
    writer->commit(); // what fits can still be written
    auto table = driver.open(path, QStringLiteral("Tabelle"), {});
    ASSERT_EQ(table->rowCount(), 65535);
    EXPECT_EQ(table->value(table->rowAt(65534), 0).toDouble(), 65534.0);
}

TEST(ExcelWrite, ReplacesOnlyOnCommitAndLeavesNoTemporaryFiles)
{
    ScratchDir dir;
    const QString path = dir.file(QStringLiteral("alt.xls"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("bisheriger Inhalt");
    }
    ExcelDriver driver;
    {
        auto writer = driver.createWriter(path, QStringLiteral("Tabelle"), {field(QStringLiteral("Text"), ftString, 10)});
        writer->writeRow({QStringLiteral("neu")});
        // destroyed without commit()
    }
    EXPECT_EQ(testsupport::readAll(path), QByteArray("bisheriger Inhalt"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("alt.xls")});

    auto writer = driver.createWriter(path, QStringLiteral("Tabelle"), {field(QStringLiteral("Text"), ftString, 10)});
    writer->writeRow({QStringLiteral("neu")});
    writer->commit();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("alt.xls")});
    auto table = driver.open(path, QStringLiteral("Tabelle"), {});
    EXPECT_EQ(table->value(table->rowAt(0), 0).toString(), QStringLiteral("neu"));

    EXPECT_THROW(driver.createWriter(dir.file(QStringLiteral("fehlt/neu.xls")), QStringLiteral("T"),
                                     {field(QStringLiteral("A"), ftString, 1)}),
                 EngineError);
    EXPECT_THROW(driver.create(path, QStringLiteral("Tabelle"), {field(QStringLiteral("A"), ftString, 1)}), EngineError);
    const QString fresh = dir.file(QStringLiteral("leer.xls"));
    driver.create(fresh, QStringLiteral("Leer"), {field(QStringLiteral("A"), ftString, 1), field(QStringLiteral("B"), ftDate)});
    auto empty = driver.open(fresh, QStringLiteral("Leer"), {});
    EXPECT_EQ(empty->rowCount(), 0);
    EXPECT_EQ(empty->fieldDefs().size(), 2);
}

TEST(ExcelWrite, FieldsForAnExport)
{
    ExcelDriver driver;
    EXPECT_TRUE(driver.canCreate());
    EXPECT_TRUE(driver.needsMeasures());
    const QVector<FieldDef> source{
        field(QStringLiteral("Name"), ftString, 30), field(QStringLiteral("Nr"), ftAutoInc, 4),
        field(QStringLiteral("Preis"), ftCurrency, 8), field(QStringLiteral("Bild"), ftGraphic),
        field(QStringLiteral("Notiz"), ftMemo), field(QStringLiteral("Stand"), ftTimeStamp),
        field(QStringLiteral("Lang"), ftString, 200), field(QStringLiteral("Menge"), ftInteger, 4)};
    QVector<ColumnMeasure> measures(source.size());
    measures[4].textLength = 50000;
    measures[6].textLength = 300;
    QStringList changes;
    const QVector<FieldDef> target = driver.fieldsFor(source, measures, changes);
    ASSERT_EQ(target.size(), source.size());
    EXPECT_EQ(target[0].dataType, ftString);
    EXPECT_EQ(target[0].size, 30);
    EXPECT_EQ(target[1].dataType, ftFloat);
    EXPECT_EQ(target[2].dataType, ftFloat);
    EXPECT_EQ(target[3].dataType, ftGraphic);
    EXPECT_EQ(target[4].dataType, ftMemo);
    EXPECT_EQ(target[5].dataType, ftDateTime);
    EXPECT_EQ(target[6].dataType, ftMemo); // 300 characters measured
    EXPECT_EQ(target[7].dataType, ftFloat);
    ASSERT_EQ(changes.size(), 4) << changes.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(changes[0].contains(QStringLiteral("Nr")));
    EXPECT_TRUE(changes[1].contains(QStringLiteral("Preis")));
    EXPECT_TRUE(changes[2].contains(QStringLiteral("Bild")));
    EXPECT_TRUE(changes[3].contains(QStringLiteral("Notiz")) && changes[3].contains(QStringLiteral("32767")));

    QVector<FieldDef> wide;
    for (int i = 0; i < 257; ++i)
        wide.append(field(QStringLiteral("F%1").arg(i), ftFloat));
    EXPECT_THROW(driver.fieldsFor(wide, {}, changes), EngineError);
}

TEST(ExcelWrite, SheetAndRangeNamesExcelAccepts)
{
    using xls::WorkbookWriter;
    EXPECT_EQ(WorkbookWriter::sheetNameFor(QStringLiteral("Kunden/2024[alt]?")), QStringLiteral("Kunden_2024_alt__"));
    EXPECT_EQ(WorkbookWriter::sheetNameFor(QStringLiteral("Tabelle$")), QStringLiteral("Tabelle"));
    EXPECT_EQ(WorkbookWriter::sheetNameFor(QString(40, QLatin1Char('x'))).size(), 31);
    EXPECT_EQ(WorkbookWriter::definedNameFor(QStringLiteral("Tabelle")), QStringLiteral("Tabelle"));
    EXPECT_EQ(WorkbookWriter::definedNameFor(QStringLiteral("2024 Umsatz")), QStringLiteral("_2024_Umsatz"));
    EXPECT_EQ(WorkbookWriter::definedNameFor(QStringLiteral("AB12")), QStringLiteral("_AB12"));
    EXPECT_EQ(WorkbookWriter::definedNameFor(QStringLiteral("R1C1")), QStringLiteral("_R1C1"));
    EXPECT_EQ(WorkbookWriter::definedNameFor(QStringLiteral("Größen-Liste")), QStringLiteral("Größen_Liste"));
}

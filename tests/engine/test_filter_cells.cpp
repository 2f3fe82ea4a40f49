// Filters compared in the cells as a dBASE table stores them: the records let
// through are the ones the values let through, on every dBASE and FoxPro
// fixture and on a hand-made table of the cases where bytes and values could
// part (umlauts of code page 850, case folding, trailing blanks and NULs,
// padded and odd numbers, invalid dates, deleted records).
#include "Connection.h"
#include "Driver.h"
#include "FilterExpression.h"
#include "FilterWalk.h"
#include "RawCells.h"
#include "TableDataset.h"
#include "TestSupport.h"
#include "Tables.h"
#include "drivers/dbase/DbaseDriver.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::ScratchDir;

namespace {

// Conditions for a field of each type, with constants that hit some records and miss others.
QStringList conditionsFor(const FieldDef &f)
{
    const QString n = QLatin1Char('[') + f.name + QLatin1Char(']');
    QStringList out{n + QStringLiteral(" IS NULL"), n + QStringLiteral(" IS NOT NULL")};
    switch (f.dataType) {
    case ftString: case ftMemo:
        for (const char *c : {" = 'a'", " >= 'M'", " < 'c'", " = 'ä*'", " = 's*'", " LIKE '%e%'", " NOT LIKE '%Ü%'",
                              " = ''", " <> 'Müller'", " = 'STRASSE'"})
            out << n + QString::fromUtf8(c);
        break;
    case ftInteger: case ftLargeint: case ftFloat: case ftSmallint:
        for (const char *c : {" > 0", " = 0", " < 100.5", " >= 1000", " = 1", " <> 2"})
            out << n + QString::fromUtf8(c);
        break;
    case ftDate:
        for (const char *c : {" >= #01.01.2000#", " < #01.01.1990#", " = #29.02.2024#"})
            out << n + QString::fromUtf8(c);
        break;
    case ftBoolean:
        out << n << QStringLiteral("NOT ") + n << n + QStringLiteral(" = False");
        break;
    default:
        break;
    }
    return out;
}

// The fixture and its companions (memo, code page) with the same base name, copied into dir.
QString copyWithCompanions(const ScratchDir &dir, const QString &relative)
{
    const QFileInfo info(testsupport::fixture(relative));
    const QString folder = QFileInfo(relative).path();
    for (const QString &entry : info.dir().entryList(QDir::Files)) {
        if (QFileInfo(entry).completeBaseName().compare(info.completeBaseName(), Qt::CaseInsensitive) == 0)
            dir.copyFixture(folder + QLatin1Char('/') + entry);
    }
    return info.fileName();
}

// The rows the expression lets through, compared in stored cells or in values.
QVector<RowId> hits(TableSource &table, const FilterExpression &e, TFilterOptions options, bool stored)
{
    auto *cells = dynamic_cast<RawCellSource *>(&table);
    QVector<RowId> out;
    const qint64 count = table.rowCount();
    for (qint64 p = 0; p < count; ++p) {
        const RowId row = table.rowAt(p);
        const std::function<QVariant(int)> valueOf = [&](int f) { return table.value(row, f); };
        if (stored ? e.matches(*cells, row, valueOf, options) : e.matches(valueOf, options))
            out << row;
    }
    return out;
}

} // namespace

TEST(FilterCells, SameRecordsAsTheValuesOnEveryDbaseFixture)
{
    QStringList tables;
    for (const char *kind : {"dbase", "foxpro"}) {
        const QString root = testsupport::fixture(QString::fromLatin1(kind));
        QDirIterator it(root, {QStringLiteral("*.dbf"), QStringLiteral("*.DBF")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            tables << QDir(testsupport::fixture(QString())).relativeFilePath(it.next());
    }
    tables.sort();
    ASSERT_GE(tables.size(), 40);
    int compared = 0, stored = 0;
    for (const QString &relative : tables) {
        SCOPED_TRACE(relative.toStdString());
        ScratchDir dir;
        const QString name = copyWithCompanions(dir, relative);
        DbaseDriver driver;
        std::unique_ptr<TableSource> table;
        try {
            table = driver.open(dir.path(), name, OpenOptions{true, false});
        } catch (const std::exception &) {
            continue; // damaged fixtures are the damage tests' business
        }
        auto *cells = dynamic_cast<RawCellSource *>(table.get());
        ASSERT_NE(cells, nullptr);
        for (const FieldDef &f : table->fieldDefs()) {
            for (const QString &text : conditionsFor(f)) {
                FilterExpression e;
                try {
                    e = FilterExpression::parse(text, table->fieldDefs());
                } catch (const std::exception &) {
                    continue; // a constant the field's type cannot take
                }
                for (const TFilterOptions options : {0, int(foCaseInsensitive), int(foCaseInsensitive | foNoPartialCompare)}) {
                    try {
                        const QVector<RowId> byValues = hits(*table, e, options, false);
                        EXPECT_EQ(hits(*table, e, options, true), byValues) << text.toStdString() << " options " << options;
                        // The dataset's walk: cells of many rows at once, in the natural order and backwards.
                        EXPECT_EQ(keptRows(*table, e, options, nullptr), byValues) << text.toStdString() << " options " << options;
                        QVector<RowId> backwards;
                        for (qint64 p = table->rowCount() - 1; p >= 0; --p)
                            backwards << table->rowAt(p);
                        QVector<RowId> expected(byValues.rbegin(), byValues.rend());
                        EXPECT_EQ(keptRows(*table, e, options, &backwards), expected) << text.toStdString() << " backwards";
                    } catch (const std::exception &) {
                        continue; // a record the value reading refuses (damaged memo): both ways alike
                    }
                    ++compared;
                }
            }
        }
        for (qint64 p = 0; p < std::min<qint64>(table->rowCount(), 50); ++p) {
            for (int f = 0; f < table->fieldDefs().size(); ++f)
                stored += cells->rawCell(table->rowAt(p), f).form != RawCell::Value;
        }
    }
    EXPECT_GT(compared, 1000);
    EXPECT_GT(stored, 1000); // the fixtures' cells do take the stored path
}

TEST(FilterCells, EdgeCellsThroughTheDataset)
{
    // NAME C(10) in code page 850, NR N(5,0), BETRAG N(10,2), TAG D, OK L; written byte by byte.
    const QVector<testsupport::DbfRowBytes> rows = {
        {' ', {"M\x81ller", "12", "1234.50", "20240229", "T"}},                 // Müller
        {' ', {"m\x9Aller", "-5", "-0.00", "19991231", "F"}},                   // mÜller
        {'*', {"M\x81ller", "7", "1", "20000101", "T"}},                        // deleted
        {' ', {QByteArray("Muller \0\0\0", 10), "+0012", "12.3", "20230229", "y"}}, // invalid date
        {' ', {"STRA\xE1" "E", "", "   .  ", "", "?"}},                        // STRAßE, blank number
        {' ', {"", "007", "12.30", "20240301", "t"}},
        {' ', {"Zeh", "1e1", "1,5", "2024 301", "n"}},                         // odd numbers and date
    };
    const QByteArray file = testsupport::dbaseFileBytes(
        {{"NAME", 'C', 10, 0}, {"NR", 'N', 5, 0}, {"BETRAG", 'N', 10, 2}, {"TAG", 'D', 8, 0}, {"OK", 'L', 1, 0}}, rows,
        0x02); // code page 850
    ScratchDir dir;
    ASSERT_TRUE(testsupport::writeBytes(dir.file(QStringLiteral("kanten.dbf")), file));

    Connection connection;
    connection.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("dBASE 5.0"));
    connection.setPropertyValue(QStringLiteral("Data Source"), dir.path());
    TableDataset table;
    table.setConnection(&connection);
    table.setTableName(QStringLiteral("kanten.dbf"));
    table.Open();
    // The record numbers (1-based) the filter lets through.
    const auto through = [&](const char *filter, TFilterOptions options) {
        table.setFiltered(false);
        table.setFilterOptions(options);
        table.setFilter(QString::fromUtf8(filter));
        table.setFiltered(true);
        QList<qint64> out;
        for (table.First(); !table.Eof(); table.Next())
            out << table.FieldByName(QStringLiteral("NR"))->Value().toLongLong();
        return out;
    };
    using L = QList<qint64>;
    const int ci = foCaseInsensitive;
    // Rows are told apart by NR: 12, -5, 12 (+0012), null, 7 (007), 10 (1e1).
    EXPECT_EQ(through("NAME = 'müller'", ci), (L{12, -5}));
    EXPECT_EQ(through("NAME = 'Müller'", 0), (L{12}));
    EXPECT_EQ(through("NAME = 'MÜ*'", ci), (L{12, -5}));
    EXPECT_EQ(through("NAME = 'mÜ*'", 0), (L{-5}));
    EXPECT_EQ(through("NAME = 'Muller'", 0), (L{12})); // trailing blanks and NULs do not count
    EXPECT_EQ(through("NAME = 'straße'", ci), (L{0}));  // the blank number reads as 0 here
    EXPECT_EQ(through("NAME LIKE '%ll%'", ci), (L{12, -5, 12}));
    EXPECT_EQ(through("NAME < 'N'", 0), (L{12, 12, 7})); // "mÜller" sorts after capitals, "" first
    EXPECT_EQ(through("NAME = ''", ci), (L{7}));
    EXPECT_EQ(through("NR > 10", ci), (L{12, 12}));
    EXPECT_EQ(through("NR = 7", ci), (L{7}));
    EXPECT_EQ(through("NR = 10", ci), (L{10}));
    EXPECT_EQ(through("NR IS NULL", ci), (L{0}));
    EXPECT_EQ(through("BETRAG = 0", ci), (L{-5}));
    EXPECT_EQ(through("BETRAG = 12.3", ci), (L{12, 7}));
    EXPECT_EQ(through("BETRAG = 1.5", ci), (L{10}));
    EXPECT_EQ(through("BETRAG > 1000", ci), (L{12}));
    EXPECT_EQ(through("BETRAG IS NULL", ci), (L{0}));
    EXPECT_EQ(through("TAG >= #01.01.2024#", ci), (L{12, 7}));
    EXPECT_EQ(through("TAG = #29.02.2024#", ci), (L{12}));
    EXPECT_EQ(through("TAG IS NULL", ci), (L{12, 0, 10}));
    EXPECT_EQ(through("OK", ci), (L{12, 12, 7}));
    EXPECT_EQ(through("NOT OK", ci), (L{-5, 0, 10}));
    EXPECT_EQ(through("OK IS NULL", ci), (L{0}));
}

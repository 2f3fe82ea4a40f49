// The record search in stored cells: the byte rule gives what the text rule
// gives on the decoded text in every single-byte code page, and the walk over a
// table finds the records written down here, in the present order and filter,
// from a start, with deleted records and fields of other types between, and
// what the field texts give on every dBASE and FoxPro fixture.
#include "Connection.h"
#include "RawCells.h"
#include "SearchRules.h"
#include "SearchWalk.h"
#include "TableDataset.h"
#include "Tables.h"
#include "TestSupport.h"
#include "common/CodePage.h"

#include "EngineError.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace search;
using testsupport::ScratchDir;

TEST(SearchStored, TheByteRuleGivesTheTextRuleInEveryCodePage)
{
    const int pages[] = {437, 737, 850, 852, 857, 860, 861, 863, 865, 866, 874, 1250, 1251, 1252, 1253, 1254, 1255,
                         1256, 1257, 1258, 10000, 10006, 10007, 10029, 20866, 28591, 28592, 28595, 28597, 28599, 28605};
    int tested = 0;
    qint64 hits = 0;
    for (const int number : pages) {
        SCOPED_TRACE(number);
        const std::optional<engine::CodePage> page = engine::codePageForNumber(number);
        if (!page)
            continue;
        engine::TextCodec codec;
        codec.setCodePage(*page);
        engine::Utf8Table table;
        ASSERT_TRUE(engine::buildUtf8Table([&](char b) { return codec.decode(&b, 1); }, table));
        const StoredUpper upper(table);
        ++tested;
        // Every byte alone and random short texts, none ending in a blank (stored text has none).
        QList<QByteArray> texts;
        for (int b = 1; b < 256; ++b)
            texts << QByteArray(1, char(b));
        QRandomGenerator random{quint32(number)};
        for (int i = 0; i < 300; ++i) {
            QByteArray t;
            const int n = int(random.bounded(7));
            for (int k = 0; k < n; ++k)
                t += char(random.bounded(1, 256));
            while (!t.isEmpty() && (t.back() == ' ' || t.back() == '\0'))
                t.chop(1);
            texts << t;
        }
        // Values: pieces of the texts in each case, and the words where full upper-casing
        // changes a length.
        QStringList values{QString(), QStringLiteral("ß"), QStringLiteral("SS"), QStringLiteral("s"), QStringLiteral("ŉ")};
        for (int i = 0; i < texts.size(); i += 7) {
            const QString text = codec.decode(texts[i].constData(), texts[i].size());
            values << text << text.left(2).toLower() << text.toUpper() << text.left(1);
        }
        for (const QByteArray &bytes : texts) {
            const QString text = codec.decode(bytes.constData(), bytes.size());
            for (const QString &value : values) {
                for (const bool caseSensitive : {false, true}) {
                    for (const bool exact : {false, true}) {
                        const Condition condition(value, caseSensitive, exact);
                        const bool byText = condition.matches(text);
                        hits += byText;
                        ASSERT_EQ(condition.matchesStored(bytes.constData(), int(bytes.size()), upper), byText)
                            << "text " << text.toStdString() << " value " << value.toStdString() << " case "
                            << caseSensitive << " exact " << exact;
                    }
                }
            }
        }
    }
    EXPECT_GE(tested, 28);
    EXPECT_GT(hits, 10000);
}

namespace {

// NAME C(10), NR N(4,0), TAG D in code page 850; record 3 deleted.
struct SearchTable {
    ScratchDir dir;
    engine::Connection connection;
    engine::TableDataset table;
    SearchTable()
    {
        const QVector<testsupport::DbfRowBytes> rows = {
            {' ', {"M\x81ller", "12", "20240229"}},  // 1 Müller
            {' ', {"STRASSE", "5", "19991231"}},     // 2
            {'*', {"Stra\xE1" "e", "7", ""}},        // 3 deleted
            {' ', {"Stra\xE1" "e", "120", ""}},      // 4 Straße
            {' ', {"m\x9Aller  ", "1", "20240301"}}, // 5 mÜller, trailing blanks
            {' ', {"", "", ""}},                     // 6 empty
            {' ', {"M\x81ller", "3", "20240229"}},   // 7 Müller again
            {' ', {"Zeh", "-007", ""}},              // 8 leading zeros
        };
        const QByteArray bytes = testsupport::dbaseFileBytes(
            {{"NAME", 'C', 10, 0}, {"NR", 'N', 4, 0}, {"TAG", 'D', 8, 0}}, rows, 0x02);
        EXPECT_TRUE(testsupport::writeBytes(dir.file(QStringLiteral("suchen.dbf")), bytes));
        connection.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("dBASE 5.0"));
        connection.setPropertyValue(QStringLiteral("Data Source"), dir.path());
        table.setConnection(&connection);
        table.setTableName(QStringLiteral("suchen.dbf"));
        table.Open();
    }
    // NR of the record found from position from (0-based), or -1.
    qint64 find(qint64 from, std::array<SearchRow, 6> rows, bool caseSensitive = false, bool exact = false)
    {
        const qint64 at = findRecord(table, from, rows, caseSensitive, exact);
        return at < 0 ? -1 : table.valueAt(at, 1).toLongLong();
    }
};

std::array<SearchRow, 6> row(int field, const char *value)
{
    std::array<SearchRow, 6> rows;
    rows[0] = {field, 0, QString::fromUtf8(value)};
    return rows;
}

} // namespace

TEST(SearchStored, TheWalkFindsFromAStartInOrderAndFilter)
{
    SearchTable t;
    ASSERT_EQ(t.table.RecordCount(), 7);
    EXPECT_EQ(t.find(0, row(0, "mü")), 12);
    EXPECT_EQ(t.find(1, row(0, "mü")), 1) << "positions skip the deleted record";
    EXPECT_EQ(t.find(5, row(0, "mü")), 3);
    EXPECT_EQ(t.find(6, row(0, "mü")), -1);
    EXPECT_EQ(t.find(0, row(0, "mü"), true), -1) << "case counts";
    EXPECT_EQ(t.find(0, row(0, "mÜ"), true), 1);
    EXPECT_EQ(t.find(0, row(0, "müller"), false, true), 12);
    EXPECT_EQ(t.find(0, row(0, "müll"), false, true), -1) << "exact takes the whole text";
    EXPECT_EQ(t.find(0, row(0, "mÜller"), true, true), 1) << "trailing blanks are not part of the text";
    // "ß" upper-cases to "SS": both spellings find both records, exactly or not.
    EXPECT_EQ(t.find(0, row(0, "straße"), false, true), 5);
    EXPECT_EQ(t.find(2, row(0, "straße"), false, true), 120);
    EXPECT_EQ(t.find(2, row(0, "STRASSE"), false, true), 120);
    EXPECT_EQ(t.find(0, row(0, "Straß"), true), 120);
    EXPECT_EQ(t.find(0, row(0, "strass"), false, false), 5);
    EXPECT_EQ(t.find(2, row(0, "strass"), false, false), -1) << "six characters of Straße upper-case to seven";
    EXPECT_EQ(t.find(2, row(0, "straß"), false, false), 120);
    EXPECT_EQ(t.find(0, row(0, ""), false, true), 0) << "the empty record (its NR is empty)";
    EXPECT_EQ(t.find(0, row(0, "x")), -1);
    // Fields of other types are compared in their texts.
    EXPECT_EQ(t.find(0, row(1, "12")), 12);
    EXPECT_EQ(t.find(1, row(1, "12")), 120);
    EXPECT_EQ(t.find(0, row(1, "-7"), false, true), -7) << "a number's text has no leading zeros";
    EXPECT_EQ(t.find(0, row(1, "-0")), -1);
    EXPECT_EQ(t.find(0, row(2, "01.03.")), 1);
    // Rows joined left to right; the same field twice.
    std::array<SearchRow, 6> two = row(0, "m");
    two[1] = {2, 1, QStringLiteral("29.02.2024")};
    EXPECT_EQ(t.find(0, two), 12);
    EXPECT_EQ(t.find(1, two), 3);
    two[1] = {0, 2, QStringLiteral("STR")};
    two[2] = {0, 1, QStringLiteral("S")};
    EXPECT_EQ(t.find(0, two), 5) << "(m or STR) and S";

    // With a filter: positions count the records it keeps.
    t.table.setFilter(QStringLiteral("NR >= 5"));
    t.table.setFiltered(true);
    EXPECT_EQ(t.find(0, row(0, "mü")), 12);
    EXPECT_EQ(t.find(1, row(0, "mü")), -1);
    EXPECT_EQ(t.find(1, row(0, "s")), 5);
    EXPECT_EQ(t.find(2, row(0, "s")), 120);
}

// The walk finds what a record-by-record look at the field texts finds, on every
// dBASE and FoxPro fixture, for values taken from the records' own texts.
TEST(SearchStored, SameRecordsAsTheFieldTextsOnEveryDbaseFixture)
{
    QStringList tables;
    for (const char *kind : {"dbase", "foxpro"}) {
        QDirIterator it(testsupport::fixture(QString::fromLatin1(kind)), {QStringLiteral("*.dbf"), QStringLiteral("*.DBF")},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            tables << it.next();
    }
    tables.sort();
    ASSERT_GE(tables.size(), 40);
    int compared = 0;
    for (const QString &path : tables) {
        SCOPED_TRACE(path.toStdString());
        ScratchDir dir;
        const QFileInfo info(path);
        for (const QString &entry : info.dir().entryList(QDir::Files)) {
            if (QFileInfo(entry).completeBaseName().compare(info.completeBaseName(), Qt::CaseInsensitive) == 0)
                QFile::copy(info.dir().filePath(entry), dir.file(entry));
        }
        engine::Connection connection;
        connection.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("dBASE 5.0"));
        connection.setPropertyValue(QStringLiteral("Data Source"), dir.path());
        engine::TableDataset table;
        table.setConnection(&connection);
        table.setTableName(info.fileName());
        try {
            table.Open();
        } catch (const std::exception &) {
            continue; // damaged fixtures are the damage tests' business
        }
        const qint64 count = table.RecordCount();
        if (count > 3000)
            continue; // the walk is the same; a large table only takes long
        for (int f = 0; f < table.FieldCount(); ++f) {
            try {
                QStringList texts;
                for (qint64 p = 0; p < count; ++p)
                    texts << table.textAt(p, f);
                // Values: a record's whole text, its start in other case, and one found nowhere.
                QStringList values{QStringLiteral("\u00DF"), QStringLiteral("zz\u00C4q")};
                for (qint64 p = 0; p < count; p += std::max<qint64>(1, count / 2))
                    values << texts[p] << texts[p].left(3).toLower() << texts[p].left(2).toUpper();
                for (const QString &value : values) {
                    for (const bool caseSensitive : {false, true}) {
                        for (const bool exact : {false, true}) {
                            const Condition condition(value, caseSensitive, exact);
                            for (const qint64 from : {qint64(0), count / 2}) {
                                qint64 expected = -1;
                                for (qint64 p = from; p < count && expected < 0; ++p) {
                                    if (condition.matches(texts[p]))
                                        expected = p;
                                }
                                std::array<SearchRow, 6> rows;
                                rows[0] = {f, 0, value};
                                ASSERT_EQ(findRecord(table, from, rows, caseSensitive, exact), expected) << "field " << f << " value " << value.toStdString()
                                                           << " case " << caseSensitive << " exact " << exact;
                                ++compared;
                            }
                        }
                    }
                }
            } catch (const engine::EngineError &) {
                continue; // a record the value reading refuses (damaged memo): not a search matter
            }
        }
    }
    EXPECT_GT(compared, 5000);
}

// A kind that hands out no stored cells (Paradox) is searched in its field texts.
TEST(SearchStored, AParadoxTableIsSearchedInItsTexts)
{
    ScratchDir dir;
    dir.copyFixture(QStringLiteral("paradox/db/AREACODE.DB"));
    engine::Connection connection;
    connection.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("Paradox 5.x"));
    connection.setPropertyValue(QStringLiteral("Data Source"), dir.path());
    engine::TableDataset table;
    table.setConnection(&connection);
    table.setTableName(QStringLiteral("AREACODE.DB"));
    table.Open();
    ASSERT_EQ(table.RecordCount(), 135);
    const int state = table.FieldByName(QStringLiteral("Full State"))->Index();
    std::array<SearchRow, 6> rows;
    rows[0] = {state, 0, QStringLiteral("new j")};
    EXPECT_EQ(findRecord(table, 0, rows, false, false), 0) << "record 1 is New Jersey";
    EXPECT_EQ(findRecord(table, 0, rows, true, false), -1) << "case counts";
    // The next one is where the field texts have it.
    qint64 expected = -1;
    for (qint64 p = 1; p < 135 && expected < 0; ++p) {
        if (table.textAt(p, state).startsWith(QStringLiteral("New J"), Qt::CaseInsensitive))
            expected = p;
    }
    ASSERT_GT(expected, 0);
    EXPECT_EQ(findRecord(table, 1, rows, false, false), expected);
    rows[0] = {table.FieldByName(QStringLiteral("Area Code"))->Index(), 0, QStringLiteral("201")};
    EXPECT_EQ(findRecord(table, 0, rows, false, true), 0);
}

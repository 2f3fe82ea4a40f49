// Filters compared in the stored bytes of single-byte code pages: the fold
// table of every code page folds as Qt does, and hand-made tables in code
// pages 437, 850 and 1251 give the records written down here and the ones the
// values give, for umlauts in both cases, ß, blanks, LIKE wildcards, empty
// dates, dates with a time of day, and each of the text options.
#include "Connection.h"
#include "Driver.h"
#include "FilterExpression.h"
#include "FilterWalk.h"
#include "RawCells.h"
#include "TableDataset.h"
#include "TestSupport.h"
#include "Tables.h"
#include "common/CodePage.h"

#include <gtest/gtest.h>

using namespace engine;
using testsupport::ScratchDir;

namespace {

// The Windows numbers of the single-byte code pages table files name.
const int singleByteCodePages[] = {437, 737, 850, 852, 857, 860, 861, 863, 865, 866, 874, 1250, 1251, 1252, 1253, 1254,
                                   1255, 1256, 1257, 1258, 10000, 10006, 10007, 10029, 20866, 28591, 28592, 28593, 28594,
                                   28595, 28596, 28597, 28598, 28599, 28605};

int sign(int v)
{
    return (v > 0) - (v < 0);
}

// A table written byte by byte: NAME C(12), NR N(4,0), TAG D; rows numbered by NR from 1.
struct ByteTable {
    ScratchDir dir;
    Connection connection;
    TableDataset table;
    ByteTable(const QVector<QByteArray> &names, const QVector<QByteArray> &days, quint8 languageDriver)
    {
        QVector<testsupport::DbfRowBytes> rows;
        for (qsizetype i = 0; i < names.size(); ++i)
            rows.append({' ', {names[i], QByteArray::number(i + 1), days.value(i)}});
        const QByteArray bytes = testsupport::dbaseFileBytes({{"NAME", 'C', 12, 0}, {"NR", 'N', 4, 0}, {"TAG", 'D', 8, 0}},
                                                             rows, languageDriver);
        EXPECT_TRUE(testsupport::writeBytes(dir.file(QStringLiteral("bytes.dbf")), bytes));
        connection.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("dBASE 5.0"));
        connection.setPropertyValue(QStringLiteral("Data Source"), dir.path());
        table.setConnection(&connection);
        table.setTableName(QStringLiteral("bytes.dbf"));
        table.Open();
    }

    // NR of the records the filter keeps through the dataset's walk; the values
    // compared one by one must keep the same.
    QList<int> kept(const char *filter, TFilterOptions options)
    {
        TableSource &source = *table.source();
        const FilterExpression e = FilterExpression::parse(QString::fromUtf8(filter), source.fieldDefs());
        QList<int> byValues;
        for (qint64 p = 0; p < source.rowCount(); ++p) {
            const RowId row = source.rowAt(p);
            if (e.matches([&](int f) { return source.value(row, f); }, options))
                byValues << int(row + 1);
        }
        QList<int> stored;
        for (const RowId row : keptRows(source, e, options, nullptr))
            stored << int(row + 1);
        EXPECT_EQ(stored, byValues) << filter << " options " << options;
        return stored;
    }
};

using L = QList<int>;
constexpr int ci = foCaseInsensitive;
constexpr int exact = foNoPartialCompare;

} // namespace

TEST(FilterBytes, TheFoldTableOfEveryCodePageFoldsAsQtDoes)
{
    int tested = 0;
    for (const int number : singleByteCodePages) {
        SCOPED_TRACE(number);
        const std::optional<CodePage> page = codePageForNumber(number);
        if (!page)
            continue; // not in this system's converters
        TextCodec codec;
        codec.setCodePage(*page);
        Utf8Table table;
        ASSERT_TRUE(buildUtf8Table([&](char b) { return codec.decode(&b, 1); }, table));
        ++tested;
        // Every pair of bytes: the order of the folded table entries is the order
        // Qt's case-insensitive comparison gives the decoded characters.
        int differences = 0;
        for (int a = 0; a < 256; ++a) {
            const QString ca = codec.decode(reinterpret_cast<const char *>(&a), 1);
            for (int b = 0; b < 256; ++b) {
                const QString cb = codec.decode(reinterpret_cast<const char *>(&b), 1);
                const int byQt = sign(QStringView(ca).compare(QStringView(cb), Qt::CaseInsensitive));
                const int byTable = sign(int(table.folded[size_t(a)]) - int(table.folded[size_t(b)]));
                if (byQt != byTable && ++differences < 5)
                    ADD_FAILURE() << "bytes " << a << " and " << b;
            }
        }
        EXPECT_EQ(differences, 0);
    }
    EXPECT_GE(tested, 30);
    // Code page 437 pairs the umlauts and leaves ß alone (Qt folds one character to one).
    TextCodec codec;
    codec.setCodePage(*codePageForNumber(437));
    Utf8Table table;
    ASSERT_TRUE(buildUtf8Table([&](char b) { return codec.decode(&b, 1); }, table));
    EXPECT_EQ(table.folded[0x8E], table.folded[0x84]); // Ä ä
    EXPECT_EQ(table.folded[0x9A], table.folded[0x81]); // Ü ü
    EXPECT_EQ(table.folded[0xE1], u'ß');
    EXPECT_EQ(table.folded['A'], u'a');
}

TEST(FilterBytes, GermanTextInCodePages437And850)
{
    const QVector<QByteArray> names = {
        "M\x81ller",    // 1 Müller
        "M\x9ALLER",    // 2 MÜLLER
        "m\x81ller ",   // 3 müller, a trailing blank
        "Stra\xE1" "e", // 4 Straße
        "STRASSE",      // 5
        "\x8Erger",     // 6 Ärger
        "\x84rger",     // 7 ärger
        "",             // 8 blank
        "M_ller",       // 9
        "Ma%er",        // 10
        "\x99l",        // 11 Öl
        "\x94l",        // 12 öl
    };
    const QVector<QByteArray> days = {"20240229", "        ", "19991231", "20000101", "", "20240301",
                                      "00000000", "20241301", "20240228", "99991231", "00010101", "20240229"};
    for (const quint8 driver : {quint8(0x01), quint8(0x02)}) { // 437, 850
        SCOPED_TRACE(int(driver));
        ByteTable t(names, days, driver);
        EXPECT_EQ(t.kept("NAME = 'müller'", ci), (L{1, 2, 3}));
        EXPECT_EQ(t.kept("NAME = 'müller'", 0), (L{3}));
        EXPECT_EQ(t.kept("NAME = 'MÜLLER'", 0), (L{2}));
        EXPECT_EQ(t.kept("NAME <> 'müller'", ci), (L{4, 5, 6, 7, 8, 9, 10, 11, 12}));
        EXPECT_EQ(t.kept("NAME = 'straße'", ci), (L{4}));   // ß is not SS when folded
        EXPECT_EQ(t.kept("NAME = 'STRASSE'", ci), (L{5}));
        EXPECT_EQ(t.kept("NAME = 'ä*'", ci), (L{6, 7}));
        EXPECT_EQ(t.kept("NAME = 'ä*'", 0), (L{7}));
        EXPECT_EQ(t.kept("NAME = 'ä*'", ci | exact), L{}); // the star is a character then
        EXPECT_EQ(t.kept("NAME <> 'Ä*'", 0), (L{1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12}));
        EXPECT_EQ(t.kept("NAME = 'öl'", ci), (L{11, 12}));
        EXPECT_EQ(t.kept("NAME = 'Öl '", 0), (L{11})); // trailing blanks of the constant do not count
        EXPECT_EQ(t.kept("NAME = ''", ci), (L{8}));
        EXPECT_EQ(t.kept("NAME = 'Müllerin'", ci), L{});
        EXPECT_EQ(t.kept("NAME = 'Mülle'", ci), L{});
        EXPECT_EQ(t.kept("NAME LIKE 'm_ller'", ci), (L{1, 2, 3, 9}));
        EXPECT_EQ(t.kept("NAME LIKE 'm?ller'", 0), (L{3}));
        EXPECT_EQ(t.kept("NAME LIKE '%ll%'", ci), (L{1, 2, 3, 9}));
        EXPECT_EQ(t.kept("NAME LIKE '%ll%'", 0), (L{1, 3, 9}));
        EXPECT_EQ(t.kept("NAME LIKE '%a%'", ci), (L{4, 5, 10}));
        EXPECT_EQ(t.kept("NAME LIKE '*R'", ci), (L{1, 2, 3, 6, 7, 9, 10}));
        EXPECT_EQ(t.kept("NAME NOT LIKE 'Ü%'", ci), (L{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
        EXPECT_EQ(t.kept("NAME LIKE '%'", ci), (L{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
        // Order by character: capitals before small letters, umlauts after both, "" first.
        EXPECT_EQ(t.kept("NAME < 'N'", 0), (L{1, 2, 8, 9, 10}));
        EXPECT_EQ(t.kept("NAME < 'N'", ci), (L{1, 2, 3, 8, 9, 10}));
        EXPECT_EQ(t.kept("NAME >= 'ä'", ci), (L{6, 7, 11, 12}));
        EXPECT_EQ(t.kept("NAME > 'Öl'", 0), (L{7, 12}));
        EXPECT_EQ(t.kept("NAME <= 'm'", ci), (L{8}));
        // Dates: blank, zero and impossible ones are empty.
        EXPECT_EQ(t.kept("TAG >= #01.01.2000#", ci), (L{1, 4, 6, 9, 10, 12}));
        EXPECT_EQ(t.kept("TAG < #2000-01-01#", ci), (L{3, 11}));
        EXPECT_EQ(t.kept("TAG = #29.02.2024#", ci), (L{1, 12}));
        EXPECT_EQ(t.kept("TAG <> #29.02.2024#", ci), (L{3, 4, 6, 9, 10, 11}));
        EXPECT_EQ(t.kept("TAG IS NULL", ci), (L{2, 5, 7, 8}));
        // A constant with a time of day: the stored day is its midnight.
        EXPECT_EQ(t.kept("TAG = #29.02.2024 10:00#", ci), L{});
        EXPECT_EQ(t.kept("TAG < #29.02.2024 10:00#", ci), (L{1, 3, 4, 9, 11, 12}));
        EXPECT_EQ(t.kept("TAG >= #2024-02-29 00:00#", ci), (L{1, 6, 10, 12}));
        EXPECT_EQ(t.kept("TAG > '28.02.2024'", ci), (L{1, 6, 10, 12})); // a date in a string
        // AND and OR over both.
        EXPECT_EQ(t.kept("NAME = 'm*' AND TAG > #01.01.2000#", ci), (L{1, 9, 10}));
        EXPECT_EQ(t.kept("TAG IS NULL OR NAME = 'ö*'", ci), (L{2, 5, 7, 8, 11, 12}));
        EXPECT_EQ(t.kept("NOT (NAME = 'm*' OR NR > 6)", ci), (L{4, 5, 6}));
    }
}

TEST(FilterBytes, CyrillicInCodePage1251)
{
    // Ёлка, ёлка, ЁЛКА, Елка, ЯЩИК, ящик
    const QVector<QByteArray> names = {"\xA8\xEB\xEA\xE0", "\xB8\xEB\xEA\xE0", "\xA8\xCB\xCA\xC0", "\xC5\xEB\xEA\xE0",
                                       "\xDF\xD9\xC8\xCA", "\xFF\xF9\xE8\xEA"};
    ByteTable t(names, {}, 0xC9);
    EXPECT_EQ(t.kept("NAME = 'ёлка'", ci), (L{1, 2, 3}));
    EXPECT_EQ(t.kept("NAME = 'ёлка'", 0), (L{2}));
    EXPECT_EQ(t.kept("NAME LIKE 'ё%'", ci), (L{1, 2, 3}));
    EXPECT_EQ(t.kept("NAME = 'я*'", ci), (L{5, 6}));
    EXPECT_EQ(t.kept("NAME > 'ель'", ci), (L{1, 2, 3, 5, 6})); // Ё folds to ё (U+0451), above е (U+0435)
    EXPECT_EQ(t.kept("NAME = 'yolka'", ci), L{});
    EXPECT_EQ(t.kept("NAME = 'Ёлка😀'", ci), L{}); // a character no single byte holds
    EXPECT_EQ(t.kept("NAME < '😀'", 0), (L{1, 2, 3, 4, 5, 6}));
}

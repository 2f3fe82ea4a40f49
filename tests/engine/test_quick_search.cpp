// The quick search on real index files: the halving search over an index whose
// key is upper-cased whole, the walk over any other key, and the plain key field
// where no key expression can be computed.
#include "Connection.h"
#include "QuickSearch.h"
#include "TableDataset.h"
#include "TestSupport.h"

#include <QFileInfo>
#include <cmath>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::ScratchDir;

namespace {

struct IndexedTable {
    Connection connection;
    TableDataset table;
    IndexedTable(const QString &path, const QString &index, const char *kind = "dBASE 5.0")
    {
        const QFileInfo info(path);
        connection.setPropertyValue(QStringLiteral("Extended Properties"), QString::fromLatin1(kind));
        connection.setPropertyValue(QStringLiteral("Data Source"), info.absolutePath());
        table.setConnection(&connection);
        table.setTableName(info.fileName());
        table.setIndexName(index);
        table.Open();
    }
    // The field's text at a position of the present order.
    QString at(qint64 position, const char *field)
    {
        return table.textAt(position, table.FieldByName(QString::fromLatin1(field))->Index());
    }
};

} // namespace

// SYMLIST.MDX of a Simatic S7 project: tag __USKZ is UPPER(LTRIM(TRIM(_SKZ))),
// and the nine _SKZ values in its order are (upper-cased) COMPLEX INITLAL VALUES,
// DB 310, FB WITH BLOCK PARAMETERS, FB WITH COMPLEX INTERFAC, GET, INITAL VALUES
// FOR BOOL, INITAL VALUES FOR REAL, MULTIDIMENSIONAL ARRAYS, UDT AND STRUCTURES.
TEST(QuickSearch, AnUpperCasedKeyIsSearchedByHalving)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/simatic-s7/YDBs-15940/SYMLIST.DBF"));
    dir.copyFixture(QStringLiteral("dbase/simatic-s7/YDBs-15940/SYMLIST.MDX"));
    IndexedTable t(path, QStringLiteral("__USKZ"));
    ASSERT_EQ(t.table.RecordCount(), 9);
    const qint64 halving = qint64(std::ceil(std::log2(9.0))) + 1; // the halving plus the check of the hit

    const struct {
        const char *typed;
        qint64 position;
        const char *skz;
    } cases[] = {
        {"fb with c", 3, "FB with Complex interfac"},
        {"FB", 2, "FB with Block parameters"},
        {"inital values for r", 6, "Inital Values for Real"},
        {"Complex", 0, "Complex Initlal Values"},
        {"udt", 8, "UDT and Structures"},
        {"g", 4, "GET"},
        {"DB 3", 1, "DB 310"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed);
        const QuickSearchResult found = quickSearch(t.table, QString::fromLatin1(c.typed));
        EXPECT_TRUE(found.binarySearch);
        EXPECT_EQ(found.position, c.position);
        EXPECT_LE(found.keysRead, halving);
        EXPECT_EQ(t.at(found.position, "_SKZ"), QString::fromLatin1(c.skz));
    }
    // Texts no key begins with: before the first, between two, after the last.
    for (const char *typed : {"A", "DB 4", "Zed", "fb with z"}) {
        SCOPED_TRACE(typed);
        const QuickSearchResult found = quickSearch(t.table, QString::fromLatin1(typed));
        EXPECT_TRUE(found.binarySearch);
        EXPECT_EQ(found.position, -1);
    }
    // The search moves nothing itself.
    EXPECT_EQ(t.table.RecNo(), 1);
}

// The same table by its plain _SKZ tag: the key keeps its case, so it is walked.
TEST(QuickSearch, AKeyThatKeepsItsCaseIsWalked)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/simatic-s7/YDBs-15940/SYMLIST.DBF"));
    dir.copyFixture(QStringLiteral("dbase/simatic-s7/YDBs-15940/SYMLIST.MDX"));
    IndexedTable t(path, QStringLiteral("__SKZ"));
    const QuickSearchResult found = quickSearch(t.table, QStringLiteral("get"));
    EXPECT_FALSE(found.binarySearch);
    ASSERT_GE(found.position, 0);
    EXPECT_EQ(t.at(found.position, "_SKZ"), QStringLiteral("GET"));
    EXPECT_EQ(found.keysRead, found.position + 1);
    EXPECT_EQ(quickSearch(t.table, QStringLiteral("nichts")).position, -1);
}

// Nothing to search without a chosen index or a text.
TEST(QuickSearch, WithoutIndexOrTextNothingIsFound)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/simatic-s7/YDBs-15940/SYMLIST.DBF"));
    dir.copyFixture(QStringLiteral("dbase/simatic-s7/YDBs-15940/SYMLIST.MDX"));
    IndexedTable plain(path, QString());
    EXPECT_EQ(quickSearch(plain.table, QStringLiteral("GET")).position, -1);
    EXPECT_EQ(quickSearch(plain.table, QStringLiteral("GET")).keysRead, 0);
    IndexedTable indexed(path, QStringLiteral("__USKZ"));
    EXPECT_EQ(quickSearch(indexed.table, QString()).position, -1);
}

// A Paradox table has no key expressions: its primary key's first field is
// walked. AREACODE.DB is keyed by "Area Code" (201 New Jersey is one of them);
// North American area codes begin with 2 to 9, so "2" finds the first record.
TEST(QuickSearch, WithoutKeyExpressionTheFirstKeyFieldIsWalked)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("paradox/db/AREACODE.DB"));
    dir.copyFixture(QStringLiteral("paradox/db/AREACODE.PX"));
    IndexedTable t(path, QStringLiteral("Primärschlüssel"), "Paradox 5.x");
    ASSERT_EQ(t.table.RecordCount(), 135);
    const QuickSearchResult nj = quickSearch(t.table, QStringLiteral("201"));
    EXPECT_FALSE(nj.binarySearch);
    ASSERT_GE(nj.position, 0);
    EXPECT_EQ(nj.keysRead, nj.position + 1);
    EXPECT_EQ(t.at(nj.position, "Area Code"), QStringLiteral("201"));
    EXPECT_EQ(t.at(nj.position, "State"), QStringLiteral("NJ"));
    EXPECT_EQ(quickSearch(t.table, QStringLiteral("2")).position, 0);
    EXPECT_EQ(quickSearch(t.table, QStringLiteral("1")).position, -1);
}

// A key that is a character field's text unchanged is walked in the stored
// bytes: the same positions as the field texts give, for every start of every
// key in other case, and nothing for texts no key begins with.
TEST(QuickSearch, APlainFieldKeyIsWalkedInItsStoredText)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/simatic-s7/YDBs-15940/SYMLIST.DBF"));
    dir.copyFixture(QStringLiteral("dbase/simatic-s7/YDBs-15940/SYMLIST.MDX"));
    IndexedTable t(path, QStringLiteral("__SKZ"));
    const int skz = t.table.FieldByName(QStringLiteral("_SKZ"))->Index();
    EXPECT_EQ(IndexKeyText::forIndex(t.table.source(), QStringLiteral("__SKZ"))->plainTextField(), skz);
    EXPECT_EQ(IndexKeyText::forIndex(t.table.source(), QStringLiteral("__USKZ"))->plainTextField(), -1)
        << "UPPER(LTRIM(TRIM(_SKZ))) is computed";
    const qint64 count = t.table.RecordCount();
    QStringList typed{QStringLiteral("ü"), QStringLiteral("zz"), QStringLiteral("GET "), QStringLiteral("😀")};
    for (qint64 p = 0; p < count; ++p) {
        const QString key = t.table.textAt(p, skz);
        for (qsizetype n = 1; n <= std::min<qsizetype>(key.size(), 12); n += 3)
            typed << key.left(n).toLower() << key.left(n).toUpper();
        typed << key;
    }
    int found = 0;
    for (const QString &text : typed) {
        qint64 expected = -1;
        for (qint64 p = 0; p < count && expected < 0; ++p) {
            if (t.table.textAt(p, skz).startsWith(text, Qt::CaseInsensitive))
                expected = p;
        }
        const QuickSearchResult result = quickSearch(t.table, text);
        EXPECT_EQ(result.position, expected) << text.toStdString();
        EXPECT_FALSE(result.binarySearch);
        found += expected >= 0;
    }
    EXPECT_GE(found, 30);
}

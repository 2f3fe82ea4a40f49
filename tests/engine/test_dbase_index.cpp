// Reading the index files of real dBASE and FoxPro tables: tag definitions as the
// files hold them, and rows in index order checked against the table's own values.
#include "Driver.h"
#include "EngineError.h"
#include "TestSupport.h"
#include "Tables.h"
#include "drivers/dbase/DbaseDriver.h"
#include "drivers/dbase/DbfIndex.h"
#include "common/Bytes.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::fieldIndex;
using testsupport::openDbf;
using engine::dbase::IndexFile;
using testsupport::fixture;
using testsupport::ScratchDir;

namespace {

const IndexDef *findDef(const QVector<IndexDef> &defs, const QString &name)
{
    for (const IndexDef &d : defs) {
        if (d.name == name)
            return &d;
    }
    ADD_FAILURE() << "no index " << name.toStdString();
    return nullptr;
}

QStringList names(const QVector<IndexDef> &defs)
{
    QStringList out;
    for (const IndexDef &d : defs)
        out << d.name;
    return out;
}

// Orders two values of one field the way an index orders their keys.
int compareValues(const QVariant &a, const QVariant &b)
{
    if (!a.isValid() || !b.isValid())
        return int(a.isValid()) - int(b.isValid());
    switch (a.typeId()) {
    case QMetaType::QString: return a.toString().compare(b.toString());
    case QMetaType::QDate: return a.toDate() < b.toDate() ? -1 : (b.toDate() < a.toDate() ? 1 : 0);
    default: return a.toDouble() < b.toDouble() ? -1 : (b.toDouble() < a.toDouble() ? 1 : 0);
    }
}

// The live rows in natural order, as row ids.
QVector<RowId> liveRows(TableSource &t)
{
    QVector<RowId> rows;
    for (qint64 i = 0; i < t.rowCount(); ++i)
        rows << t.rowAt(i);
    return rows;
}

// Walks a plain-field tag and checks its rows: live rows only, each once, keys non-decreasing.
void expectFieldOrder(TableSource &t, const QString &tag, const QString &field, qint64 expectedRows)
{
    SCOPED_TRACE(QStringLiteral("%1 / %2").arg(t.tableName(), tag).toStdString());
    const QVector<RowId> order = t.indexOrder(tag);
    EXPECT_EQ(order.size(), expectedRows);
    const int f = fieldIndex(t, field);
    QSet<RowId> seen;
    for (int i = 0; i < order.size(); ++i) {
        EXPECT_GE(t.positionOf(order[i]), 0) << "deleted row " << order[i];
        EXPECT_FALSE(seen.contains(order[i]));
        seen.insert(order[i]);
        if (i > 0) {
            EXPECT_LE(compareValues(t.value(order[i - 1], f), t.value(order[i], f)), 0) << "at " << i;
        }
    }
}

QStringList texts(TableSource &t, const QVector<RowId> &rows, const QString &field)
{
    const int f = fieldIndex(t, field);
    QStringList out;
    for (RowId r : rows)
        out << t.text(r, f);
    return out;
}

double leDouble(const QByteArray &key)
{
    double d = 0;
    quint64 bits = quint64(io::le64(key.constData()));
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

} // namespace

TEST(DbaseIndexNdx, CharacterKeysInTheListedOrder)
{
    auto t = openDbf(fixture("dbase/dbd-xbase/ndx-char.dbf"), true);
    const QVector<IndexDef> defs = t->indexDefs();
    ASSERT_EQ(defs.size(), 1);
    EXPECT_EQ(defs[0].name, QStringLiteral("ndx-char"));
    EXPECT_EQ(defs[0].fields, QStringLiteral("V1"));
    EXPECT_TRUE(defs[0].expression.isEmpty());
    EXPECT_EQ(defs[0].source, QStringLiteral("ndx-char.ndx"));
    EXPECT_EQ(defs[0].options, 0);

    const QStringList expected = QStringLiteral("1 1 10 10 15 1z 2 2 2h 2z 3 3 3a 4 4 4e 5 5 5b 6 6 6g 7 7 8 8 8d 9")
                                     .split(QLatin1Char(' '));
    EXPECT_EQ(texts(*t, t->indexOrder(QStringLiteral("NDX-CHAR")), QStringLiteral("V1")), expected);

    auto file = IndexFile::open(fixture("dbase/dbd-xbase/ndx-char.ndx"));
    ASSERT_EQ(file->tags().size(), 1);
    const auto &tag = file->tags().at(0);
    EXPECT_EQ(tag.root, 10 * 512);
    EXPECT_EQ(tag.keyLength, 78);
    EXPECT_EQ(tag.keyType, 'C');
    EXPECT_EQ(tag.keyExpression, QStringLiteral("v1"));
    QStringList keys;
    for (const auto &e : file->entries(0))
        keys << QString::fromLatin1(e.key).trimmed();
    EXPECT_EQ(keys, expected);
}

TEST(DbaseIndexNdx, NumericAndDateKeysMatchTheTable)
{
    auto num = openDbf(fixture("dbase/dbd-xbase/ndx-num.dbf"), true);
    expectFieldOrder(*num, QStringLiteral("ndx-num"), QStringLiteral("FIELD1"), 594);
    const QVector<RowId> order = num->indexOrder(QStringLiteral("ndx-num"));
    const int f = fieldIndex(*num, QStringLiteral("FIELD1"));
    QVector<int> hits;
    for (int i = 0; i < order.size(); ++i) {
        if (num->value(order[i], f).toDouble() == 1042)
            hits << i;
    }
    ASSERT_EQ(hits.size(), 6);
    EXPECT_EQ(hits.last() - hits.first(), 5); // next to each other

    // The stored keys are doubles equal to the record's value.
    auto file = IndexFile::open(fixture("dbase/dbd-xbase/ndx-num.ndx"));
    EXPECT_EQ(file->tags().at(0).keyType, 'N');
    EXPECT_EQ(file->tags().at(0).keyLength, 8);
    for (const auto &e : file->entries(0))
        ASSERT_EQ(leDouble(e.key), num->value(RowId(e.record) - 1, f).toDouble()) << e.record;

    auto dates = openDbf(fixture("dbase/dbd-xbase/ndx-date.dbf"), true);
    expectFieldOrder(*dates, QStringLiteral("ndx-date"), QStringLiteral("FIELD1"), 297);
    const QVector<RowId> byDate = dates->indexOrder(QStringLiteral("ndx-date"));
    const int d = fieldIndex(*dates, QStringLiteral("FIELD1"));
    EXPECT_EQ(dates->value(byDate.first(), d).toDate(), QDate(1997, 9, 9));
    EXPECT_EQ(dates->value(byDate.last(), d).toDate(), QDate(1997, 12, 16));
    qsizetype first = -1;
    for (qsizetype i = 0; i < byDate.size() && first < 0; ++i) {
        if (dates->value(byDate[i], d).toDate() == QDate(1997, 12, 12))
            first = i;
    }
    ASSERT_GE(first, 0);
    QStringList run;
    for (qsizetype i = first; i < first + 7; ++i)
        run << dates->value(byDate[i], d).toDate().toString(QStringLiteral("yyyyMMdd"));
    EXPECT_EQ(run.join(QLatin1Char(' ')), QStringLiteral("19971212 19971212 19971212 19971213 19971213 19971213 19971214"));
    // Date keys are Julian day numbers stored as doubles.
    auto dateFile = IndexFile::open(fixture("dbase/dbd-xbase/ndx-date.ndx"));
    for (const auto &e : dateFile->entries(0))
        ASSERT_EQ(qint64(leDouble(e.key)), dates->value(RowId(e.record) - 1, d).toDate().toJulianDay());
}

TEST(DbaseIndexMdx, ChangelogTagsAndOrders)
{
    auto t = openDbf(fixture("dbase/simatic-s7/siprom/CHANGELOG.DBF"), true);
    const QVector<IndexDef> defs = t->indexDefs();
    EXPECT_EQ(names(defs), QStringList({"ID_TAG", "DATETIME_T", "USER_TAG", "ACTION_TAG", "OBJECTID_T", "LEVEL_TAG"}));
    const QStringList fields{"ID", "DATETIME", "USER", "ACTION", "OBJECTID", "LEVEL"};
    for (int i = 0; i < defs.size() && i < fields.size(); ++i) {
        EXPECT_EQ(defs[i].fields, fields[i]);
        EXPECT_EQ(defs[i].source, QStringLiteral("CHANGELOG.MDX"));
        EXPECT_EQ(defs[i].forCondition, QStringLiteral(".NOT. DELETED()"));
        EXPECT_EQ(bool(defs[i].options & ixUnique), i == 0) << defs[i].name.toStdString();
        EXPECT_FALSE(defs[i].options & (ixExpression | ixDescending | ixPrimary));
        expectFieldOrder(*t, defs[i].name, fields[i], 3);
    }
    auto file = IndexFile::open(fixture("dbase/simatic-s7/siprom/CHANGELOG.MDX"));
    QByteArray types;
    for (const auto &tag : file->tags())
        types.append(tag.keyType);
    EXPECT_EQ(types, QByteArray("NCCNNN"));
}

TEST(DbaseIndexMdx, SymlistExpressionAndEmptyTag)
{
    auto t = openDbf(fixture("dbase/simatic-s7/YDBs-15940/SYMLIST.DBF"), true);
    const QVector<IndexDef> defs = t->indexDefs();
    EXPECT_EQ(names(defs), QStringList({"__ID", "__USKZ", "__SKZ", "__OPIEC", "__OPHIST"}));
    const IndexDef *uskz = findDef(defs, QStringLiteral("__USKZ"));
    ASSERT_TRUE(uskz);
    EXPECT_TRUE(uskz->fields.isEmpty());
    EXPECT_EQ(uskz->expression, QStringLiteral("UPPER(LTRIM(TRIM(_SKZ)))"));
    EXPECT_TRUE(uskz->options & ixExpression);
    // A key spelled in another case is shown with the table's spelling.
    EXPECT_EQ(findDef(defs, QStringLiteral("__OPIEC"))->fields, t->fieldDefs().at(fieldIndex(*t, "_OPIEC")).name);

    expectFieldOrder(*t, QStringLiteral("__ID"), QStringLiteral("_ID"), 9);
    expectFieldOrder(*t, QStringLiteral("__SKZ"), QStringLiteral("_SKZ"), 9);
    // The expression order, checked by computing the expression from the table.
    const QVector<RowId> order = t->indexOrder(QStringLiteral("__USKZ"));
    ASSERT_EQ(order.size(), 9);
    const int skz = fieldIndex(*t, QStringLiteral("_SKZ"));
    for (int i = 1; i < order.size(); ++i)
        EXPECT_LE(t->text(order[i - 1], skz).trimmed().toUpper().compare(t->text(order[i], skz).trimmed().toUpper()), 0);
    EXPECT_EQ(IndexFile::open(fixture("dbase/simatic-s7/YDBs-15940/SYMLIST.MDX"))->tags().at(1).keyLength, 24);

    // FOR .FALSE.: a tag without any key gives no rows.
    EXPECT_EQ(findDef(defs, QStringLiteral("__OPHIST"))->forCondition, QStringLiteral(".FALSE."));
    EXPECT_TRUE(t->indexOrder(QStringLiteral("__OPHIST")).isEmpty());
}

TEST(DbaseIndexMdx, BausteinLeavesTheDeletedRecordOut)
{
    auto t = openDbf(fixture("dbase/simatic-s7/ombstx-offline-00000002/BAUSTEIN.DBF"), true);
    const QVector<IndexDef> defs = t->indexDefs();
    EXPECT_EQ(names(defs), QStringList({"ID_TAG", "TYPNUMBER_"}));
    const IndexDef *typ = findDef(defs, QStringLiteral("TYPNUMBER_"));
    ASSERT_TRUE(typ);
    EXPECT_EQ(typ->expression, QStringLiteral("TYP + NUMMER"));
    EXPECT_EQ(typ->options, ixExpression | ixUnique);
    expectFieldOrder(*t, QStringLiteral("ID_TAG"), QStringLiteral("ID"), 10);
    const QVector<RowId> order = t->indexOrder(QStringLiteral("TYPNUMBER_"));
    ASSERT_EQ(order.size(), 10);
    EXPECT_FALSE(order.contains(6)); // record 7 is deleted
    const int ty = fieldIndex(*t, QStringLiteral("TYP")), nu = fieldIndex(*t, QStringLiteral("NUMMER"));
    for (int i = 1; i < order.size(); ++i)
        EXPECT_LT((t->text(order[i - 1], ty) + t->text(order[i - 1], nu)).compare(t->text(order[i], ty) + t->text(order[i], nu)), 0);
}

TEST(DbaseIndexCdx, RoomsTagsConditionsAndTraversal)
{
    auto t = openDbf(fixture("foxpro/dbd-xbase/rooms.dbf"), true);
    const QVector<IndexDef> defs = t->indexDefs();
    // Tags in the order they were made (their headers' order in the file).
    EXPECT_EQ(names(defs), QStringList({"ROOMNAME", "FACILITY", "AUDIO", "MAIN", "FILM"}));
    for (const IndexDef &d : defs) {
        EXPECT_EQ(d.source, QStringLiteral("rooms.cdx"));
        EXPECT_EQ(d.options, 0) << d.name.toStdString();
    }
    EXPECT_EQ(findDef(defs, QStringLiteral("FACILITY"))->fields, QStringLiteral("FACILITY"));
    for (const QString &facility : {QStringLiteral("AUDIO"), QStringLiteral("FILM"), QStringLiteral("MAIN")}) {
        const IndexDef *d = findDef(defs, facility);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->fields, QStringLiteral("ROOMNAME"));
        EXPECT_EQ(d->forCondition, QStringLiteral("TRIM(UPPER(facility))==\"%1\"").arg(facility));
        // Independent check of the FOR condition: exactly the live rows it admits.
        const int fac = fieldIndex(*t, QStringLiteral("FACILITY"));
        qint64 admitted = 0;
        for (RowId r : liveRows(*t))
            admitted += t->text(r, fac).trimmed().toUpper() == facility;
        expectFieldOrder(*t, facility, QStringLiteral("ROOMNAME"), admitted);
        for (RowId r : t->indexOrder(facility))
            EXPECT_EQ(t->text(r, fac).trimmed().toUpper(), facility);
    }
    expectFieldOrder(*t, QStringLiteral("ROOMNAME"), QStringLiteral("ROOMNAME"), 42);
    expectFieldOrder(*t, QStringLiteral("FACILITY"), QStringLiteral("FACILITY"), 42);

    const QVector<RowId> order = t->indexOrder(QStringLiteral("roomname"));
    const int room = fieldIndex(*t, QStringLiteral("ROOMNAME")), fac = fieldIndex(*t, QStringLiteral("FACILITY"));
    QStringList lines;
    for (int i = 0; i < 6 && i < order.size(); ++i)
        lines << t->text(order[i], room) + QLatin1Char(' ') + t->text(order[i], fac);
    EXPECT_EQ(lines, QStringList({" ", " None ", "ADR-Foley Audio", "AVID Main", "BAY 7 Main", "Bay  1 Main"}));
}

TEST(DbaseIndexCdx, FoxproDatabaseTablesAndContainer)
{
    struct Expect {
        const char *table;
        QStringList tags;
        QStringList fields;
        qint64 rows;
    };
    const Expect cases[] = {
        {"calls.dbf", {"CALL_ID", "CONTACT_ID"}, {"CALL_ID", "CONTACT_ID"}, 16},
        // Long field names of the container are cut to ten characters in the table.
        {"contacts.dbf", {"CONTACT_ID", "TYPE_ID"}, {"CONTACT_ID", "CONTACT_TY"}, 5},
        {"setup.dbf", {"KEY_NAME"}, {"KEY_NAME"}, 3},
        {"types.dbf", {"TYPE_ID"}, {"CONTACT_TY"}, 2},
    };
    for (const Expect &c : cases) {
        SCOPED_TRACE(c.table);
        auto t = openDbf(fixture(QStringLiteral("foxpro/infused-dbf/foxprodb/") + QLatin1String(c.table)), true);
        const QVector<IndexDef> defs = t->indexDefs();
        ASSERT_EQ(names(defs), c.tags);
        for (int i = 0; i < defs.size(); ++i) {
            EXPECT_EQ(defs[i].fields.toUpper(), c.fields[i].toUpper());
            EXPECT_TRUE(defs[i].source.endsWith(QLatin1String(".CDX")));
            expectFieldOrder(*t, defs[i].name, c.fields[i], c.rows);
        }
        // The first tag of each is a candidate key: unique, the table's primary key.
        EXPECT_EQ(defs[0].options, ixPrimary | ixUnique);
    }
    auto setup = IndexFile::open(fixture("foxpro/infused-dbf/foxprodb/setup.CDX"));
    EXPECT_EQ(setup->tags().at(0).keyLength, 50);

    // The container's index has interior nodes above its leaves.
    auto dcx = IndexFile::open(fixture("foxpro/infused-dbf/foxprodb/FOXPRO-DB-TEST.DCX"));
    ASSERT_EQ(dcx->tags().size(), 2);
    EXPECT_EQ(dcx->tags().at(0).name, QStringLiteral("OBJECTNAME"));
    EXPECT_EQ(dcx->tags().at(0).keyExpression, QStringLiteral("STR(parentid)+objecttype+LOWER(objectname)"));
    EXPECT_EQ(dcx->tags().at(1).keyExpression, QStringLiteral("STR(parentid)+objecttype"));
    EXPECT_EQ(dcx->tags().at(0).forExpression, QStringLiteral(".NOT.DELETED()"));
    const auto byName = dcx->entries(0);
    const auto byType = dcx->entries(1);
    EXPECT_GT(byName.size(), 12u); // more than one 148-byte-key leaf holds
    EXPECT_EQ(byName.size(), byType.size());
    for (size_t i = 1; i < byName.size(); ++i)
        EXPECT_LE(byName[i - 1].key, byName[i].key) << i;
    QSet<quint32> records;
    for (const auto &e : byName)
        records.insert(e.record);
    EXPECT_EQ(size_t(records.size()), byName.size());
}

TEST(DbaseIndexCdx, JavadbfEmployeesAndPayments)
{
    auto employees = openDbf(fixture("foxpro/javadbf-xsource/employees.dbf"), true);
    const QVector<IndexDef> e = employees->indexDefs();
    EXPECT_EQ(names(e), QStringList({"PRIMARYKEY", "LASTNAME", "EMAILNAME", "POSTALCODE"}));
    EXPECT_EQ(e[0].fields, QStringLiteral("EMPLOYEEID"));
    EXPECT_EQ(e[0].options, ixPrimary | ixUnique);
    for (const IndexDef &d : e)
        expectFieldOrder(*employees, d.name, d.fields, 5);

    auto payments = openDbf(fixture("foxpro/javadbf-xsource/payments.dbf"), true);
    const QVector<IndexDef> p = payments->indexDefs();
    EXPECT_EQ(names(p), QStringList({"PRIMARYKEY", "PAYMENTMET", "PROJECTID"}));
    EXPECT_EQ(p[0].fields, QStringLiteral("PAYMENTID"));
    EXPECT_EQ(findDef(p, QStringLiteral("PAYMENTMET"))->fields, QStringLiteral("PAYMENTMET"));
    for (const IndexDef &d : p)
        expectFieldOrder(*payments, d.name, d.fields, 5);
}

namespace {

// A plain (not compact) .idx with the given keys, one leaf per `perLeaf` keys
// under one interior root; keys are 4 characters, pointers big-endian.
QByteArray plainIdx(const QVector<QPair<QByteArray, quint32>> &keys, int perLeaf, const QByteArray &expression)
{
    const int leaves = int((keys.size() + perLeaf - 1) / perLeaf);
    QByteArray file(512 * (2 + leaves), '\0');
    char *h = file.data();
    io::putLe32(h, 512);      // root
    io::putLe32(h + 4, 0xFFFFFFFF);
    io::putLe16(h + 12, 4);   // key length
    std::memcpy(h + 16, expression.constData(), size_t(expression.size()));
    char *root = h + 512;
    io::putLe16(root, 1);
    io::putLe16(root + 2, quint16(leaves));
    for (int l = 0; l < leaves; ++l) {
        char *leaf = h + 1024 + 512 * l;
        io::putLe16(leaf, 2);
        const int first = l * perLeaf, count = std::min<int>(perLeaf, int(keys.size()) - first);
        io::putLe16(leaf + 2, quint16(count));
        for (int i = 0; i < count; ++i) {
            std::memcpy(leaf + 12 + i * 8, keys[first + i].first.constData(), 4);
            io::putBe32(leaf + 12 + i * 8 + 4, keys[first + i].second);
        }
        std::memcpy(root + 12 + l * 8, keys[first + count - 1].first.constData(), 4);
        io::putBe32(root + 12 + l * 8 + 4, quint32(1024 + 512 * l));
    }
    return file;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

} // namespace

TEST(DbaseIndexIdx, PlainAndCompactSingleIndexes)
{
    ScratchDir dir;
    const QString table = dir.copyFixture(QStringLiteral("foxpro/dbd-xbase/rooms.dbf"));
    auto reference = openDbf(fixture("foxpro/dbd-xbase/rooms.dbf"), true);
    const QVector<RowId> byRoom = reference->indexOrder(QStringLiteral("ROOMNAME"));

    // A compact .idx is one tag of a compound file: the ROOMNAME tag header moved to the front.
    QByteArray cdx = testsupport::readAll(fixture("foxpro/dbd-xbase/rooms.cdx"));
    QByteArray idx = cdx;
    idx.replace(0, 1024, cdx.mid(0x600, 1024));
    idx[14] = char(0x20); // compact, not compound
    writeFile(dir.file(QStringLiteral("ROOMS.IDX")), idx);
    {
        auto t = openDbf(table, true);
        const QVector<IndexDef> defs = t->indexDefs();
        ASSERT_EQ(defs.size(), 1);
        EXPECT_EQ(defs[0].name, QStringLiteral("ROOMS"));
        EXPECT_EQ(defs[0].source, QStringLiteral("ROOMS.IDX"));
        EXPECT_EQ(defs[0].fields, QStringLiteral("ROOMNAME"));
        EXPECT_EQ(t->indexOrder(QStringLiteral("rooms")), byRoom);
    }
    {
        // Opened for changes, the table keeps its compact .idx valid and may change.
        static DbaseDriver driver;
        auto t = driver.open(dir.path(), QFileInfo(table).fileName(), OpenOptions{false, false});
        EXPECT_EQ(t->readOnlyReason(), QString());
    }
    QFile::remove(dir.file(QStringLiteral("ROOMS.IDX")));

    // A plain .idx over three leaves, keyed on the record's facility; records 3 and 5 left out.
    QVector<QPair<QByteArray, quint32>> keys;
    const int fac = fieldIndex(*reference, QStringLiteral("FACILITY"));
    for (quint32 r = 1; r <= 42; ++r) {
        if (r != 3 && r != 5)
            keys.append({reference->text(r - 1, fac).toLatin1().leftJustified(4, ' ', true), r});
    }
    std::stable_sort(keys.begin(), keys.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    writeFile(dir.file(QStringLiteral("rooms.idx")), plainIdx(keys, 15, "LEFT(facility,4)"));
    auto t = openDbf(table, true);
    const QVector<IndexDef> defs = t->indexDefs();
    ASSERT_EQ(defs.size(), 1);
    EXPECT_EQ(defs[0].expression, QStringLiteral("LEFT(facility,4)"));
    EXPECT_EQ(defs[0].options, ixExpression);
    const QVector<RowId> order = t->indexOrder(QStringLiteral("rooms"));
    ASSERT_EQ(order.size(), 40);
    for (int i = 0; i < order.size(); ++i)
        EXPECT_EQ(order[i], RowId(keys[i].second) - 1);
}

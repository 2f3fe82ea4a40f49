// Reading Access databases through mdbtools: the fixture files' tables, field
// types, indexes and values as Access and mdb-export show them; deleted rows
// stay hidden; everything else is refused with a German reason.
#include "Driver.h"
#include "EngineError.h"
#include "TestSupport.h"
#include "ValueText.h"
#include "drivers/access/AccessDriver.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QThread>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::fixture;

namespace {

QString db(const QString &relative)
{
    return fixture(QStringLiteral("access/") + relative);
}

std::unique_ptr<TableSource> openTable(const QString &relative, const QString &table)
{
    AccessDriver d;
    return d.open(db(relative), table, OpenOptions{true, false});
}

int fieldIndex(TableSource &t, const QString &name)
{
    for (int i = 0; i < t.fieldDefs().size(); ++i)
        if (t.fieldDefs().at(i).name == name)
            return i;
    ADD_FAILURE() << "no field " << name.toStdString();
    return 0;
}

QVariant valueOf(TableSource &t, qint64 position, const QString &field)
{
    return t.value(t.rowAt(position), fieldIndex(t, field));
}

// The row whose key field has the given value.
qint64 positionWhere(TableSource &t, const QString &field, const QVariant &key)
{
    const int f = fieldIndex(t, field);
    for (qint64 p = 0; p < t.rowCount(); ++p)
        if (t.value(t.rowAt(p), f) == key)
            return p;
    ADD_FAILURE() << "no row with " << field.toStdString() << " = " << key.toString().toStdString();
    return 0;
}

} // namespace

TEST(AccessDriver, KindAndHandles)
{
    AccessDriver d;
    EXPECT_TRUE(d.handles(QString()));
    EXPECT_FALSE(d.handles(QStringLiteral("dBASE 5.0")));
    EXPECT_FALSE(d.handles(QStringLiteral("HTML Import")));
    EXPECT_FALSE(d.dataSourceIsDirectory());
    EXPECT_FALSE(d.canCreate());
}

TEST(AccessDriver, ListsUserTablesInCatalogOrder)
{
    AccessDriver d;
    EXPECT_EQ(d.tableNames(db(QStringLiteral("mdbtestdata/nwind.mdb"))),
              (QStringList{QStringLiteral("Order Details"), QStringLiteral("Orders"), QStringLiteral("Products"),
                           QStringLiteral("Shippers"), QStringLiteral("Categories"), QStringLiteral("Customers"),
                           QStringLiteral("Employees"), QStringLiteral("Suppliers"), QStringLiteral("Umsätze")}));
    EXPECT_EQ(d.tableNames(db(QStringLiteral("jackcess/testV1997.mdb"))),
              (QStringList{QStringLiteral("Table1"), QStringLiteral("Table2"), QStringLiteral("Table3"), QStringLiteral("Table4")}));
    EXPECT_EQ(d.tableNames(db(QStringLiteral("jackcess/indexTestV1997.mdb"))),
              (QStringList{QStringLiteral("Table1"), QStringLiteral("Table2"), QStringLiteral("Table3")}));
    EXPECT_EQ(d.tableNames(db(QStringLiteral("mdbtestdata/DateTestDatabase.mdb"))), QStringList{QStringLiteral("DateTest")});
}

TEST(AccessDriver, RowCountsMatchMdbtools)
{
    const struct {
        const char *file;
        const char *table;
        qint64 rows;
    } cases[] = {
        {"mdbtestdata/nwind.mdb", "Order Details", 2155}, {"mdbtestdata/nwind.mdb", "Orders", 830},
        {"mdbtestdata/nwind.mdb", "Products", 77},        {"mdbtestdata/nwind.mdb", "Customers", 91},
        {"mdbtestdata/nwind.mdb", "Umsätze", 830},         {"mdbtestdata/nwind.mdb", "Suppliers", 29},
        {"mdbtestdata/DateTestDatabase.mdb", "DateTest", 6}, {"jackcess/testV2000.mdb", "Table1", 2},
        {"jackcess/testV2000.mdb", "Table2", 0},           {"jackcess/indexTestV1997.mdb", "Table2", 3},
        {"jackcess/testUnicodeCompV2003.mdb", "Table", 8},  {"jackcess/fixedNumericTestV2000.mdb", "test", 1},
    };
    for (const auto &c : cases) {
        auto t = openTable(QString::fromUtf8(c.file), QString::fromUtf8(c.table));
        EXPECT_EQ(t->rowCount(), c.rows) << c.file << " " << c.table;
        EXPECT_EQ(t->isEmpty(), c.rows == 0);
    }
}

TEST(AccessDriver, TableNamesMatchWithoutRegardToCase)
{
    auto t = openTable(QStringLiteral("mdbtestdata/nwind.mdb"), QStringLiteral("UMSÄTZE"));
    EXPECT_EQ(t->tableName(), QStringLiteral("Umsätze"));
    EXPECT_EQ(t->rowCount(), 830);
}

TEST(AccessDriver, FieldTypesOfBothJetVersions)
{
    for (const char *file : {"jackcess/testV1997.mdb", "jackcess/testV2000.mdb"}) {
        SCOPED_TRACE(file);
        auto t = openTable(QString::fromUtf8(file), QStringLiteral("Table1"));
        const QVector<FieldDef> &f = t->fieldDefs();
        ASSERT_EQ(f.size(), 9);
        const TFieldType types[] = {ftString, ftString, ftSmallint, ftSmallint, ftInteger,
                                    ftFloat,  ftDateTime, ftCurrency, ftBoolean};
        for (int i = 0; i < 9; ++i) {
            EXPECT_EQ(f.at(i).name, QString(QChar('A' + i)));
            EXPECT_EQ(f.at(i).dataType, types[i]) << i;
            EXPECT_EQ(f.at(i).fieldNo, i + 1);
        }
        // Text(50) and Text(100) in characters, whatever the bytes on disk.
        EXPECT_EQ(f.at(0).size, 50);
        EXPECT_EQ(f.at(1).size, 100);
        EXPECT_EQ(f.at(0).nativeType, QStringLiteral("Text(50)"));
    }
    auto t2 = openTable(QStringLiteral("jackcess/testV1997.mdb"), QStringLiteral("Table2"));
    ASSERT_EQ(t2->fieldDefs().size(), 89);
    EXPECT_EQ(t2->fieldDefs().at(88).name, QStringLiteral("column89"));
}

TEST(AccessDriver, MemoAutoIncrementRequiredAndDecimalFields)
{
    auto dates = openTable(QStringLiteral("mdbtestdata/DateTestDatabase.mdb"), QStringLiteral("DateTest"));
    EXPECT_EQ(dates->fieldDefs().at(fieldIndex(*dates, QStringLiteral("LongTextCol"))).dataType, ftMemo);
    EXPECT_EQ(dates->fieldDefs().at(fieldIndex(*dates, QStringLiteral("ShortTextCol"))).size, 255);

    auto products = openTable(QStringLiteral("mdbtestdata/nwind.mdb"), QStringLiteral("Products"));
    EXPECT_EQ(products->fieldDefs().at(0).dataType, ftAutoInc);
    EXPECT_TRUE(products->fieldDefs().at(fieldIndex(*products, QStringLiteral("ProductName"))).required);
    EXPECT_FALSE(products->fieldDefs().at(fieldIndex(*products, QStringLiteral("QuantityPerUnit"))).required);

    auto numeric = openTable(QStringLiteral("jackcess/fixedNumericTestV2000.mdb"), QStringLiteral("test"));
    const FieldDef &col2 = numeric->fieldDefs().at(1);
    EXPECT_EQ(col2.dataType, ftBCD);
    EXPECT_EQ(col2.precision, 18);
    EXPECT_EQ(col2.scale, 0);
}

TEST(AccessDriver, Table1ValuesOfBothVersionsInFileOrder)
{
    // Jet 3 keeps the "a" row first, Jet 4 the "abcdefg" row.
    for (const char *file : {"jackcess/testV1997.mdb", "jackcess/testV2000.mdb"}) {
        SCOPED_TRACE(file);
        auto t = openTable(QString::fromUtf8(file), QStringLiteral("Table1"));
        ASSERT_EQ(t->rowCount(), 2);
        const bool jet3 = QString::fromUtf8(file).contains(QStringLiteral("1997"));
        const qint64 full = jet3 ? 1 : 0;
        const qint64 small = 1 - full;
        EXPECT_EQ(valueOf(*t, full, QStringLiteral("A")), QVariant(QStringLiteral("abcdefg")));
        EXPECT_EQ(valueOf(*t, full, QStringLiteral("B")), QVariant(QStringLiteral("hijklmnop")));
        EXPECT_EQ(valueOf(*t, full, QStringLiteral("C")), QVariant(qint64(2)));
        EXPECT_EQ(valueOf(*t, full, QStringLiteral("D")), QVariant(qint64(222)));
        EXPECT_EQ(valueOf(*t, full, QStringLiteral("E")), QVariant(qint64(333333333)));
        EXPECT_DOUBLE_EQ(valueOf(*t, full, QStringLiteral("F")).toDouble(), 444.555);
        EXPECT_EQ(valueOf(*t, full, QStringLiteral("G")), QVariant(QDateTime(QDate(1974, 9, 21), QTime(0, 0))));
        EXPECT_DOUBLE_EQ(valueOf(*t, full, QStringLiteral("H")).toDouble(), 3.5);
        EXPECT_EQ(valueOf(*t, full, QStringLiteral("I")), QVariant(true));

        EXPECT_EQ(valueOf(*t, small, QStringLiteral("A")), QVariant(QStringLiteral("a")));
        EXPECT_EQ(valueOf(*t, small, QStringLiteral("C")), QVariant(qint64(0)));
        EXPECT_EQ(valueOf(*t, small, QStringLiteral("G")), QVariant(QDateTime(QDate(1981, 12, 12), QTime(0, 0))));
        EXPECT_EQ(valueOf(*t, small, QStringLiteral("I")), QVariant(false));
        // The engine's German text of the values.
        EXPECT_EQ(t->text(t->rowAt(full), fieldIndex(*t, QStringLiteral("F"))), QStringLiteral("444,555"));
        EXPECT_EQ(t->text(t->rowAt(full), fieldIndex(*t, QStringLiteral("G"))), QStringLiteral("21.09.1974 00:00:00"));
        EXPECT_EQ(t->text(t->rowAt(full), fieldIndex(*t, QStringLiteral("H"))), QStringLiteral("3,50"));
    }
}

TEST(AccessDriver, GermanNorthwindTextAndNumbers)
{
    auto customers = openTable(QStringLiteral("mdbtestdata/nwind.mdb"), QStringLiteral("Customers"));
    EXPECT_EQ(valueOf(*customers, 0, QStringLiteral("CustomerID")), QVariant(QStringLiteral("ALFKI")));
    EXPECT_EQ(valueOf(*customers, 0, QStringLiteral("CompanyName")), QVariant(QStringLiteral("Alfreds Futterkiste")));
    EXPECT_EQ(valueOf(*customers, 0, QStringLiteral("Address")), QVariant(QStringLiteral("Obere Str. 57")));
    EXPECT_EQ(valueOf(*customers, 0, QStringLiteral("PostalCode")), QVariant(QStringLiteral("12209")));
    EXPECT_EQ(valueOf(*customers, 0, QStringLiteral("Country")), QVariant(QStringLiteral("Germany")));
    const qint64 frank = positionWhere(*customers, QStringLiteral("CustomerID"), QStringLiteral("FRANK"));
    EXPECT_EQ(valueOf(*customers, frank, QStringLiteral("City")), QVariant(QStringLiteral("München")));
    const qint64 koene = positionWhere(*customers, QStringLiteral("CustomerID"), QStringLiteral("KOENE"));
    EXPECT_EQ(valueOf(*customers, koene, QStringLiteral("CompanyName")), QVariant(QStringLiteral("Königlich Essen")));
    const qint64 bergs = positionWhere(*customers, QStringLiteral("CustomerID"), QStringLiteral("BERGS"));
    EXPECT_EQ(valueOf(*customers, bergs, QStringLiteral("CompanyName")), QVariant(QStringLiteral("Berglunds snabbköp")));
    EXPECT_EQ(valueOf(*customers, bergs, QStringLiteral("Address")), QVariant(QStringLiteral("Berguvsvägen  8")));
    EXPECT_EQ(valueOf(*customers, bergs, QStringLiteral("City")), QVariant(QStringLiteral("Luleå")));

    auto products = openTable(QStringLiteral("mdbtestdata/nwind.mdb"), QStringLiteral("Products"));
    const QStringList expected{QStringLiteral("1"), QStringLiteral("Chai"), QStringLiteral("1"), QStringLiteral("1"),
                               QStringLiteral("10 boxes x 20 bags"), QStringLiteral("18,00"), QStringLiteral("39"),
                               QStringLiteral("0"), QStringLiteral("10"), QStringLiteral("False")};
    QStringList first;
    for (int i = 0; i < products->fieldDefs().size(); ++i)
        first << products->text(products->rowAt(0), i);
    EXPECT_EQ(first, expected);

    auto sales = openTable(QStringLiteral("mdbtestdata/nwind.mdb"), QStringLiteral("Umsätze"));
    ASSERT_EQ(sales->fieldDefs().size(), 14);
    EXPECT_EQ(valueOf(*sales, 0, QStringLiteral("OrderID")), QVariant(qint64(10330)));
    EXPECT_EQ(valueOf(*sales, 0, QStringLiteral("CustomerID")), QVariant(QStringLiteral("LILAS")));
    EXPECT_EQ(valueOf(*sales, 0, QStringLiteral("EmployeeID")), QVariant(qint64(3)));
    EXPECT_EQ(valueOf(*sales, 0, QStringLiteral("OrderDate")).toDateTime().date(), QDate(1994, 11, 16));
    EXPECT_DOUBLE_EQ(valueOf(*sales, 0, QStringLiteral("Freight")).toDouble(), 12.75);
    EXPECT_EQ(valueOf(*sales, 0, QStringLiteral("ShipAddress")),
              QVariant(QStringLiteral("Carrera 52 con Ave. Bolívar #65-98 Llano Largo")));

    // Single fields read back as the decimal the user typed (0,05, not 0,0500000007).
    auto details = openTable(QStringLiteral("mdbtestdata/nwind.mdb"), QStringLiteral("Order Details"));
    const int discount = fieldIndex(*details, QStringLiteral("Discount"));
    bool sawFraction = false;
    for (qint64 p = 0; p < details->rowCount(); ++p) {
        const QString text = details->text(details->rowAt(p), discount);
        EXPECT_LE(text.size(), 4) << text.toStdString();
        sawFraction = sawFraction || text.startsWith(QStringLiteral("0,"));
    }
    EXPECT_TRUE(sawFraction);
}

TEST(AccessDriver, NullsAreInvalidVariants)
{
    // Customers without a region (ALFKI is in Berlin) and orders not yet shipped.
    auto customers = openTable(QStringLiteral("mdbtestdata/nwind.mdb"), QStringLiteral("Customers"));
    EXPECT_FALSE(valueOf(*customers, 0, QStringLiteral("Region")).isValid());
    EXPECT_EQ(customers->text(customers->rowAt(0), fieldIndex(*customers, QStringLiteral("Region"))), QString());
    auto orders = openTable(QStringLiteral("mdbtestdata/nwind.mdb"), QStringLiteral("Orders"));
    const int shipped = fieldIndex(*orders, QStringLiteral("ShippedDate"));
    int nulls = 0;
    for (qint64 p = 0; p < orders->rowCount(); ++p)
        nulls += orders->value(orders->rowAt(p), shipped).isValid() ? 0 : 1;
    EXPECT_GT(nulls, 0);
    EXPECT_LT(nulls, 830);
}

TEST(AccessDriver, DatesBefore1900AndMemoLineBreaks)
{
    auto t = openTable(QStringLiteral("mdbtestdata/DateTestDatabase.mdb"), QStringLiteral("DateTest"));
    const auto at = [&](int id, const char *field) {
        return valueOf(*t, positionWhere(*t, QStringLiteral("IDCol"), qint64(id)), QString::fromUtf8(field));
    };
    EXPECT_EQ(at(1, "ShortTextCol"), QVariant(QStringLiteral("Hello")));
    EXPECT_EQ(at(2, "ShortTextCol"), QVariant(QStringLiteral("Year 1999")));
    EXPECT_EQ(at(2, "LongTextCol"), QVariant(QStringLiteral("Year 9999")));
    EXPECT_EQ(at(3, "ShortTextCol"), QVariant(QStringLiteral("Pre-1900 years")));
    EXPECT_EQ(at(4, "ShortTextCol"), QVariant(QStringLiteral("Pre-1000 years")));
    EXPECT_EQ(at(5, "ShortTextCol"), QVariant(QStringLiteral("Escaped new line \\r\\n in field")));
    EXPECT_EQ(at(6, "LongTextCol"), QVariant(QStringLiteral("New line\r\nin field")));

    EXPECT_EQ(at(2, "DateTimeCol").toDateTime().date().year(), 9999);
    // -728 days from 30.12.1899, whole days only.
    EXPECT_EQ(at(3, "DateTimeCol"), QVariant(QDateTime(QDate(1899, 12, 30).addDays(-728), QTime(0, 0))));
    EXPECT_LT(at(3, "DateCol").toDateTime().date().year(), 1900);
    EXPECT_LT(at(4, "DateTimeCol").toDateTime().date().year(), 1000);
    EXPECT_GT(at(4, "DateTimeCol").toDateTime().date().year(), 99);
    // A time-only value is a date-time on Access's day zero.
    EXPECT_EQ(at(3, "TimeCol"), QVariant(QDateTime(QDate(1900, 1, 1), QTime(0, 0))));

    // Their text, made from the stored number (mdb-export: 12/02/21 00:00:00).
    const auto textAt = [&](int id, const char *field) {
        const qint64 p = positionWhere(*t, QStringLiteral("IDCol"), qint64(id));
        int f = 0;
        while (f < t->fieldDefs().size() && t->fieldDefs().at(f).name != QString::fromUtf8(field))
            ++f;
        return t->text(t->rowAt(p), f);
    };
    EXPECT_EQ(textAt(1, "DateTimeCol"), QStringLiteral("02.12.2021 00:00:00"));
    EXPECT_EQ(textAt(3, "DateTimeCol"), QStringLiteral("01.01.1898 00:00:00"));
    EXPECT_EQ(textAt(3, "TimeCol"), QStringLiteral("01.01.1900 00:00:00"));
    EXPECT_EQ(textAt(2, "DateTimeCol").right(14), QStringLiteral(".9999 00:00:00"));
}

TEST(AccessDriver, CompressedUnicodeText)
{
    auto t = openTable(QStringLiteral("jackcess/testUnicodeCompV2003.mdb"), QStringLiteral("Table"));
    EXPECT_EQ(t->fieldDefs().at(0).dataType, ftAutoInc);
    const auto text = [&](int id) {
        return valueOf(*t, positionWhere(*t, QStringLiteral("ID"), qint64(id)), QStringLiteral("Unicode")).toString();
    };
    EXPECT_EQ(text(1), QStringLiteral("only ascii chars"));
    EXPECT_EQ(text(2), QStringLiteral("ääkkösiä"));
    EXPECT_EQ(text(3), QStringLiteral("Мир"));
    // The file keeps Greek with oxia accents (U+1F79); they are canonically the tonos forms.
    EXPECT_EQ(text(4).normalized(QString::NormalizationForm_C), QStringLiteral("ϰαὶ τότ' ἐγὼ Κύϰλωπα"));
    EXPECT_TRUE(text(4).contains(QChar(0x1f79)));
    EXPECT_EQ(text(5), QStringLiteral("漢字仮名交じり文"));
    // Control characters stored in the text come through as they are.
    EXPECT_EQ(text(6), QStringLiteral("3L9\u001D52\u0002_AB(¥\u0005!!V"));
    EXPECT_EQ(text(7), QStringLiteral("ümlaut"));
    const QString all = text(8);
    EXPECT_TRUE(all.contains(QLatin1Char('\t')));
    EXPECT_TRUE(all.contains(QLatin1Char('\n')));
    for (char16_t c = 0xa1; c <= 0xff; ++c)
        EXPECT_TRUE(all.contains(QChar(c))) << int(c);
}

TEST(AccessDriver, DeletedRowsAreHidden)
{
    for (const char *file : {"jackcess/delTestV1997.mdb", "jackcess/delTestV2000.mdb"}) {
        SCOPED_TRACE(file);
        auto t = openTable(QString::fromUtf8(file), QStringLiteral("Table"));
        ASSERT_EQ(t->rowCount(), 2);
        QSet<QString> rows;
        for (qint64 p = 0; p < 2; ++p)
            rows << valueOf(*t, p, QStringLiteral("a")).toString() + valueOf(*t, p, QStringLiteral("b")).toString();
        EXPECT_EQ(rows, (QSet<QString>{QStringLiteral("zy"), QStringLiteral("vu")}));
    }
}

TEST(AccessDriver, FixedPointDecimals)
{
    auto t = openTable(QStringLiteral("jackcess/fixedNumericTestV2000.mdb"), QStringLiteral("test"));
    EXPECT_EQ(valueOf(*t, 0, QStringLiteral("col1")), QVariant(QStringLiteral("some data")));
    const double expected[] = {1, 0, 0, 4, -1, 1};
    for (int i = 0; i < 6; ++i) {
        const QVariant v = valueOf(*t, 0, QStringLiteral("col%1").arg(i + 2));
        EXPECT_EQ(v.typeId(), QMetaType::Double) << i;
        EXPECT_DOUBLE_EQ(v.toDouble(), expected[i]) << i;
    }
}

TEST(AccessDriver, IndexesWithPrimaryAndUniqueKeys)
{
    auto details = openTable(QStringLiteral("mdbtestdata/nwind.mdb"), QStringLiteral("Order Details"));
    QMap<QString, IndexDef> byName;
    for (const IndexDef &ix : details->indexDefs())
        byName.insert(ix.name, ix);
    // The halves of relationships are no indexes of their own.
    EXPECT_EQ(byName.keys(), (QStringList{QStringLiteral("OrderID"), QStringLiteral("PrimaryKey"), QStringLiteral("ProductID")}));
    EXPECT_EQ(byName.value(QStringLiteral("PrimaryKey")).fields, QStringLiteral("OrderID;ProductID"));
    EXPECT_EQ(byName.value(QStringLiteral("PrimaryKey")).options, ixPrimary | ixUnique);
    EXPECT_EQ(byName.value(QStringLiteral("ProductID")).fields, QStringLiteral("ProductID"));
    EXPECT_EQ(byName.value(QStringLiteral("ProductID")).options, 0);

    auto unicode = openTable(QStringLiteral("jackcess/testUnicodeCompV2003.mdb"), QStringLiteral("Table"));
    ASSERT_EQ(unicode->indexDefs().size(), 2);
    EXPECT_EQ(unicode->indexDefs().at(1).name, QStringLiteral("Unicode"));
    EXPECT_EQ(unicode->indexDefs().at(1).fields, QStringLiteral("Unicode"));
}

TEST(AccessDriver, ReadOnlyWithGermanReason)
{
    auto t = openTable(QStringLiteral("jackcess/testV2000.mdb"), QStringLiteral("Table1"));
    EXPECT_TRUE(t->readOnlyReason().contains(QStringLiteral("nur gelesen")));
    EXPECT_TRUE(t->readOnlyReason().contains(QStringLiteral("testV2000.mdb")));
    const QVector<QVariant> values(t->fieldDefs().size());
    try {
        t->append(values);
        FAIL() << "append succeeded";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.message(), t->readOnlyReason());
    }
    EXPECT_THROW(t->update(0, values, values), EngineError);
    EXPECT_THROW(t->remove(0), EngineError);
    EXPECT_EQ(t->rowCount(), 2);
    EXPECT_EQ(t->fileName(), db(QStringLiteral("jackcess/testV2000.mdb")));
    EXPECT_FALSE(t->facts().isEmpty());
    EXPECT_EQ(t->facts().at(0).second, QStringLiteral("Jet 4 (Access 2000–2003)"));
}

TEST(AccessDriver, AccdbFileReadsAsMdbtoolsReadsIt)
{
    AccessDriver d;
    const QString file = db(QStringLiteral("mdbtestdata/ASampleDatabase.accdb"));
    EXPECT_EQ(d.tableNames(file), QStringList{QStringLiteral("Asset Items")});
    auto t = d.open(file, QStringLiteral("Asset Items"), OpenOptions{});
    ASSERT_EQ(t->rowCount(), 65);
    EXPECT_EQ(valueOf(*t, 0, QStringLiteral("Asset No")), QVariant(QStringLiteral("30050")));
    EXPECT_EQ(valueOf(*t, 0, QStringLiteral("Asset Category")), QVariant(QStringLiteral("Computer Hardware")));
    EXPECT_EQ(valueOf(*t, 0, QStringLiteral("Make")), QVariant(QStringLiteral("GEO Rocket")));
    QSet<QString> numbers;
    for (qint64 p = 0; p < t->rowCount(); ++p)
        numbers << valueOf(*t, p, QStringLiteral("Asset No")).toString();
    EXPECT_EQ(numbers.size(), 65);
}

TEST(AccessDriver, MissingTablesAndFilesAreNamed)
{
    AccessDriver d;
    const QString file = db(QStringLiteral("jackcess/testV2000.mdb"));
    try {
        d.open(file, QStringLiteral("Kunden"), OpenOptions{});
        FAIL() << "opened a missing table";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("Kunden")));
        EXPECT_TRUE(e.message().contains(QStringLiteral("testV2000.mdb")));
    }
    EXPECT_THROW(d.open(file, QString(), OpenOptions{}), EngineError);
    EXPECT_THROW(d.tableNames(db(QStringLiteral("gibt-es-nicht.mdb"))), EngineError);
    EXPECT_THROW(d.tableNames(db(QStringLiteral("jackcess"))), EngineError);
    // A table of another kind is no Access database.
    EXPECT_THROW(d.tableNames(fixture(QStringLiteral("dbase/dbfread/people.dbf"))), EngineError);
}

// The trial's findings are kept while a file stays as it was; a file put in
// its place is tried and read anew. Row counts as mdb-export lists them.
TEST(AccessDriver, AFileReplacedAfterItsTrialIsReadAnew)
{
    testsupport::ScratchDir dir;
    const QString path = dir.file(QStringLiteral("wechsel.mdb"));
    ASSERT_TRUE(QFile::copy(db(QStringLiteral("jackcess/testV1997.mdb")), path));
    // Findings are kept only for a file left alone for two seconds.
    QThread::msleep(2200);
    AccessDriver d;
    // Listed first, as the descriptor does: the opening then takes the listed database.
    EXPECT_EQ(d.tableNames(path), (QStringList{QStringLiteral("Table1"), QStringLiteral("Table2"), QStringLiteral("Table3"), QStringLiteral("Table4")}));
    EXPECT_EQ(d.open(path, QStringLiteral("Table1"), OpenOptions{true, false})->rowCount(), 2);
    EXPECT_EQ(d.open(path, QStringLiteral("Table1"), OpenOptions{true, false})->rowCount(), 2);
    EXPECT_EQ(d.tableNames(path).size(), 4);
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::copy(db(QStringLiteral("jackcess/indexTestV1997.mdb")), path));
    EXPECT_EQ(d.tableNames(path), (QStringList{QStringLiteral("Table1"), QStringLiteral("Table2"), QStringLiteral("Table3")}));
    auto t = d.open(path, QStringLiteral("Table1"), OpenOptions{true, false});
    EXPECT_EQ(t->rowCount(), 4);
    for (qint64 p = 0; p < t->rowCount(); ++p)
        EXPECT_NO_THROW(t->value(t->rowAt(p), 0));
    // And the same file left alone again is still read right from its kept findings.
    QThread::msleep(2200);
    EXPECT_EQ(d.open(path, QStringLiteral("Table1"), OpenOptions{true, false})->rowCount(), 4);
    EXPECT_EQ(d.open(path, QStringLiteral("Table1"), OpenOptions{true, false})->rowCount(), 4);
}

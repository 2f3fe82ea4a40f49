// Reading the real Paradox 3 to 7 tables under fixtures/paradox: header facts,
// every field type, NULLs, blobs in the leader and in the .MB file, code pages,
// index definitions and orders.
#include "EngineError.h"
#include "TestSupport.h"
#include "drivers/paradox/ParadoxDriver.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::fixture;

namespace {

// Fixtures are shared by every test run: opened read-only, so a test that
// appends by mistake (root ignores the files' modes) cannot change them.
std::unique_ptr<TableSource> openFixture(const QString &relative, OpenOptions options = {.readOnly = true, .exclusive = false})
{
    const QFileInfo info(fixture(QStringLiteral("paradox/") + relative));
    ParadoxDriver driver;
    return driver.open(info.path(), info.fileName(), options);
}

QString fact(const TableSource &t, const QString &name)
{
    for (const auto &f : t.facts()) {
        if (f.first == name)
            return f.second;
    }
    return QStringLiteral("<fehlt>");
}

int fieldIndex(const TableSource &t, const QString &name)
{
    const auto &defs = t.fieldDefs();
    for (int i = 0; i < defs.size(); ++i) {
        if (defs.at(i).name == name)
            return i;
    }
    ADD_FAILURE() << "no field " << name.toStdString();
    return 0;
}

QVariant val(TableSource &t, qint64 position, const QString &field)
{
    return t.value(t.rowAt(position), fieldIndex(t, field));
}

QVariant val(TableSource &t, qint64 position, int field)
{
    return t.value(t.rowAt(position), field);
}

struct HeaderCase {
    const char *file;
    const char *version;
    qint64 records;
    int fields;
    int headerCodePage;
    int codePage; // the one text is decoded with
};

void PrintTo(const HeaderCase &c, std::ostream *os)
{
    *os << c.file;
}

class ParadoxHeaders : public ::testing::TestWithParam<HeaderCase> {};

} // namespace

TEST_P(ParadoxHeaders, VersionCountsAndCodePage)
{
    const HeaderCase c = GetParam();
    auto t = openFixture(QString::fromLatin1(c.file));
    EXPECT_EQ(fact(*t, QStringLiteral("Version")), QString::fromLatin1(c.version));
    EXPECT_EQ(t->rowCount(), c.records);
    EXPECT_EQ(fact(*t, QStringLiteral("Sätze im Dateikopf")), QString::number(c.records));
    EXPECT_EQ(t->fieldDefs().size(), c.fields);
    EXPECT_EQ(fact(*t, QStringLiteral("Codepage im Dateikopf")), QString::number(c.headerCodePage));
    ASSERT_EQ(t->connectionProperties().size(), 1);
    EXPECT_EQ(t->connectionProperties().at(0).second.toInt(), c.codePage);
    // Every value of every row decodes.
    for (qint64 r = 0; r < t->rowCount(); ++r) {
        const RowId row = t->rowAt(r);
        EXPECT_EQ(t->positionOf(row), r);
        for (int f = 0; f < t->fieldDefs().size(); ++f)
            t->value(row, f);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, ParadoxHeaders,
    ::testing::Values(HeaderCase{"mtdemo/FILMS.DB", "Paradox 3.0", 36, 9, 0, 437},
                      HeaderCase{"mtdemo/CUSTOMER.DB", "Paradox 3.0", 28, 12, 0, 437},
                      HeaderCase{"db/AREACODE.DB", "Paradox 4.x", 135, 4, 437, 437},
                      HeaderCase{"db/ROMAN8.db", "Paradox 4.x", 1, 1, 0, 1051},
                      HeaderCase{"fields/date4.db", "Paradox 4.x", 3, 1, 850, 850},
                      HeaderCase{"db/GENERAL.DB", "Paradox 5.x", 3, 3, 936, 936},
                      HeaderCase{"fields/memo.db", "Paradox 5.x", 2, 2, 850, 850},
                      HeaderCase{"fields/fmemo.db", "Paradox 5.x", 2, 2, 850, 850},
                      HeaderCase{"fields/graphic240.db", "Paradox 5.x", 1, 2, 850, 850},
                      HeaderCase{"fields/bcd.db", "Paradox 5.x", 3, 3, 850, 850},
                      HeaderCase{"fields/time.db", "Paradox 5.x", 3, 1, 1252, 1252},
                      HeaderCase{"fields/timestamp.db", "Paradox 5.x", 2, 1, 850, 850},
                      HeaderCase{"fields/logical.db", "Paradox 5.x", 4, 1, 1252, 1252},
                      HeaderCase{"fields/long.db", "Paradox 5.x", 3, 2, 850, 850},
                      HeaderCase{"db/CUSTOMER.DB", "Paradox 7.x", 20, 10, 1252, 1252},
                      HeaderCase{"db/ORDERS.DB", "Paradox 7.x", 224, 11, 437, 437},
                      HeaderCase{"db/HERCULES.DB", "Paradox 7.x", 20, 2, 1252, 1252},
                      HeaderCase{"geog/tblsttes.DB", "Paradox 7.x", 58, 13, 437, 437}));

TEST(ParadoxRead, DriverKindsAndTableNames)
{
    ParadoxDriver driver;
    EXPECT_TRUE(driver.handles(QStringLiteral("Paradox 3.x")));
    EXPECT_TRUE(driver.handles(QStringLiteral("paradox 4.X")));
    EXPECT_TRUE(driver.handles(QStringLiteral("Paradox 5.x;")));
    EXPECT_FALSE(driver.handles(QStringLiteral("Paradox 7.x")));
    EXPECT_FALSE(driver.handles(QStringLiteral("dBASE IV")));
    EXPECT_TRUE(driver.dataSourceIsDirectory());
    EXPECT_TRUE(driver.canCreate());
    EXPECT_EQ(driver.tableNames(fixture(QStringLiteral("paradox/db"))),
              (QStringList{QStringLiteral("AREACODE"), QStringLiteral("CUSTOMER"), QStringLiteral("GENERAL"),
                           QStringLiteral("HERCULES"), QStringLiteral("ORDERS"), QStringLiteral("ROMAN8")}));
    // "NAME", "NAME.DB" and any case find the same file.
    const QString dir = fixture(QStringLiteral("paradox/db"));
    for (const char *name : {"ORDERS", "ORDERS.DB", "orders", "Orders.db"})
        EXPECT_EQ(driver.open(dir, QString::fromLatin1(name), {})->rowCount(), 224) << name;
    EXPECT_THROW(driver.open(dir, QStringLiteral("NOSUCH"), {}), EngineError);
    EXPECT_THROW(driver.tableNames(dir + QStringLiteral("/nosuchdir")), EngineError);
}

TEST(ParadoxRead, FilmsParadox3)
{
    auto t = openFixture(QStringLiteral("mtdemo/FILMS.DB"));
    QStringList names;
    QStringList types;
    for (const FieldDef &d : t->fieldDefs()) {
        names << d.name;
        types << d.nativeType;
    }
    EXPECT_EQ(names.join(QLatin1Char('|')),
              QStringLiteral("Film #|Film Title|# in Stock|Actors|Category|Year|Rating|Rental Fee|# of Copies"));
    EXPECT_EQ(types.join(QLatin1Char('|')), QStringLiteral("A5|A30|S|A20|A9|N|A2|$|S"));
    EXPECT_EQ(t->fieldDefs().at(2).dataType, ftSmallint);
    EXPECT_EQ(t->fieldDefs().at(5).dataType, ftFloat);
    EXPECT_EQ(t->fieldDefs().at(7).dataType, ftCurrency);
    EXPECT_EQ(t->recordSize(), 86u);
    EXPECT_EQ(fact(*t, QStringLiteral("Kopflänge")), QStringLiteral("305 Bytes"));

    EXPECT_EQ(val(*t, 0, 0), QVariant(QStringLiteral("A1001")));
    EXPECT_EQ(val(*t, 0, 1), QVariant(QStringLiteral("It Happened One Night")));
    EXPECT_EQ(val(*t, 0, 2), QVariant(qint64(15)));
    EXPECT_EQ(val(*t, 0, 3), QVariant(QStringLiteral("C.Gable,C.Colbert")));
    EXPECT_EQ(val(*t, 0, 4), QVariant(QStringLiteral("Classics")));
    EXPECT_EQ(val(*t, 0, 5), QVariant(1934.0));
    EXPECT_EQ(val(*t, 0, 6), QVariant(QStringLiteral("G")));
    EXPECT_EQ(val(*t, 0, 7), QVariant(2.0));
    EXPECT_EQ(val(*t, 0, 8), QVariant(qint64(20)));
    EXPECT_EQ(val(*t, 12, 1), QVariant(QStringLiteral("How To Cook Fish & Eggs")));
    EXPECT_FALSE(val(*t, 12, 5).isValid()); // Year NULL
    EXPECT_EQ(val(*t, 35, 0), QVariant(QStringLiteral("C1211")));
    EXPECT_EQ(val(*t, 35, 1), QVariant(QStringLiteral("Taxi Driver")));
    EXPECT_EQ(val(*t, 35, 7), QVariant(2.5));
    EXPECT_EQ(t->text(t->rowAt(35), 7), QStringLiteral("2,50"));
}

TEST(ParadoxRead, CustomerParadox3Notes)
{
    auto t = openFixture(QStringLiteral("mtdemo/CUSTOMER.DB"));
    EXPECT_EQ(val(*t, 0, 0), QVariant(QStringLiteral("1015")));
    EXPECT_EQ(val(*t, 0, 1), QVariant(QStringLiteral("Elkins")));
    EXPECT_EQ(val(*t, 0, 2), QVariant(QStringLiteral("Eugene")));
    EXPECT_EQ(val(*t, 0, QStringLiteral("Open Balance")).toDouble(), 0.0);
    EXPECT_EQ(t->fieldDefs().at(fieldIndex(*t, QStringLiteral("Notes"))).nativeType, QStringLiteral("A240"));
    EXPECT_FALSE(val(*t, 0, QStringLiteral("Notes")).isValid());
    EXPECT_TRUE(val(*t, 1, QStringLiteral("Notes")).toString().startsWith(QStringLiteral("A lover of classic silent films")));
}

TEST(ParadoxRead, AreaCodesAndOrders)
{
    auto a = openFixture(QStringLiteral("db/AREACODE.DB"));
    QStringList names;
    for (const FieldDef &d : a->fieldDefs())
        names << d.name + QLatin1Char(' ') + d.nativeType;
    EXPECT_EQ(names.join(QLatin1Char('|')), QStringLiteral("Area Code A3|Country A30|Full State A21|State A2"));
    EXPECT_EQ(val(*a, 0, 0), QVariant(QStringLiteral("201")));
    EXPECT_EQ(val(*a, 0, 1), QVariant(QStringLiteral("United States")));
    EXPECT_EQ(val(*a, 0, 2), QVariant(QStringLiteral("New Jersey")));
    EXPECT_EQ(val(*a, 0, 3), QVariant(QStringLiteral("NJ")));

    auto o = openFixture(QStringLiteral("db/ORDERS.DB"));
    EXPECT_EQ(val(*o, 0, QStringLiteral("Order No")).toDouble(), 1001.0);
    EXPECT_EQ(val(*o, 0, QStringLiteral("Customer No")).toDouble(), 1221.0);
    EXPECT_EQ(val(*o, 0, QStringLiteral("Sale Date")), QVariant(QDate(1988, 4, 3)));
    EXPECT_EQ(val(*o, 0, QStringLiteral("Ship Date")), QVariant(QDate(1988, 4, 5)));
    EXPECT_EQ(val(*o, 0, QStringLiteral("Ship VIA")), QVariant(QStringLiteral("UPS")));
    EXPECT_EQ(val(*o, 0, QStringLiteral("Total Invoice")), QVariant(7320.0));
    EXPECT_EQ(val(*o, 0, QStringLiteral("Amount Paid")), QVariant(7320.0));
    EXPECT_EQ(val(*o, 0, QStringLiteral("Balance Due")), QVariant(0.0));
    EXPECT_EQ(val(*o, 0, QStringLiteral("Terms")), QVariant(QStringLiteral("FOB")));
    EXPECT_EQ(val(*o, 0, QStringLiteral("Payment Method")), QVariant(QStringLiteral("Credit")));
    EXPECT_EQ(val(*o, 0, QStringLiteral("Month")), QVariant(QStringLiteral("Apr")));
    EXPECT_EQ(o->text(o->rowAt(0), fieldIndex(*o, QStringLiteral("Sale Date"))), QStringLiteral("03.04.1988"));
}

TEST(ParadoxRead, Customer7WithMemoAutoIncAndIndexes)
{
    auto t = openFixture(QStringLiteral("db/CUSTOMER.DB"));
    QStringList names;
    for (const FieldDef &d : t->fieldDefs())
        names << d.name + QLatin1Char(' ') + d.nativeType;
    EXPECT_EQ(names.join(QLatin1Char('|')),
              QStringLiteral("CustNo +|FirstName A51|LastName A50|EMail A100|Street A30|City A15|State/Prov A20|"
                             "Zip/Postal Code A10|Comments M100|DateEntered D"));
    EXPECT_EQ(t->fieldDefs().at(0).dataType, ftAutoInc);
    EXPECT_EQ(t->fieldDefs().at(8).dataType, ftMemo);
    EXPECT_EQ(t->fieldDefs().at(8).size, 110);
    EXPECT_EQ(fact(*t, QStringLiteral("Autoinkrement")), QStringLiteral("44"));
    EXPECT_EQ(fact(*t, QStringLiteral("Blockgröße")), QStringLiteral("2048 Bytes"));
    EXPECT_EQ(val(*t, 0, 0), QVariant(qint64(1)));
    EXPECT_EQ(val(*t, 0, 1), QVariant(QStringLiteral("Luke")));
    EXPECT_EQ(val(*t, 0, 2), QVariant(QStringLiteral("Justice")));
    EXPECT_EQ(val(*t, 0, 3), QVariant(QStringLiteral("luke@fun.com")));
    EXPECT_EQ(val(*t, 0, 8), QVariant(QStringLiteral("Small comment (less 100 symbols)")));
    EXPECT_EQ(val(*t, 0, 9), QVariant(QDate(1996, 2, 2)));

    const QVector<IndexDef> defs = t->indexDefs();
    ASSERT_EQ(defs.size(), 2);
    EXPECT_EQ(defs.at(0).fields, QStringLiteral("CustNo"));
    EXPECT_EQ(defs.at(0).options, ixPrimary | ixUnique);
    EXPECT_EQ(defs.at(0).source, QStringLiteral("CUSTOMER.PX"));
    EXPECT_EQ(defs.at(1).name, QStringLiteral("City"));
    EXPECT_EQ(defs.at(1).fields, QStringLiteral("City"));
    EXPECT_EQ(defs.at(1).options, 0);
    EXPECT_EQ(defs.at(1).source, QStringLiteral("CUSTOMER.X06"));

    // The primary order is the key's order; the secondary one orders by City,
    // equal cities by the key.
    const QVector<RowId> primary = t->indexOrder(defs.at(0).name);
    ASSERT_EQ(primary.size(), 20);
    for (int i = 1; i < primary.size(); ++i)
        EXPECT_LT(t->value(primary.at(i - 1), 0).toLongLong(), t->value(primary.at(i), 0).toLongLong());
    const QVector<RowId> byCity = t->indexOrder(QStringLiteral("city"));
    ASSERT_EQ(byCity.size(), 20);
    for (int i = 1; i < byCity.size(); ++i) {
        const QString a = t->value(byCity.at(i - 1), 5).toString(), b = t->value(byCity.at(i), 5).toString();
        EXPECT_LE(a, b);
        if (a == b) {
            EXPECT_LT(t->value(byCity.at(i - 1), 0).toLongLong(), t->value(byCity.at(i), 0).toLongLong());
        }
    }
    EXPECT_THROW(t->indexOrder(QStringLiteral("Zip")), EngineError);
    // Opened read-only, it refuses a change and leaves the shared fixture alone.
    EXPECT_THROW(t->append(QVector<QVariant>(10)), EngineError);
}

TEST(ParadoxRead, PrimaryKeysOfOlderTables)
{
    auto films = openFixture(QStringLiteral("mtdemo/FILMS.DB"));
    ASSERT_EQ(films->indexDefs().size(), 1);
    EXPECT_EQ(films->indexDefs().at(0).fields, QStringLiteral("Film #"));
    EXPECT_EQ(films->indexDefs().at(0).source, QStringLiteral("FILMS.PX"));
    const QVector<RowId> order = films->indexOrder(films->indexDefs().at(0).name);
    ASSERT_EQ(order.size(), 36);
    for (int i = 1; i < order.size(); ++i)
        EXPECT_LT(films->value(order.at(i - 1), 0).toString(), films->value(order.at(i), 0).toString());
    auto memo = openFixture(QStringLiteral("fields/memo.db"));
    ASSERT_EQ(memo->indexDefs().size(), 1);
    EXPECT_EQ(memo->indexDefs().at(0).source, QStringLiteral("memo.px"));
    EXPECT_TRUE(openFixture(QStringLiteral("fields/bcd.db"))->indexDefs().isEmpty());
    EXPECT_TRUE(openFixture(QStringLiteral("fields/bcd.db"), {})->readOnlyReason().isEmpty());
}

TEST(ParadoxRead, MemosFromLeaderAndBlobFile)
{
    auto t = openFixture(QStringLiteral("fields/memo.db"));
    EXPECT_EQ(t->fieldDefs().at(1).dataType, ftMemo);
    EXPECT_EQ(val(*t, 0, 0), QVariant(qint64(1)));
    const QString first = val(*t, 0, 1).toString();
    EXPECT_EQ(first.size(), 555);
    EXPECT_TRUE(first.startsWith(QStringLiteral("01234567890012345678900")));
    EXPECT_EQ(val(*t, 1, 1), QVariant(QStringLiteral("01234567890\n")));

    auto f = openFixture(QStringLiteral("fields/fmemo.db"));
    EXPECT_EQ(f->fieldDefs().at(1).dataType, ftFmtMemo);
    EXPECT_EQ(val(*f, 0, 1).toString().size(), 169);
    EXPECT_EQ(val(*f, 1, 1).toString().size(), 726);

    auto h = openFixture(QStringLiteral("db/HERCULES.DB"));
    EXPECT_EQ(val(*h, 0, 0), QVariant(QStringLiteral("CUSTTF_HEADER")));
    EXPECT_TRUE(val(*h, 0, 1).toString().startsWith(QStringLiteral("<TABLE BORDER=2>\n<TR><TH>Name</TH>")));
    // Memos that overflow their leader come whole from the blob file.
    int fromBlobFile = 0;
    for (qint64 r = 0; r < h->rowCount(); ++r) {
        const QString text = val(*h, r, 1).toString();
        if (text.size() > 100) {
            ++fromBlobFile;
            EXPECT_FALSE(text.contains(QChar(0))) << r;
        }
    }
    EXPECT_GT(fromBlobFile, 0);

    auto g = openFixture(QStringLiteral("fields/graphic240.db"));
    EXPECT_EQ(g->fieldDefs().at(1).dataType, ftGraphic);
    const QByteArray picture = val(*g, 0, 1).toByteArray();
    EXPECT_EQ(picture.size(), 20078);
    EXPECT_TRUE(picture.startsWith("BM"));
}

TEST(ParadoxRead, NumbersDatesTimesAndNulls)
{
    auto bcd = openFixture(QStringLiteral("fields/bcd.db"));
    EXPECT_EQ(bcd->fieldDefs().at(0).dataType, ftBCD);
    EXPECT_EQ(bcd->fieldDefs().at(0).scale, 2);
    const double expected[3][3] = {{1.23, 1, 0.123}, {-1.23, -1, -0.123}, {0.0, 0, 0.9999}};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            if (r == 2 && c == 1) {
                EXPECT_FALSE(val(*bcd, r, c).isValid());
                continue;
            }
            EXPECT_NEAR(val(*bcd, r, c).toDouble(), expected[r][c], 1e-12) << r << "," << c;
        }
    }

    auto lng = openFixture(QStringLiteral("fields/long.db"));
    EXPECT_EQ(lng->fieldDefs().at(1).dataType, ftInteger);
    EXPECT_EQ(val(*lng, 0, 1), QVariant(qint64(1)));
    EXPECT_EQ(val(*lng, 1, 1), QVariant(qint64(2)));
    EXPECT_FALSE(val(*lng, 2, 1).isValid());
    EXPECT_EQ(val(*lng, 2, 0), QVariant(qint64(3)));

    auto ts = openFixture(QStringLiteral("fields/timestamp.db"));
    EXPECT_FALSE(val(*ts, 0, 0).isValid());
    EXPECT_EQ(val(*ts, 1, 0), QVariant(QDateTime(QDate(2020, 2, 1), QTime(1, 0, 1))));

    auto tm = openFixture(QStringLiteral("fields/time.db"));
    EXPECT_EQ(tm->fieldDefs().at(0).dataType, ftTime);
    EXPECT_EQ(val(*tm, 0, 0), QVariant(QTime(1, 0, 1)));
    EXPECT_FALSE(val(*tm, 1, 0).isValid());
    EXPECT_EQ(val(*tm, 2, 0), QVariant(QTime(3, 0, 3)));

    auto lg = openFixture(QStringLiteral("fields/logical.db"));
    EXPECT_EQ(lg->fieldDefs().at(0).dataType, ftBoolean);
    EXPECT_EQ(val(*lg, 0, 0), QVariant(true));
    EXPECT_EQ(val(*lg, 1, 0), QVariant(false));
    EXPECT_EQ(val(*lg, 2, 0), QVariant(true));
    EXPECT_EQ(val(*lg, 3, 0), QVariant(true));

    auto d4 = openFixture(QStringLiteral("fields/date4.db"));
    EXPECT_EQ(val(*d4, 0, 0), QVariant(QDate(2018, 1, 1)));
    EXPECT_EQ(val(*d4, 1, 0), QVariant(QDate(2018, 2, 1)));
    EXPECT_EQ(val(*d4, 2, 0), QVariant(QDate(2018, 1, 2)));

    auto gen = openFixture(QStringLiteral("db/GENERAL.DB"));
    const qint64 ids[] = {1, 2, 333333333};
    const char *names[] = {"Mari", "Katty", "Elizabet"};
    const double money[] = {100, 150, 75};
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(val(*gen, r, 0), QVariant(ids[r]));
        EXPECT_EQ(val(*gen, r, 1), QVariant(QString::fromLatin1(names[r])));
        EXPECT_EQ(val(*gen, r, 2), QVariant(money[r]));
    }

    auto geo = openFixture(QStringLiteral("geog/tblsttes.DB"));
    const QVector<QVariant> row1 = {QStringLiteral("AK"), QVariant(), QStringLiteral("Alaska"), QStringLiteral("Juneau"),
                                    QStringLiteral("1784"), QDate(1959, 1, 3), 49, QVariant(), 3810, 570374,
                                    86050, 656424, 1};
    for (int f = 0; f < row1.size(); ++f) {
        const QVariant v = val(*geo, 0, f);
        if (!row1.at(f).isValid())
            EXPECT_FALSE(v.isValid()) << f;
        else if (row1.at(f).typeId() == QMetaType::Int)
            EXPECT_EQ(v.toDouble(), row1.at(f).toDouble()) << f;
        else
            EXPECT_EQ(v, row1.at(f)) << f;
    }
}

TEST(ParadoxRead, CodePagesDecodeText)
{
    auto roman = openFixture(QStringLiteral("db/ROMAN8.db"));
    EXPECT_EQ(val(*roman, 0, 0), QVariant(QStringLiteral("Š½ƒ¶")));
    EXPECT_EQ(fact(*roman, QStringLiteral("Sortierfolge")), QStringLiteral("BLROM800"));
}

TEST(ParadoxRead, EncryptedTableIsRefusedClearly)
{
    try {
        openFixture(QStringLiteral("encrypt/encrypted.db"));
        FAIL() << "opened an encrypted table";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("verschlüsselt"))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("encrypted.db")));
    }
}

TEST(ParadoxRead, IndexFilesAreNotTables)
{
    const QString dir = fixture(QStringLiteral("paradox/db"));
    ParadoxDriver driver;
    EXPECT_THROW(driver.open(dir, QStringLiteral("CUSTOMER.X06"), {}), EngineError);
    EXPECT_THROW(driver.open(dir, QStringLiteral("CUSTOMER.MB"), {}), EngineError);
}

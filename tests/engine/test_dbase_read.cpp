// Reading real dBASE, Clipper and FoxPro tables: values, nulls, deleted
// records, memos, code pages and header facts against the known contents of
// the fixture files.
#include "Driver.h"
#include "EngineError.h"
#include "TestSupport.h"
#include "Tables.h"
#include "drivers/dbase/DbaseDriver.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace engine;
using testsupport::fieldIndex;
using testsupport::openDbf;
using testsupport::fixture;
using testsupport::ScratchDir;

namespace {

DbaseDriver &driver()
{
    static DbaseDriver d;
    return d;
}

std::unique_ptr<TableSource> openFixture(const QString &relative)
{
    return openDbf(fixture(relative), true);
}

// The value of a field in the row at a visible position.
QVariant at(TableSource &t, qint64 position, const QString &field)
{
    return t.value(t.rowAt(position), fieldIndex(t, field));
}

QString textAt(TableSource &t, qint64 position, const QString &field)
{
    return t.text(t.rowAt(position), fieldIndex(t, field));
}

QString fact(TableSource &t, const QString &name)
{
    for (const auto &f : t.facts()) {
        if (f.first == name)
            return f.second;
    }
    return QStringLiteral("<none>");
}

bool isNull(const QVariant &v)
{
    return !v.isValid();
}

} // namespace

TEST(DbaseRead, DriverAnswersForTheDbaseAndFoxProKinds)
{
    for (const char *kind : {"dBASE III", "dBASE IV", "dBASE 5.0", "FoxPro 2.0", "FoxPro 2.5", "FoxPro 2.6",
                             "FoxPro 3.0", "dbase iv", "DBASE 5.0", "dBASE IV;"})
        EXPECT_TRUE(driver().handles(QString::fromLatin1(kind))) << kind;
    for (const char *kind : {"Paradox 5.x", "Excel 8.0", "Text", "dBASE", "", "FoxPro"})
        EXPECT_FALSE(driver().handles(QString::fromLatin1(kind))) << kind;
    EXPECT_TRUE(driver().dataSourceIsDirectory());
    EXPECT_EQ(driver().kindName(), QStringLiteral("dBASE"));
    EXPECT_EQ(driverFor(QStringLiteral("FoxPro 2.6")), allDrivers().value(0));
}

TEST(DbaseRead, TableNamesAreTheDbfFilesWithoutExtensionSortedIgnoringCase)
{
    ScratchDir dir;
    for (const char *name : {"zeta.dbf", "Alpha.DBF", "beta.Dbf", "notes.txt", "gamma.dbt", "a.b.dbf"}) {
        QFile f(dir.file(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(driver().tableNames(dir.path()),
              (QStringList{QStringLiteral("a.b"), QStringLiteral("Alpha"), QStringLiteral("beta"), QStringLiteral("zeta")}));
    EXPECT_THROW(driver().tableNames(dir.file(QStringLiteral("missing"))), EngineError);
}

TEST(DbaseRead, OpenResolvesNamesExactlyFirstAndReportsMissingTablesInGerman)
{
    ScratchDir dir;
    dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"), QStringLiteral("people.dbf"));
    dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/DATE.DBF"), QStringLiteral("PEOPLE.DBF"));
    // Both spellings exist: each name opens its own file.
    EXPECT_EQ(driver().open(dir.path(), QStringLiteral("people"), {})->fieldDefs().size(), 2);
    EXPECT_EQ(driver().open(dir.path(), QStringLiteral("PEOPLE.DBF"), {})->fieldDefs().size(), 1);
    // Without an exact match the one spelling there is is found whatever its case.
    ScratchDir single;
    single.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"), QStringLiteral("people.dbf"));
    auto t = driver().open(single.path(), QStringLiteral("People.DBF"), {});
    EXPECT_TRUE(t->fileName().endsWith(QStringLiteral("/people.dbf"))) << t->fileName().toStdString();
    ASSERT_EQ(t->rowCount(), 2);
    EXPECT_EQ(t->text(t->rowAt(0), 0), QStringLiteral("Alice"));
    try {
        driver().open(dir.path(), QStringLiteral("KUNDEN"), {});
        FAIL() << "a missing table opened";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("KUNDEN"))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(dir.path())) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("gibt es"))) << e.message().toStdString();
    }
}

TEST(DbaseRead, DbaseIIIPlusCarsTypesValuesMemosAndBlankRow)
{
    auto t = openFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf"));
    const auto &d = t->fieldDefs();
    ASSERT_EQ(d.size(), 6);
    EXPECT_EQ(d[0].name, QStringLiteral("NAME"));
    EXPECT_EQ(d[0].dataType, ftString);
    EXPECT_EQ(d[0].size, 15);
    EXPECT_EQ(d[1].dataType, ftInteger);
    EXPECT_EQ(d[1].nativeType, QStringLiteral("N(4)"));
    EXPECT_EQ(d[2].dataType, ftBoolean);
    EXPECT_EQ(d[3].dataType, ftDate);
    EXPECT_EQ(d[4].dataType, ftFloat);
    EXPECT_EQ(d[4].nativeType, QStringLiteral("N(7,3)"));
    EXPECT_EQ(d[4].precision, 7);
    EXPECT_EQ(d[4].scale, 3);
    EXPECT_EQ(d[5].dataType, ftMemo);
    EXPECT_EQ(d[5].fieldNo, 6);
    // The length the structure listing shows is the stored width of every field.
    QList<int> sizes;
    for (const FieldDef &f : d)
        sizes << f.size;
    EXPECT_EQ(sizes, (QList<int>{15, 4, 1, 8, 7, 10}));
    EXPECT_EQ(t->recordSize(), 46u);
    ASSERT_EQ(t->rowCount(), 4);

    EXPECT_EQ(at(*t, 0, QStringLiteral("NAME")).toString(), QStringLiteral("PASSAT"));
    EXPECT_EQ(at(*t, 0, QStringLiteral("YEAR")).toLongLong(), 0);
    EXPECT_EQ(at(*t, 0, QStringLiteral("SEDAN")), QVariant(false));
    EXPECT_EQ(at(*t, 0, QStringLiteral("PROD_DATE")).toDate(), QDate(1977, 1, 1));
    EXPECT_TRUE(at(*t, 0, QStringLiteral("DESCR")).toString().startsWith(
        QStringLiteral("THIS IS A DESCRIPTION OF PASSAT, YEAR MODEL 1997\r\n")));
    EXPECT_EQ(at(*t, 1, QStringLiteral("YEAR")).toLongLong(), 2000);
    EXPECT_DOUBLE_EQ(at(*t, 1, QStringLiteral("CC")).toDouble(), 333.444);
    EXPECT_EQ(textAt(*t, 1, QStringLiteral("CC")), QStringLiteral("333,444"));
    EXPECT_EQ(at(*t, 1, QStringLiteral("PROD_DATE")).toDate(), QDate(1901, 12, 3));
    EXPECT_TRUE(isNull(at(*t, 1, QStringLiteral("DESCR"))));
    EXPECT_EQ(at(*t, 2, QStringLiteral("SEDAN")), QVariant(true));
    EXPECT_EQ(at(*t, 2, QStringLiteral("DESCR")).toString(), QStringLiteral("DESCRIPTION OF VOLKSAWGEN JETTA, YEAR MODEL 1990"));
    // The fourth record is blank throughout: every typed field is null.
    for (const char *f : {"YEAR", "SEDAN", "PROD_DATE", "CC", "DESCR"})
        EXPECT_TRUE(isNull(at(*t, 3, QString::fromLatin1(f)))) << f;
    EXPECT_EQ(at(*t, 3, QStringLiteral("NAME")).toString(), QString());
}

TEST(DbaseRead, SameCarsFromDbaseIVDbase5FoxProAndClipper)
{
    for (const char *file : {"dbase/dans-dbase4/cars.DBF", "dbase/dans-dbase5/cars.DBF", "foxpro/dans-foxpro26/cars.DBF"}) {
        SCOPED_TRACE(file);
        auto t = openFixture(QString::fromLatin1(file));
        ASSERT_EQ(t->rowCount(), 4);
        EXPECT_EQ(at(*t, 1, QStringLiteral("NAME")).toString(), QStringLiteral("POLO"));
        EXPECT_DOUBLE_EQ(at(*t, 2, QStringLiteral("CC")).toDouble(), 999.999);
        EXPECT_TRUE(at(*t, 0, QStringLiteral("DESCR")).toString().startsWith(QStringLiteral("THIS IS A DESCRIPTION OF PASSAT")));
        EXPECT_TRUE(at(*t, 2, QStringLiteral("DESCR")).toString().startsWith(QStringLiteral("DESCRIPTION OF VOLKSWAGEN JETTA")));
        // "   .   " is a blank number, not a parse error.
        EXPECT_TRUE(isNull(at(*t, 3, QStringLiteral("CC"))));
        EXPECT_TRUE(isNull(at(*t, 3, QStringLiteral("YEAR"))));
    }
    auto clipper = openFixture(QStringLiteral("dbase/dans-clipper5/cars.DBF"));
    EXPECT_EQ(clipper->fieldDefs()[5].dataType, ftMemo); // M10.3 is still a memo
    EXPECT_TRUE(isNull(at(*clipper, 0, QStringLiteral("YEAR"))));
    EXPECT_TRUE(isNull(at(*clipper, 0, QStringLiteral("SEDAN"))));
    EXPECT_TRUE(isNull(at(*clipper, 0, QStringLiteral("CC"))));
    EXPECT_TRUE(isNull(at(*clipper, 1, QStringLiteral("SEDAN"))));
    // The soft line break 0x8D 0x0A reads as an ordinary line break.
    const QString memo = at(*clipper, 0, QStringLiteral("DESCR")).toString();
    EXPECT_TRUE(memo.startsWith(QStringLiteral("THIS IS A DESCRIPTION OF PASSAT, YEAR MODEL \r\n1997AAAA"))) << memo.left(60).toStdString();
    EXPECT_FALSE(memo.contains(QChar(0x00EC))); // no "ì" left from 0x8D
    EXPECT_EQ(at(*clipper, 2, QStringLiteral("DESCR")).toString(), QStringLiteral("DESCRIPTION OF VOLKSWAGEN JETTA, YEAR MODEL 1990"));
}

TEST(DbaseRead, DeletedRecordsAreHiddenAndRowIdsStayPhysical)
{
    auto t = openFixture(QStringLiteral("dbase/dans-dbase3plus-deleted/cars.dbf"));
    ASSERT_EQ(t->rowCount(), 3);
    EXPECT_EQ(t->rowAt(0), 0);
    EXPECT_EQ(t->rowAt(1), 2);
    EXPECT_EQ(t->rowAt(2), 3);
    EXPECT_EQ(t->positionOf(1), -1);
    EXPECT_EQ(t->positionOf(2), 1);
    EXPECT_EQ(t->positionOf(3), 2);
    EXPECT_EQ(t->positionOf(4), -1);
    EXPECT_EQ(at(*t, 1, QStringLiteral("NAME")).toString(), QStringLiteral("JETTA"));
    EXPECT_THROW(t->rowAt(3), EngineError);
    // The deleted record can still be read by its number.
    EXPECT_EQ(t->value(1, 0).toString(), QStringLiteral("POLO"));

    auto people = openFixture(QStringLiteral("dbase/dbfread/people.dbf"));
    ASSERT_EQ(people->rowCount(), 2);
    EXPECT_EQ(at(*people, 1, QStringLiteral("NAME")).toString(), QStringLiteral("Bob"));
    EXPECT_EQ(at(*people, 1, QStringLiteral("BIRTHDATE")).toDate(), QDate(1980, 11, 12));

    auto xbase = openFixture(QStringLiteral("dbase/dbd-xbase/test.dbf"));
    ASSERT_EQ(xbase->rowCount(), 2);
    EXPECT_EQ(at(*xbase, 0, QStringLiteral("NOTE")).toString(), QStringLiteral("This is a memo for record no one"));
    EXPECT_TRUE(isNull(at(*xbase, 0, QStringLiteral("BOOLEAN"))));
    EXPECT_EQ(at(*xbase, 1, QStringLiteral("ID")).toLongLong(), 3);
    EXPECT_EQ(at(*xbase, 1, QStringLiteral("NOTE")).toString(), QStringLiteral("This is a memo for record 3"));
    EXPECT_EQ(at(*xbase, 1, QStringLiteral("DATES")).toDate(), QDate(1996, 1, 2));

    auto baustein = openFixture(QStringLiteral("dbase/simatic-s7/ombstx-offline-00000002/BAUSTEIN.DBF"));
    EXPECT_EQ(baustein->rowCount(), 10);
    EXPECT_EQ(baustein->positionOf(6), -1);
    EXPECT_EQ(at(*baustein, 0, QStringLiteral("TYP")).toString(), QStringLiteral("00014"));
    EXPECT_EQ(at(*baustein, 1, QStringLiteral("NUMMER")).toString(), QStringLiteral("03005"));
}

TEST(DbaseRead, NumbersDatesAndLogicalsIncludingBlanks)
{
    auto number = openFixture(QStringLiteral("dbase/dans-dbase3plus/NUMBER.DBF"));
    ASSERT_EQ(number->rowCount(), 10);
    EXPECT_EQ(at(*number, 0, QStringLiteral("ID")).typeId(), QMetaType::LongLong);
    EXPECT_EQ(at(*number, 0, QStringLiteral("MININT")).toLongLong(), 1);
    EXPECT_EQ(number->fieldDefs()[2].dataType, ftFloat); // N19: wider than 18 digits
    EXPECT_DOUBLE_EQ(at(*number, 0, QStringLiteral("MAXINT")).toDouble(), 1111111111111111040.0);
    EXPECT_DOUBLE_EQ(at(*number, 0, QStringLiteral("MAXDEC")).toDouble(), 111.1111111111111);
    EXPECT_DOUBLE_EQ(at(*number, 0, QStringLiteral("MINDEC")).toDouble(), 1.1);
    for (const char *f : {"ID", "MININT", "MAXINT", "MAXDEC", "MINDEC"})
        EXPECT_TRUE(isNull(at(*number, 9, QString::fromLatin1(f)))) << f;

    auto date = openFixture(QStringLiteral("dbase/dans-dbase3plus/DATE.DBF"));
    EXPECT_EQ(at(*date, 0, QStringLiteral("DATE")).toDate(), QDate(1999, 6, 10));
    EXPECT_EQ(at(*date, 1, QStringLiteral("DATE")).toDate(), QDate(1901, 1, 1));
    EXPECT_EQ(textAt(*date, 2, QStringLiteral("DATE")), QStringLiteral("01.01.1970"));

    auto boolean = openFixture(QStringLiteral("dbase/dans-dbase3plus/BOOLEAN.DBF"));
    const QVariantList expected{true, false, true, false, true};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(at(*boolean, i, QStringLiteral("BOOLEAN")), expected[i]) << i;
    EXPECT_EQ(textAt(*boolean, 1, QStringLiteral("BOOLEAN")), QStringLiteral("False"));

    for (const char *file : {"dbase/dans-dbase4/FLOAT.DBF", "dbase/dans-dbase5/FLOAT.DBF"}) {
        SCOPED_TRACE(file);
        auto f = openFixture(QString::fromLatin1(file));
        EXPECT_EQ(f->fieldDefs()[3].nativeType, QStringLiteral("F(20,18)"));
        EXPECT_DOUBLE_EQ(at(*f, 0, QStringLiteral("FLOAT2")).toDouble(), 1234567890123450000.0);
        EXPECT_DOUBLE_EQ(at(*f, 0, QStringLiteral("FLOAT3")).toDouble(), 1.11111111111111);
        EXPECT_DOUBLE_EQ(at(*f, 0, QStringLiteral("FLOAT4")).toDouble(), 4.44444444);
        for (const char *field : {"FLOAT1", "FLOAT2", "FLOAT3", "FLOAT4"})
            EXPECT_TRUE(isNull(at(*f, 2, QString::fromLatin1(field)))) << field;
        EXPECT_DOUBLE_EQ(at(*f, 3, QStringLiteral("FLOAT2")).toDouble(), 1e19);
        EXPECT_EQ(at(*f, 3, QStringLiteral("FLOAT1")).toLongLong(), 0);
    }

    auto b = openFixture(QStringLiteral("dbase/infused-dbf/dbase_8b.dbf"));
    ASSERT_EQ(b->rowCount(), 10);
    EXPECT_EQ(at(*b, 0, QStringLiteral("LOGICAL")), QVariant(true)); // stored as 'Y'
    EXPECT_DOUBLE_EQ(at(*b, 0, QStringLiteral("FLOAT")).toDouble(), 1.23456789012346);
    EXPECT_EQ(at(*b, 0, QStringLiteral("MEMO")).toString(), QStringLiteral("First memo\r\n"));
    EXPECT_EQ(at(*b, 1, QStringLiteral("DATE")).toDate(), QDate(1970, 12, 31));
    EXPECT_EQ(at(*b, 9, QStringLiteral("CHARACTER")).toString(), QStringLiteral("Ten records stored in this database"));
    EXPECT_DOUBLE_EQ(at(*b, 9, QStringLiteral("FLOAT")).toDouble(), 0.1);
    for (const char *f : {"DATE", "LOGICAL", "MEMO"})
        EXPECT_TRUE(isNull(at(*b, 9, QString::fromLatin1(f)))) << f;
}

TEST(DbaseRead, LongerRealTablesAndTheirMemos)
{
    auto t = openFixture(QStringLiteral("dbase/infused-dbf/dbase_83.dbf"));
    ASSERT_EQ(t->rowCount(), 67);
    EXPECT_EQ(t->fieldDefs().size(), 15);
    EXPECT_DOUBLE_EQ(at(*t, 0, QStringLiteral("ID")).toDouble(), 87);
    EXPECT_EQ(at(*t, 0, QStringLiteral("CODE")).toString(), QStringLiteral("1"));
    EXPECT_EQ(at(*t, 0, QStringLiteral("NAME")).toString(), QStringLiteral("Assorted Petits Fours"));
    EXPECT_DOUBLE_EQ(at(*t, 0, QStringLiteral("WEIGHT")).toDouble(), 5.51);
    EXPECT_EQ(at(*t, 0, QStringLiteral("TAXABLE")), QVariant(true));
    EXPECT_TRUE(at(*t, 0, QStringLiteral("DESC")).toString().startsWith(QStringLiteral(
        "Our Original assortment...a little taste of heaven for everyone.  Let us\r\nselect a special assortment")));
    EXPECT_EQ(at(*t, 1, QStringLiteral("NAME")).toString(), QStringLiteral("Christmas Package Collection"));
    EXPECT_EQ(at(*t, 66, QStringLiteral("CODE")).toString(), QStringLiteral("BD02"));

    auto memo = openFixture(QStringLiteral("dbase/dans-dbase4/MEMOTEST.DBF"));
    EXPECT_EQ(at(*memo, 0, QStringLiteral("MEMO")).toString(), QStringLiteral("m"));
    EXPECT_TRUE(isNull(at(*memo, 1, QStringLiteral("MEMO"))));
    const QString longMemo = at(*memo, 2, QStringLiteral("MEMO")).toString();
    EXPECT_GT(longMemo.size(), 1024); // spans several blocks
    EXPECT_TRUE(longMemo.startsWith(QStringLiteral("This is a very long \r\nmemo.xxx")));
    EXPECT_TRUE(at(*memo, 3, QStringLiteral("MEMO")).toString().startsWith(QStringLiteral("1234567890")));

    auto changelog = openFixture(QStringLiteral("dbase/simatic-s7/siprom/CHANGELOG.DBF"));
    EXPECT_EQ(at(*changelog, 0, QStringLiteral("DATETIME")).toString(), QStringLiteral("42601,6927083333360348"));
    EXPECT_EQ(at(*changelog, 0, QStringLiteral("USER")).toString(), QStringLiteral("Win2"));
    EXPECT_EQ(at(*changelog, 2, QStringLiteral("ACTION")).toLongLong(), 13);
    EXPECT_TRUE(at(*changelog, 2, QStringLiteral("CAUSE")).toString().startsWith(
        QStringLiteral("\\\\vmware-host\\Shared Folders\\Temp\\UnitTest\\UnitTest.s7p : Un")));

    auto symlist = openFixture(QStringLiteral("dbase/simatic-s7/YDBs-15940/SYMLIST.DBF"));
    EXPECT_EQ(symlist->rowCount(), 9);
    EXPECT_EQ(at(*symlist, 0, QStringLiteral("_TIME")).toLongLong(), 1505500673);
    EXPECT_EQ(at(*symlist, 0, QStringLiteral("_OPIEC")).toString(), QStringLiteral("DB   3004"));
    EXPECT_EQ(at(*symlist, 8, QStringLiteral("_SKZ")).toString(), QStringLiteral("DB 310"));

    auto csv = openFixture(QStringLiteral("dbase/csvkit/testdbf.dbf"));
    EXPECT_EQ(at(*csv, 0, QStringLiteral("CD111FP")).toString(), QStringLiteral("08"));
    EXPECT_EQ(at(*csv, 0, QStringLiteral("INTPTLON10")).toString(), QStringLiteral("-092.9323194"));
    EXPECT_EQ(at(*csv, 0, QStringLiteral("ALAND10")).toLongLong(), 71546663636LL);

    auto kunden = openFixture(QStringLiteral("dbase/dbase-rs/KUNDEN-schema-only.DBF"));
    EXPECT_EQ(kunden->rowCount(), 0);
    EXPECT_EQ(kunden->fieldDefs().size(), 49);
    EXPECT_EQ(kunden->fieldDefs()[3].name, QStringLiteral("K_UMS_MO"));
    EXPECT_THROW(kunden->rowAt(0), EngineError);
}

TEST(DbaseRead, CodePagesFromLanguageDriverCpgFileAndDefault)
{
    auto prov = openFixture(QStringLiteral("dbase/javadbf/provincias_es.dbf"));
    const QStringList names{QStringLiteral("Álava"), QStringLiteral("Albacete"), QStringLiteral("Alicante"),
                            QStringLiteral("Almería"), QStringLiteral("Ávila")};
    for (int i = 0; i < names.size(); ++i)
        EXPECT_EQ(at(*prov, i, QStringLiteral("Texto")), names[i]) << i;
    EXPECT_EQ(at(*prov, 0, QStringLiteral("CCAA")).toString(), QStringLiteral("País Vasco"));
    EXPECT_EQ(fact(*prov, QStringLiteral("Codepage")), QStringLiteral("1252 (windows-1252)"));
    EXPECT_EQ(fact(*prov, QStringLiteral("Herkunft der Codepage")), QStringLiteral("Sprachtreiber-Byte 0x59"));

    // No language driver in a FoxPro 2 file: DOS code page; 0x95 is "ò".
    auto f5 = openFixture(QStringLiteral("foxpro/infused-dbf/dbase_f5.dbf"));
    ASSERT_EQ(f5->rowCount(), 975);
    EXPECT_EQ(at(*f5, 974, QStringLiteral("NOM")).toString(), QStringLiteral("antònia"));
    EXPECT_EQ(at(*f5, 3, QStringLiteral("DATN")).toDate(), QDate(1870, 6, 30));
    EXPECT_EQ(at(*f5, 0, QStringLiteral("COG2")).toString(), QStringLiteral("pinazo"));
    EXPECT_EQ(fact(*f5, QStringLiteral("Herkunft der Codepage")), QStringLiteral("Vorgabe"));
    EXPECT_EQ(fact(*f5, QStringLiteral("Codepage")), QStringLiteral("437 (IBM437)"));

    auto dos5 = openFixture(QStringLiteral("dbase/dans-dbase5/cars.DBF"));
    EXPECT_EQ(fact(*dos5, QStringLiteral("Herkunft der Codepage")), QStringLiteral("Sprachtreiber-Byte 0x1B"));

    // The byte says 1252, the text is CP850: a .cpg file beside it wins.
    ScratchDir dir;
    const QString copy = dir.copyFixture(QStringLiteral("foxpro/dbase-rs/cp850.dbf"));
    EXPECT_NE(openDbf(copy, true)->value(0, 0).toString(), QStringLiteral("Äöü!§$%&/"));
    for (const QByteArray &content : {QByteArray("850"), QByteArray("850\r\n"), QByteArray("IBM850"), QByteArray("CP850")}) {
        QFile cpg(dir.file(QStringLiteral("cp850.CPG")));
        ASSERT_TRUE(cpg.open(QIODevice::WriteOnly | QIODevice::Truncate));
        cpg.write(content);
        cpg.close();
        auto t = openDbf(copy, true);
        EXPECT_EQ(t->value(0, 0).toString(), QStringLiteral("Äöü!§$%&/")) << content.constData();
        EXPECT_EQ(fact(*t, QStringLiteral("Herkunft der Codepage")), QStringLiteral(".cpg"));
        EXPECT_EQ(fact(*t, QStringLiteral("Codepage")), QStringLiteral("850 (IBM850)"));
    }
    // A .cpg naming nothing known falls back to the byte and says so.
    QFile cpg(dir.file(QStringLiteral("cp850.CPG")));
    ASSERT_TRUE(cpg.open(QIODevice::WriteOnly | QIODevice::Truncate));
    cpg.write("no such code page");
    cpg.close();
    auto t = openDbf(copy, true);
    EXPECT_EQ(fact(*t, QStringLiteral("Herkunft der Codepage")), QStringLiteral("Sprachtreiber-Byte 0x03"));
    EXPECT_NE(fact(*t, QStringLiteral("Hinweis zur Codepage")), QStringLiteral("<none>"));
}

TEST(DbaseRead, CpgContentsUnderstood)
{
    ScratchDir dir;
    const QString copy = dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"));
    const QList<QPair<QByteArray, QString>> cases{
        {"UTF-8", QStringLiteral("65001 (UTF-8)")},        {"65001", QStringLiteral("65001 (UTF-8)")},
        {"1252", QStringLiteral("1252 (windows-1252)")},   {"ANSI 1252", QStringLiteral("1252 (windows-1252)")},
        {"CP1252", QStringLiteral("1252 (windows-1252)")}, {"windows-1252", QStringLiteral("1252 (windows-1252)")},
        {"OEM", QStringLiteral("850 (IBM850)")},           {"ISO-8859-1", QStringLiteral("28591 (ISO-8859-1)")},
        {"88591", QStringLiteral("28591 (ISO-8859-1)")},   {"\xEF\xBB\xBF" "1251\n", QStringLiteral("1251 (windows-1251)")},
        {"866", QStringLiteral("866 (IBM866)")},
    };
    for (const auto &[content, expected] : cases) {
        QFile cpg(dir.file(QStringLiteral("people.cpg")));
        ASSERT_TRUE(cpg.open(QIODevice::WriteOnly | QIODevice::Truncate));
        cpg.write(content);
        cpg.close();
        auto t = openDbf(copy, true);
        EXPECT_EQ(fact(*t, QStringLiteral("Codepage")), expected) << content.constData();
        EXPECT_EQ(fact(*t, QStringLiteral("Herkunft der Codepage")), QStringLiteral(".cpg")) << content.constData();
    }
}

TEST(DbaseRead, VisualFoxProTypesNullFlagsAndVarFields)
{
    auto t = openFixture(QStringLiteral("foxpro/go-dbase/TEST.DBF"));
    const auto &d = t->fieldDefs();
    ASSERT_EQ(d.size(), 16); // _NullFlags is not a visible field
    for (const FieldDef &f : d)
        EXPECT_NE(f.name, QStringLiteral("_NullFlags"));
    const QList<QPair<QString, TFieldType>> types{
        {QStringLiteral("PRODUCTID"), ftInteger},  {QStringLiteral("PRODNAME"), ftString},
        {QStringLiteral("PRICE"), ftCurrency},     {QStringLiteral("DOUBLE"), ftFloat},
        {QStringLiteral("DATE"), ftDate},          {QStringLiteral("DATETIME"), ftDateTime},
        {QStringLiteral("INTEGER"), ftFloat},      {QStringLiteral("FLOAT"), ftInteger},
        {QStringLiteral("ACTIVE"), ftBoolean},     {QStringLiteral("DESC"), ftMemo},
        {QStringLiteral("TAX"), ftFloat},          {QStringLiteral("INSTOCK"), ftInteger},
        {QStringLiteral("BLOB"), ftBlob},          {QStringLiteral("VARBIN_NIL"), ftVarBytes},
        {QStringLiteral("VAR_NIL"), ftString},     {QStringLiteral("VAR"), ftString}};
    for (int i = 0; i < types.size(); ++i) {
        EXPECT_EQ(d[i].name, types[i].first);
        EXPECT_EQ(d[i].dataType, types[i].second) << d[i].name.toStdString();
    }
    EXPECT_EQ(d[14].size, 254);
    EXPECT_EQ(d[13].nativeType, QStringLiteral("Q(10)"));
    ASSERT_EQ(t->rowCount(), 2);

    EXPECT_EQ(at(*t, 0, QStringLiteral("PRODUCTID")).toLongLong(), 1);
    EXPECT_EQ(at(*t, 0, QStringLiteral("PRODNAME")).toString(), QStringLiteral("TEST PRODUCT"));
    EXPECT_DOUBLE_EQ(at(*t, 0, QStringLiteral("PRICE")).toDouble(), 12.3456);
    EXPECT_EQ(textAt(*t, 0, QStringLiteral("PRICE")), QStringLiteral("12,3456"));
    EXPECT_DOUBLE_EQ(at(*t, 0, QStringLiteral("DOUBLE")).toDouble(), 78.9);
    EXPECT_EQ(at(*t, 0, QStringLiteral("DATE")).toDate(), QDate(2022, 4, 10));
    EXPECT_EQ(at(*t, 0, QStringLiteral("DATETIME")).toDateTime(), QDateTime(QDate(2022, 4, 10), QTime(0, 0)));
    EXPECT_DOUBLE_EQ(at(*t, 0, QStringLiteral("INTEGER")).toDouble(), 4.56);
    EXPECT_EQ(at(*t, 0, QStringLiteral("FLOAT")).toLongLong(), 123);
    EXPECT_EQ(at(*t, 0, QStringLiteral("ACTIVE")), QVariant(true));
    EXPECT_EQ(at(*t, 0, QStringLiteral("DESC")).toString(), QStringLiteral("PRODUCT DESCRIPTION"));
    EXPECT_DOUBLE_EQ(at(*t, 0, QStringLiteral("TAX")).toDouble(), 19.99);
    EXPECT_EQ(at(*t, 0, QStringLiteral("INSTOCK")).toLongLong(), 1);
    EXPECT_TRUE(isNull(at(*t, 0, QStringLiteral("BLOB"))));
    EXPECT_EQ(at(*t, 0, QStringLiteral("VARBIN_NIL")).toByteArray(), QByteArray::fromHex("112233445566778899aa"));
    EXPECT_EQ(textAt(*t, 0, QStringLiteral("VARBIN_NIL")), QStringLiteral("(VarByte, 10 Bytes)"));
    // The length flag bit comes before the null bit of the same field.
    EXPECT_EQ(at(*t, 0, QStringLiteral("VAR_NIL")).toString(), QStringLiteral("Test value with variable length"));
    EXPECT_EQ(at(*t, 0, QStringLiteral("VAR")).toString(), QString());
    EXPECT_TRUE(at(*t, 0, QStringLiteral("VAR")).isValid());

    EXPECT_EQ(at(*t, 1, QStringLiteral("PRODNAME")).toString(), QStringLiteral("TEST"));
    EXPECT_EQ(at(*t, 1, QStringLiteral("DATE")).toDate(), QDate(2022, 10, 10));
    EXPECT_EQ(at(*t, 1, QStringLiteral("DATETIME")).toDateTime(), QDateTime(QDate(2022, 10, 10), QTime(21, 4, 25, 332)));
    EXPECT_EQ(textAt(*t, 1, QStringLiteral("DATETIME")), QStringLiteral("10.10.2022 21:04:25"));
    EXPECT_EQ(at(*t, 1, QStringLiteral("VARBIN_NIL")).toByteArray(), QByteArray::fromHex("aabbcc"));
    EXPECT_TRUE(at(*t, 1, QStringLiteral("VAR_NIL")).toString().startsWith(QStringLiteral("Lorem ipsum dolor sit amet")));
    EXPECT_EQ(at(*t, 1, QStringLiteral("VAR_NIL")).toString().size(), 254);
    EXPECT_EQ(at(*t, 1, QStringLiteral("DESC")).toString(), QStringLiteral("PRODUCT_DESCRIPTION"));

    // Nullable fields of the Northwind products and payments tables.
    auto products = openFixture(QStringLiteral("foxpro/infused-dbf/dbase_31.dbf"));
    ASSERT_EQ(products->rowCount(), 77);
    EXPECT_EQ(products->fieldDefs().size(), 10);
    EXPECT_EQ(at(*products, 0, QStringLiteral("PRODUCTNAM")).toString(), QStringLiteral("Chai"));
    EXPECT_EQ(at(*products, 0, QStringLiteral("QUANTITYPE")).toString(), QStringLiteral("10 boxes x 20 bags"));
    EXPECT_DOUBLE_EQ(at(*products, 0, QStringLiteral("UNITPRICE")).toDouble(), 18.0);
    EXPECT_EQ(at(*products, 0, QStringLiteral("UNITSINSTO")).toLongLong(), 39);
    EXPECT_EQ(at(*products, 0, QStringLiteral("DISCONTINU")), QVariant(false));
    EXPECT_DOUBLE_EQ(at(*products, 1, QStringLiteral("UNITPRICE")).toDouble(), 19.0);

    auto payments = openFixture(QStringLiteral("foxpro/javadbf-xsource/payments.dbf"));
    EXPECT_DOUBLE_EQ(at(*payments, 0, QStringLiteral("PAYMENTAMO")).toDouble(), 1000.0);
    EXPECT_EQ(textAt(*payments, 0, QStringLiteral("PAYMENTAMO")), QStringLiteral("1000,00"));
    EXPECT_EQ(at(*payments, 0, QStringLiteral("PAYMENTDAT")).toDateTime(), QDateTime(QDate(1995, 1, 3), QTime(0, 0)));
    EXPECT_TRUE(isNull(at(*payments, 0, QStringLiteral("CREDITCAR2"))));
    EXPECT_TRUE(isNull(at(*payments, 0, QStringLiteral("CREDITCARD")))); // null by its flag, not just blank
    EXPECT_EQ(at(*payments, 0, QStringLiteral("PAYMENTMET")).toLongLong(), 1);

    auto employees = openFixture(QStringLiteral("foxpro/javadbf-xsource/employees.dbf"));
    EXPECT_EQ(at(*employees, 0, QStringLiteral("LASTNAME")).toString(), QStringLiteral("Davolio"));
    EXPECT_EQ(at(*employees, 0, QStringLiteral("TITLE")).toString(), QStringLiteral("Sr. Programmer"));
    EXPECT_EQ(at(*employees, 0, QStringLiteral("ADDRESS")).toString(), QStringLiteral("507 - 20th Ave. E.\r\nApt. 2A"));
    EXPECT_EQ(employees->fieldDefs()[fieldIndex(*employees, QStringLiteral("BILLINGRAT"))].dataType, ftCurrency);
}

TEST(DbaseRead, FoxProMemosDatetimesAndGeneralFields)
{
    auto all = openFixture(QStringLiteral("foxpro/dans-foxpro26/FPROALL.DBF"));
    EXPECT_EQ(all->fieldDefs()[6].dataType, ftGraphic);
    EXPECT_EQ(at(*all, 0, QStringLiteral("CHAR")).toString(), QStringLiteral("first character"));
    EXPECT_DOUBLE_EQ(at(*all, 0, QStringLiteral("NUMERIC")).toDouble(), 12.3456789012345);
    EXPECT_DOUBLE_EQ(at(*all, 0, QStringLiteral("FLOAT")).toDouble(), 111.1111111111111);
    EXPECT_EQ(at(*all, 0, QStringLiteral("MEMO")).toString(), QStringLiteral("This is a string of characters in memo file"));
    EXPECT_TRUE(isNull(at(*all, 0, QStringLiteral("GENERAL"))));
    EXPECT_EQ(at(*all, 1, QStringLiteral("DATE")).toDate(), QDate(1912, 12, 12));
    EXPECT_DOUBLE_EQ(at(*all, 1, QStringLiteral("FLOAT")).toDouble(), 10000.0);

    auto vfp = openFixture(QStringLiteral("foxpro/infused-dbf/dbase_30.dbf"));
    ASSERT_EQ(vfp->rowCount(), 34);
    EXPECT_EQ(vfp->fieldDefs().size(), 145);
    EXPECT_EQ(at(*vfp, 0, QStringLiteral("CAPTION")).toString(), QStringLiteral("Ear & Ernie Wedding 1942"));
    EXPECT_EQ(at(*vfp, 0, QStringLiteral("CATDATE")).toDate(), QDate(1999, 3, 5));
    EXPECT_EQ(at(*vfp, 3, QStringLiteral("CLASSES")).toString(), QStringLiteral("Agriculture\r\nFarms & Farming\r\n"));

    auto calls = openFixture(QStringLiteral("foxpro/infused-dbf/foxprodb/calls.dbf"));
    EXPECT_EQ(textAt(*calls, 0, QStringLiteral("CALL_DATE")), QStringLiteral("21.11.1994 13:35:39"));
    EXPECT_TRUE(at(*calls, 0, QStringLiteral("NOTES")).toString().startsWith(QStringLiteral("Nancy told me about their blends.")));

    auto memotest = openFixture(QStringLiteral("foxpro/dbfread/memotest.dbf"));
    ASSERT_EQ(memotest->rowCount(), 2);
    EXPECT_EQ(at(*memotest, 1, QStringLiteral("MEMO")).toString(), QStringLiteral("Bob memo"));
    EXPECT_EQ(memotest->value(2, 2).toString(), QStringLiteral("Deleted Guy memo"));

    auto afox = openFixture(QStringLiteral("foxpro/dbd-xbase/afox5.dbf"));
    EXPECT_EQ(at(*afox, 1, QStringLiteral("MESSAGE")).toString(), QStringLiteral("second mess."));

    auto rooms = openFixture(QStringLiteral("foxpro/dbd-xbase/rooms.dbf"));
    EXPECT_EQ(rooms->rowCount(), 42);

    // The database container keeps its memos in .dct; PROPERTY is binary.
    auto dbc = openFixture(QStringLiteral("foxpro/infused-dbf/foxprodb/FOXPRO-DB-TEST.DBC"));
    EXPECT_EQ(at(*dbc, 0, QStringLiteral("PROPERTY")).typeId(), QMetaType::QByteArray);
    EXPECT_EQ(textAt(*dbc, 0, QStringLiteral("PROPERTY")), QStringLiteral("(Blob, 11 Bytes)"));
}

TEST(DbaseRead, HeaderFacts)
{
    auto t = openFixture(QStringLiteral("dbase/dans-dbase3plus-deleted/cars.dbf"));
    EXPECT_EQ(fact(*t, QStringLiteral("Version")), QStringLiteral("dBASE III mit Memo (0x83)"));
    EXPECT_EQ(fact(*t, QStringLiteral("Letzte Änderung")), QStringLiteral("08.10.2010"));
    EXPECT_EQ(fact(*t, QStringLiteral("Sätze im Dateikopf")), QStringLiteral("4 (gelöschte eingeschlossen)"));
    EXPECT_EQ(fact(*t, QStringLiteral("Kopflänge")), QStringLiteral("225 Bytes"));
    EXPECT_EQ(fact(*t, QStringLiteral("Satzlänge")), QStringLiteral("46 Bytes"));
    EXPECT_TRUE(fact(*t, QStringLiteral("Memodatei")).startsWith(QStringLiteral("cars.dbt")));
    EXPECT_EQ(fact(*t, QStringLiteral("Herkunft der Codepage")), QStringLiteral("Vorgabe"));

    EXPECT_EQ(fact(*openFixture(QStringLiteral("foxpro/infused-dbf/dbase_30.dbf")), QStringLiteral("Version")),
              QStringLiteral("Visual FoxPro (0x30)"));
    EXPECT_EQ(fact(*openFixture(QStringLiteral("dbase/dans-dbase4/cars.DBF")), QStringLiteral("Version")),
              QStringLiteral("dBASE IV mit Memo (0x8B)"));
    EXPECT_EQ(fact(*openFixture(QStringLiteral("foxpro/dans-foxpro26/cars.DBF")), QStringLiteral("Memodatei")),
              QStringLiteral("cars.FPT (Blockgröße 512 Bytes)"));
    // Visual FoxPro without a language driver byte: Windows code page.
    auto memotest = openFixture(QStringLiteral("foxpro/dbfread/memotest.dbf"));
    EXPECT_EQ(fact(*memotest, QStringLiteral("Codepage")), QStringLiteral("1252 (windows-1252)"));
    EXPECT_EQ(fact(*memotest, QStringLiteral("Herkunft der Codepage")), QStringLiteral("Vorgabe"));
}

TEST(DbaseRead, ReadOnlyReasons)
{
    // A table flag without an index file does not make a table read-only.
    ScratchDir dir;
    const QString kunden = dir.copyFixture(QStringLiteral("dbase/dbase-rs/KUNDEN-schema-only.DBF"));
    EXPECT_EQ(openDbf(kunden, false)->readOnlyReason(), QString());
    EXPECT_EQ(openDbf(kunden, true)->readOnlyReason(), QStringLiteral("Die Tabelle ist schreibgeschützt geöffnet."));

    // Index files the engine keeps up to date leave the table changeable (a
    // production index in any case, an .ndx of the same name); a Clipper .ntx,
    // which it cannot write, does not.
    dir.copyFixture(QStringLiteral("dbase/simatic-s7/siprom/CHANGELOG.DBF"));
    dir.copyFixture(QStringLiteral("dbase/simatic-s7/siprom/CHANGELOG.DBT"));
    dir.copyFixture(QStringLiteral("dbase/simatic-s7/siprom/CHANGELOG.MDX"), QStringLiteral("changelog.mdx"));
    EXPECT_EQ(openDbf(dir.file(QStringLiteral("CHANGELOG.DBF")), false)->readOnlyReason(), QString());
    dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ndx-num.dbf"));
    dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ndx-num.ndx"));
    EXPECT_EQ(openDbf(dir.file(QStringLiteral("ndx-num.dbf")), false)->readOnlyReason(), QString());
    dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ntx-char.dbf"));
    dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ntx-char.ntx"));
    const QString ntx = openDbf(dir.file(QStringLiteral("ntx-char.dbf")), false)->readOnlyReason();
    EXPECT_TRUE(ntx.contains(QStringLiteral("ntx-char.ntx"))) << ntx.toStdString();

    // A file without write permission, checked as a user it holds for (root may write anyway).
    const QString people = dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"));
    QFile::setPermissions(people, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                          | QFile::ExeOther);
    std::string why;
    EXPECT_TRUE(testsupport::holdsForUnprivilegedUser(
        [&] {
            try {
                return openDbf(people, false)->readOnlyReason()
                       == QStringLiteral("Die Datei %1 ist schreibgeschützt.").arg(people);
            } catch (const EngineError &) {
                return false;
            }
        },
        &why))
        << why;
}

TEST(DbaseRead, MissingMemoFileStillOpensReadOnly)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/dans-dbase4/cars.DBF"));
    auto t = openDbf(path, false);
    ASSERT_EQ(t->rowCount(), 4);
    EXPECT_EQ(t->value(0, 0).toString(), QStringLiteral("PASSAT"));
    EXPECT_EQ(t->text(0, 5), QStringLiteral("(Memodatei cars.DBT fehlt)"));
    EXPECT_FALSE(t->value(1, 5).isValid()); // no memo there anyway
    EXPECT_TRUE(t->readOnlyReason().contains(QStringLiteral("cars.DBT"))) << t->readOnlyReason().toStdString();
    EXPECT_THROW(t->remove(0), EngineError);
    EXPECT_EQ(fact(*t, QStringLiteral("Memodatei")), QStringLiteral("cars.DBT (fehlt)"));
}

TEST(DbaseRead, CompanionFilesFoundWhateverTheirCase)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf"), QStringLiteral("cars.DBF"));
    dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbt"), QStringLiteral("CARS.dbt"));
    auto t = openDbf(path, false);
    EXPECT_EQ(t->readOnlyReason(), QString());
    EXPECT_TRUE(t->value(2, 5).toString().startsWith(QStringLiteral("DESCRIPTION OF VOLKSAWGEN")));
}

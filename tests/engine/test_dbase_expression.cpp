// The xBase key-expression evaluator: the functions index keys use, and the keys
// it computes for every record of the real indexed tables compared with the keys
// their index files store for those records.
#include "EngineError.h"
#include "TestSupport.h"
#include "common/CodePage.h"
#include "drivers/dbase/DbfExpression.h"
#include "drivers/dbase/DbfIndexWrite.h"
#include "common/Bytes.h"
#include "drivers/dbase/DbfTable.h"

#include <QDate>
#include <QFile>
#include <QHash>
#include <gtest/gtest.h>
#include <map>

using namespace engine;
using namespace engine::dbase;
using namespace engine::io;
using testsupport::fixture;

namespace {

// A record of literal values for the evaluator alone.
class Values final : public XRecord {
public:
    std::vector<XValue> values;
    bool isDeleted = false;
    XValue field(int index) const override { return values.at(size_t(index)); }
    bool deleted() const override { return isDeleted; }
    qint64 recordNumber() const override { return 7; }
};

XValue eval(const QString &text, const Values &record = Values())
{
    const QStringList names{QStringLiteral("NAME"), QStringLiteral("NUM"), QStringLiteral("DAY"), QStringLiteral("FLAG")};
    return XExpression::parse(text, names)->evaluate(record);
}

Values sample()
{
    Values v;
    v.values = {XValue::ofText(QStringLiteral("Müller    ")), XValue::ofNumber(42.5),
                XValue::ofDate(QDate(1997, 12, 12).toJulianDay()), XValue::ofLogical(true)};
    return v;
}

} // namespace

TEST(DbaseExpression, TextFunctionsAndOperators)
{
    const Values r = sample();
    EXPECT_EQ(eval(QStringLiteral("UPPER(name)"), r).text, QStringLiteral("MÜLLER    "));
    EXPECT_EQ(eval(QStringLiteral("lower(TRIM(NAME))"), r).text, QStringLiteral("müller"));
    EXPECT_EQ(eval(QStringLiteral("UPPER(LTRIM(TRIM(\"  ab  \")))"), r).text, QStringLiteral("AB"));
    EXPECT_EQ(eval(QStringLiteral("ALLTRIM('  x ')")).text, QStringLiteral("x"));
    EXPECT_EQ(eval(QStringLiteral("SUBSTR(name, 2, 3)"), r).text, QStringLiteral("üll"));
    EXPECT_EQ(eval(QStringLiteral("SUBSTR(name, 5)"), r).text, QStringLiteral("er    "));
    EXPECT_EQ(eval(QStringLiteral("LEFT(name,2)+RIGHT([abc],1)"), r).text, QStringLiteral("Müc"));
    // "-" moves the left text's trailing blanks behind the right one.
    EXPECT_EQ(eval(QStringLiteral("name - \"X\""), r).text, QStringLiteral("MüllerX    "));
    EXPECT_EQ(eval(QStringLiteral("name + \"X\""), r).text, QStringLiteral("Müller    X"));
    EXPECT_EQ(eval(QStringLiteral("tab->name"), r).text, QStringLiteral("Müller    "));
    EXPECT_EQ(eval(QStringLiteral("IIF(flag, \"j\", \"n\")"), r).text, QStringLiteral("j"));
}

TEST(DbaseExpression, NumbersDatesAndConditions)
{
    const Values r = sample();
    EXPECT_EQ(eval(QStringLiteral("STR(num)"), r).text, QStringLiteral("        43"));
    EXPECT_EQ(eval(QStringLiteral("STR(num, 6, 2)"), r).text, QStringLiteral(" 42.50"));
    EXPECT_EQ(eval(QStringLiteral("STR(123456, 3)"), r).text, QStringLiteral("***"));
    EXPECT_EQ(eval(QStringLiteral("STR(-1.5,5,1)")).text, QStringLiteral(" -1.5"));
    EXPECT_DOUBLE_EQ(eval(QStringLiteral("num * 2 + 1"), r).number, 86.0);
    EXPECT_DOUBLE_EQ(eval(QStringLiteral("VAL(\" 12.5abc\") - 2"), r).number, 10.5);
    EXPECT_EQ(eval(QStringLiteral("DTOS(day)"), r).text, QStringLiteral("19971212"));
    EXPECT_EQ(eval(QStringLiteral("DTOC(day)"), r).text, QStringLiteral("12/12/97"));
    EXPECT_EQ(eval(QStringLiteral("DTOS(day + 20)"), r).text, QStringLiteral("19980101"));
    EXPECT_EQ(eval(QStringLiteral("DTOS(CTOD(\"  /  /  \"))")).text, QStringLiteral("        "));
    EXPECT_DOUBLE_EQ(eval(QStringLiteral("RECNO()")).number, 7.0);

    EXPECT_TRUE(eval(QStringLiteral(".NOT. DELETED()")).flag);
    Values deleted = r;
    deleted.isDeleted = true;
    EXPECT_FALSE(eval(QStringLiteral(".NOT. DELETED()"), deleted).flag);
    EXPECT_FALSE(eval(QStringLiteral(".FALSE.")).flag);
    // Without SET EXACT "=" asks whether the left text begins with the right one.
    EXPECT_TRUE(eval(QStringLiteral("name = \"Mü\""), r).flag);
    EXPECT_FALSE(eval(QStringLiteral("name == \"Mü\""), r).flag);
    EXPECT_TRUE(eval(QStringLiteral("TRIM(UPPER(name))==\"MÜLLER\""), r).flag);
    EXPECT_TRUE(eval(QStringLiteral("num > 40 .AND. num <= 42.5 .and. !(num # 42.5)"), r).flag);
    EXPECT_TRUE(eval(QStringLiteral("num < 0 .OR. \"ll\" $ name"), r).flag);
}

TEST(DbaseExpression, UnknownNamesAreGermanErrorsNamingTheExpression)
{
    const auto message = [](const QString &text) {
        try {
            eval(text, sample());
        } catch (const EngineError &e) {
            return e.message();
        }
        return QString();
    };
    EXPECT_TRUE(message(QStringLiteral("SOUNDEX(name)")).contains(QStringLiteral("SOUNDEX")));
    EXPECT_TRUE(message(QStringLiteral("SOUNDEX(name)")).contains(QStringLiteral("„SOUNDEX(name)“")));
    EXPECT_TRUE(message(QStringLiteral("nachname")).contains(QStringLiteral("nachname")));
    EXPECT_FALSE(message(QStringLiteral("UPPER(name")).isEmpty());
    EXPECT_FALSE(message(QStringLiteral("name +")).isEmpty());
    EXPECT_FALSE(message(QStringLiteral("UPPER(num)")).isEmpty()); // wrong type, found when evaluated
    EXPECT_FALSE(message(QStringLiteral("STR(1,2,3,4)")).isEmpty());
}

TEST(DbaseExpression, KeyEncodings)
{
    // FoxPro's sortable doubles sort like the numbers, and come back unchanged.
    const double values[] = {-1e10, -2.5, -0.0, 0.0, 1e-3, 1, 42.5, 1e10};
    for (size_t i = 0; i + 1 < std::size(values); ++i) {
        EXPECT_LE(sortableDouble(values[i]), sortableDouble(values[i + 1]));
        EXPECT_EQ(fromSortableDouble(sortableDouble(values[i]).constData()), values[i] == 0 ? 0.0 : values[i]);
    }
    // dBASE IV BCD numbers as the fixture files hold them.
    EXPECT_EQ(mdxNumber(1).toHex(), QByteArray("350510000000000000000000"));
    EXPECT_EQ(mdxNumber(0).toHex(), QByteArray("340100000000000000000000"));
    EXPECT_EQ(mdxNumber(13).toHex(), QByteArray("360913000000000000000000"));
}

// ---- the keys of real index files --------------------------------------------

namespace {

struct Fixture {
    const char *table;
    const char *index;
};

const Fixture indexed[] = {
    {"dbase/dbd-xbase/ndx-char.dbf", "dbase/dbd-xbase/ndx-char.ndx"},
    {"dbase/dbd-xbase/ndx-num.dbf", "dbase/dbd-xbase/ndx-num.ndx"},
    {"dbase/dbd-xbase/ndx-date.dbf", "dbase/dbd-xbase/ndx-date.ndx"},
    {"dbase/simatic-s7/YDBs-15940/SYMLIST.DBF", "dbase/simatic-s7/YDBs-15940/SYMLIST.MDX"},
    {"dbase/simatic-s7/ombstx-offline-00000002/BAUSTEIN.DBF", "dbase/simatic-s7/ombstx-offline-00000002/BAUSTEIN.MDX"},
    {"dbase/simatic-s7/siprom/CHANGELOG.DBF", "dbase/simatic-s7/siprom/CHANGELOG.MDX"},
    {"foxpro/dbd-xbase/rooms.dbf", "foxpro/dbd-xbase/rooms.cdx"},
    {"foxpro/javadbf-xsource/employees.dbf", "foxpro/javadbf-xsource/employees.cdx"},
    {"foxpro/javadbf-xsource/payments.dbf", "foxpro/javadbf-xsource/payments.cdx"},
    {"foxpro/infused-dbf/foxprodb/calls.dbf", "foxpro/infused-dbf/foxprodb/calls.CDX"},
    {"foxpro/infused-dbf/foxprodb/contacts.dbf", "foxpro/infused-dbf/foxprodb/contacts.CDX"},
    {"foxpro/infused-dbf/foxprodb/setup.dbf", "foxpro/infused-dbf/foxprodb/setup.CDX"},
    {"foxpro/infused-dbf/foxprodb/types.dbf", "foxpro/infused-dbf/foxprodb/types.CDX"},
    {"foxpro/infused-dbf/foxprodb/FOXPRO-DB-TEST.DBC", "foxpro/infused-dbf/foxprodb/FOXPRO-DB-TEST.DCX"},
};

} // namespace

TEST(DbaseExpression, ComputedKeysEqualTheStoredKeysOfEveryFixtureTag)
{
    int tagsChecked = 0;
    for (const Fixture &f : indexed) {
        SCOPED_TRACE(f.index);
        auto table = DbfTable::open(fixture(QString::fromLatin1(f.table)), OpenOptions{true, false});
        QStringList fieldNames;
        for (const FieldDef &d : table->fieldDefs())
            fieldNames << d.name;
        const QByteArray bytes = testsupport::readAll(fixture(QString::fromLatin1(f.table)));
        const int headerLength = le16(bytes.constData() + 8);
        const int recordLength = le16(bytes.constData() + 10);
        const qint64 count = std::min<qint64>(le32(bytes.constData() + 4), (bytes.size() - headerLength) / recordLength);

        std::vector<std::unique_ptr<IndexFile>> files;
        files.push_back(IndexFile::open(fixture(QString::fromLatin1(f.index))));
        const IndexFile &file = *files.front();
        // The codec the table chose: the key bytes are in the table's code page.
        TextCodec codec;
        codec.setCodePage(*codePageForNumber(table->connectionProperties().front().second.toInt()));
        IndexKeeper keeper(files, fieldNames, codec,
                           [&](const char *rec, int field) { return table->xbaseValue(rec, field); },
                           QByteArray(recordLength, ' '));
        keeper.setNullableFields(table->nullableFields());
        keeper.addRecords(count, [&](qint64 r) -> const char * {
            return r < count ? bytes.constData() + headerLength + r * recordLength : nullptr;
        });
        const KeptFile &kept = *keeper.files().front();
        ASSERT_EQ(kept.tags.size(), size_t(file.tags().size()));
        for (int t = 0; t < file.tags().size(); ++t) {
            SCOPED_TRACE(file.tags().at(t).name.toStdString() + " " + file.tags().at(t).keyExpression.toStdString());
            const KeptTag &tag = *kept.tags[size_t(t)];
            std::map<quint32, QByteArray> computed;
            for (qsizetype i = 0; i < tag.size(); ++i)
                computed[tag.records[size_t(i)]] = tag.stored(i);
            std::map<quint32, QByteArray> stored;
            for (const IndexEntry &e : file.entries(t))
                stored[e.record] = e.key;
            if (tag.info.unique) {
                // A unique tag stores one record per key; each must have its key computed.
                for (const auto &[record, key] : stored)
                    EXPECT_EQ(computed[record].toHex().toStdString(), key.toHex().toStdString()) << "record " << record;
            } else {
                EXPECT_EQ(computed.size(), stored.size());
                for (const auto &[record, key] : stored)
                    EXPECT_EQ(computed[record].toHex().toStdString(), key.toHex().toStdString()) << "record " << record;
            }
            ++tagsChecked;
        }
    }
    EXPECT_GE(tagsChecked, 30);
}

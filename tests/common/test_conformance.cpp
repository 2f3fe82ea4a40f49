// One test of the table interface's promises over a real file of every kind:
// counts, moves and positions, values as text, the read-only reason, unknown
// fields, and changing and reading back where the kind can change.
#include "Connection.h"
#include "EngineError.h"
#include "TableDataset.h"
#include "TestSupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::ScratchDir;

namespace {

struct KindCase {
    const char *name;
    const char *properties;  // "Extended Properties"; empty for Access
    const char *fixture;
    bool sourceIsFile;       // the data source is the file itself (Excel, Access)
    const char *table;       // nullptr: the first table the connection lists
    qint64 count;
    int field;               // the field whose text is checked
    const char *first;       // its text in the first record
    const char *last;        // and in the last
    const char *changed;     // a new text for it; nullptr where the kind is read-only
    const char *readOnlyWord; // a word of the read-only reason
};

// The kind's name in test listings, instead of the case's raw bytes.
void PrintTo(const KindCase &c, std::ostream *os)
{
    *os << c.name;
}

// The texts are the files' known content (see the fixtures' EXPECTED.md).
const KindCase Kinds[] = {
    {"dBASE", "dBASE 5.0", "dbase/dbfread/people.dbf", false, "people.dbf", 2, 0, "Alice", "Bob", "Zed", nullptr},
    {"Paradox", "Paradox 5.x", "paradox/fields/bcd.db", false, "bcd", 3, 1, "1", "", "7", nullptr},
    {"Text", "Text", "csv/rows/all-field-types.csv", false, "all-field-types.csv", 7, 7, "Álvaro", "", "Zed", nullptr},
    {"HTML", "HTML Import", "html/rows/all-field-types.html", false, nullptr, 7, 7, "Álvaro", "", nullptr, "nur gelesen"},
    {"Excel", "Excel 8.0", "excel/rows/all-field-types.xls", true, nullptr, 7, 7, "Álvaro", "", nullptr, "nur gelesen"},
    {"Access", "", "access/mdbtestdata/nwind.mdb", true, "Customers", 91, 0, "ALFKI", nullptr, nullptr, "gelesen"},
};

class Conformance : public ::testing::TestWithParam<KindCase> {
protected:
    void SetUp() override
    {
        m_file = m_dir.copyFixture(QString::fromUtf8(GetParam().fixture));
    }
    // A fresh connection and dataset on the scratch copy.
    std::unique_ptr<TableDataset> open()
    {
        const KindCase &k = GetParam();
        m_connections.push_back(std::make_unique<Connection>());
        Connection &c = *m_connections.back();
        if (*k.properties)
            c.setPropertyValue(QStringLiteral("Extended Properties"), QString::fromLatin1(k.properties));
        c.setPropertyValue(QStringLiteral("Data Source"), k.sourceIsFile ? m_file : m_dir.path());
        auto t = std::make_unique<TableDataset>();
        t->setObjectName(QStringLiteral("TBView"));
        t->setConnection(&c);
        QString table = k.table ? QString::fromUtf8(k.table) : QString();
        if (table.isEmpty()) {
            const QStringList names = c.GetTableNames();
            EXPECT_FALSE(names.isEmpty());
            table = names.value(0);
        }
        t->setTableName(table);
        t->Open();
        return t;
    }
    QString text(TableDataset &t) { return t.Fields(GetParam().field)->AsString(); }

    ScratchDir m_dir;
    QString m_file;
    std::vector<std::unique_ptr<Connection>> m_connections;
};

} // namespace

TEST_P(Conformance, CountsMovesAndValues)
{
    const KindCase &k = GetParam();
    auto t = open();
    ASSERT_EQ(t->RecordCount(), k.count);
    t->First();
    EXPECT_TRUE(t->Bof());
    EXPECT_EQ(t->RecNo(), 1);
    EXPECT_EQ(text(*t), QString::fromUtf8(k.first));
    t->Next();
    EXPECT_EQ(t->RecNo(), 2);
    EXPECT_FALSE(t->Bof());
    t->Last();
    EXPECT_EQ(t->RecNo(), k.count);
    if (k.last) {
        EXPECT_EQ(text(*t), QString::fromUtf8(k.last));
    }
    t->Next();
    EXPECT_TRUE(t->Eof());
    EXPECT_EQ(t->RecNo(), k.count);
    t->MoveBy(-int(k.count - 1));
    EXPECT_EQ(t->RecNo(), 1);
    EXPECT_EQ(text(*t), QString::fromUtf8(k.first));

    // Every row has a stable id that leads back to its position.
    TableSource *source = t->source();
    ASSERT_NE(source, nullptr);
    for (qint64 p = 0; p < source->rowCount(); ++p)
        ASSERT_EQ(source->positionOf(source->rowAt(p)), p) << p;

    // An unknown field is "not found", naming it.
    try {
        t->FieldByName(QStringLiteral("GIBT_ES_NICHT"));
        ADD_FAILURE() << "an unknown field was found";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.kind(), ErrorKind::NotFound);
        EXPECT_TRUE(e.message().contains(QStringLiteral("GIBT_ES_NICHT"))) << e.message().toStdString();
    }
}

TEST_P(Conformance, ChangesAndReadsBackOrSaysWhyNot)
{
    const KindCase &k = GetParam();
    auto t = open();
    const QString reason = t->source()->readOnlyReason();
    if (!k.changed) {
        EXPECT_TRUE(reason.contains(QString::fromUtf8(k.readOnlyWord))) << reason.toStdString();
        try {
            t->Edit();
            t->Fields(k.field)->setAsString(QStringLiteral("x"));
            t->Post();
            ADD_FAILURE() << "a read-only table was changed";
        } catch (const EngineError &e) {
            EXPECT_TRUE(e.message().contains(reason)) << e.message().toStdString();
        }
        return;
    }
    ASSERT_TRUE(reason.isEmpty()) << reason.toStdString();
    t->First();
    t->Edit();
    t->Fields(k.field)->setAsString(QString::fromUtf8(k.changed));
    t->Post();
    EXPECT_EQ(text(*t), QString::fromUtf8(k.changed));
    t.reset();

    auto again = open();
    EXPECT_EQ(again->RecordCount(), k.count);
    again->First();
    EXPECT_EQ(text(*again), QString::fromUtf8(k.changed));
    again->Last();
    if (k.last) {
        EXPECT_EQ(text(*again), QString::fromUtf8(k.last));
    }
}

INSTANTIATE_TEST_SUITE_P(AllKinds, Conformance, ::testing::ValuesIn(Kinds),
                         [](const ::testing::TestParamInfo<KindCase> &info) { return std::string(info.param.name); });

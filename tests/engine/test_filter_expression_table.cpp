// Filter expressions over a real dBASE III table (cars.dbf: NAME, YEAR, SEDAN,
// PROD_DATE, CC and an all-empty fourth record), the values read per record
// through FieldByName as the dataset hands them over.
#include "Connection.h"
#include "EngineError.h"
#include "FilterExpression.h"
#include "TableDataset.h"
#include "TestSupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace engine;

namespace {

class FilterOnCars : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QFileInfo info(testsupport::fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
        connection.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("dBASE 5.0"));
        connection.setPropertyValue(QStringLiteral("Data Source"), info.absolutePath());
        table.setConnection(&connection);
        table.setTableName(info.fileName());
        table.Open();
    }

    // The names of the records the expression lets through, in table order.
    QStringList names(const QString &text, TFilterOptions options = foCaseInsensitive)
    {
        const FilterExpression e = FilterExpression::parse(text, table.FieldDefs());
        QStringList out;
        for (table.First(); !table.Eof(); table.Next()) {
            const bool hit = e.matches(
                [this](int f) { return table.FieldByName(table.FieldDefs().at(f).name)->Value(); }, options);
            if (hit) {
                const QString name = table.FieldByName(QStringLiteral("NAME"))->AsString();
                out << (name.isEmpty() ? QStringLiteral("<leer>") : name);
            }
        }
        return out;
    }

    Connection connection;
    TableDataset table;
};

QStringList list(std::initializer_list<const char *> items)
{
    QStringList out;
    for (const char *i : items)
        out << QString::fromUtf8(i);
    return out;
}

} // namespace

TEST_F(FilterOnCars, EachTypeOfTheTable)
{
    ASSERT_EQ(table.RecordCount(), 4);
    EXPECT_EQ(names(QStringLiteral("YEAR >= 1990")), list({"POLO", "JETTA"}));
    EXPECT_EQ(names(QStringLiteral("YEAR = 0")), list({"PASSAT"}));
    EXPECT_EQ(names(QStringLiteral("CC > 333.4 AND CC < 1000")), list({"POLO", "JETTA"}));
    EXPECT_EQ(names(QStringLiteral("CC = 999.999")), list({"JETTA"}));
    EXPECT_EQ(names(QStringLiteral("SEDAN")), list({"JETTA"}));
    EXPECT_EQ(names(QStringLiteral("SEDAN = FALSE")), list({"PASSAT", "POLO"}));
    EXPECT_EQ(names(QStringLiteral("PROD_DATE < #1950-01-01#")), list({"POLO"}));
    EXPECT_EQ(names(QStringLiteral("PROD_DATE = #12.02.1990# OR PROD_DATE = '01.01.1977'")),
              list({"PASSAT", "JETTA"}));
    EXPECT_EQ(names(QStringLiteral("prod_date like '*.19_?'")), list({"PASSAT", "POLO", "JETTA"}));
}

TEST_F(FilterOnCars, TextOptionsAndTheEmptyRecord)
{
    EXPECT_EQ(names(QStringLiteral("NAME = 'polo'")), list({"POLO"}));
    EXPECT_EQ(names(QStringLiteral("NAME = 'polo'"), 0), QStringList());
    EXPECT_EQ(names(QStringLiteral("NAME = 'P*'")), list({"PASSAT", "POLO"}));
    EXPECT_EQ(names(QStringLiteral("NAME = 'P*'"), foNoPartialCompare), QStringList());
    EXPECT_EQ(names(QStringLiteral("NAME LIKE '%TT%'")), list({"JETTA"}));
    // the fourth record is empty in every field: only IS NULL finds it
    EXPECT_EQ(names(QStringLiteral("YEAR IS NULL AND PROD_DATE IS NULL")), list({"<leer>"}));
    EXPECT_EQ(names(QStringLiteral("YEAR <> 2000")), list({"PASSAT", "JETTA"}));
    EXPECT_EQ(names(QStringLiteral("NOT YEAR = 2000")), list({"PASSAT", "JETTA", "<leer>"}));
}

TEST_F(FilterOnCars, ErrorsNameTheTablesFields)
{
    try {
        FilterExpression::parse(QStringLiteral("NAME = 'POLO' AND COLOR = 'rot'"), table.FieldDefs());
        FAIL() << "no error";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Fehler im Filterausdruck an Position 19: Feld 'COLOR' nicht gefunden"));
    }
    // the memo field is text and can be compared
    EXPECT_NO_THROW(FilterExpression::parse(QStringLiteral("DESCR LIKE '%a%'"), table.FieldDefs()));
}

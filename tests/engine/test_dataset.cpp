// The table dataset's behaviour on real dBASE files: moves and their flags,
// editing, appending, deleting, the errors and the events.
#include "Connection.h"
#include "EngineError.h"
#include "TableDataset.h"
#include "TestSupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::ScratchDir;
using testsupport::fixture;

namespace {

struct OpenTable {
    Connection connection;
    TableDataset table;
    int afterOpen = 0;
    int afterScroll = 0;
    int afterEdit = 0;

    explicit OpenTable(const QString &path, bool open = true)
    {
        const QFileInfo info(path);
        connection.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("dBASE 5.0"));
        connection.setPropertyValue(QStringLiteral("Data Source"), info.absolutePath());
        table.setObjectName(QStringLiteral("TBView"));
        table.setConnection(&connection);
        table.setTableName(info.fileName());
        table.AfterOpen = [this](TableDataset &) { ++afterOpen; };
        table.AfterScroll = [this](TableDataset &) { ++afterScroll; };
        table.AfterEdit = [this](TableDataset &) { ++afterEdit; };
        if (open)
            table.Open();
    }
    QString text(const char *field) { return table.FieldByName(QString::fromLatin1(field))->AsString(); }
};

QString errorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const EngineError &e) {
        return e.message();
    }
    return QString();
}

} // namespace

TEST(Dataset, ClosedTableRefusesEveryOperationWithItsName)
{
    OpenTable t(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")), false);
    const QString closed = QStringLiteral("TBView: Operation bei geschlossener Datenmenge nicht ausführbar");
    EXPECT_EQ(errorOf([&] { t.table.First(); }), closed);
    EXPECT_EQ(errorOf([&] { t.table.Next(); }), closed);
    EXPECT_EQ(errorOf([&] { t.table.MoveBy(3); }), closed);
    EXPECT_EQ(errorOf([&] { t.table.Append(); }), closed);
    EXPECT_EQ(errorOf([&] { t.table.Delete(); }), closed);
    EXPECT_EQ(errorOf([&] { t.table.RecordCount(); }), closed);
    EXPECT_EQ(t.table.State(), dsInactive);
    EXPECT_EQ(t.table.RecNo(), 0);
}

TEST(Dataset, MovesSetPositionAndFlagsLikeAnyDataset)
{
    OpenTable t(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    auto &tb = t.table;
    EXPECT_EQ(t.afterOpen, 1);
    EXPECT_EQ(t.afterScroll, 1);
    EXPECT_EQ(tb.State(), dsBrowse);
    EXPECT_EQ(tb.RecordCount(), 4);
    EXPECT_TRUE(tb.Bof());
    EXPECT_FALSE(tb.Eof());
    EXPECT_EQ(tb.RecNo(), 1);
    EXPECT_EQ(t.text("NAME"), QStringLiteral("PASSAT"));

    tb.Next();
    EXPECT_FALSE(tb.Bof());
    EXPECT_EQ(t.text("NAME"), QStringLiteral("POLO"));
    tb.Next();
    tb.Next();
    EXPECT_EQ(tb.RecNo(), 4);
    EXPECT_FALSE(tb.Eof()) << "reaching the last record is not yet running into the end";
    tb.Next();
    EXPECT_TRUE(tb.Eof());
    EXPECT_EQ(tb.RecNo(), 4);
    tb.Prior();
    EXPECT_FALSE(tb.Eof());
    EXPECT_EQ(tb.RecNo(), 3);

    tb.First();
    EXPECT_EQ(tb.MoveBy(10), 3);
    EXPECT_TRUE(tb.Eof());
    EXPECT_EQ(tb.RecNo(), 4);
    EXPECT_EQ(tb.MoveBy(-10), -3);
    EXPECT_TRUE(tb.Bof());
    EXPECT_EQ(tb.RecNo(), 1);
    EXPECT_EQ(tb.MoveBy(0), 0);

    tb.Last();
    EXPECT_TRUE(tb.Eof());
    EXPECT_EQ(t.text("NAME"), QString()) << "the fourth record is blank";
    const int before = t.afterScroll;
    tb.Prior();
    EXPECT_EQ(t.afterScroll, before + 1);
}

TEST(Dataset, EmptyTableHasBothFlagsAndRefusesDelete)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/dbase-rs/KUNDEN-schema-only.DBF"));
    OpenTable t(path);
    EXPECT_TRUE(t.table.Bof());
    EXPECT_TRUE(t.table.Eof());
    EXPECT_EQ(t.table.RecNo(), 0);
    EXPECT_EQ(t.table.RecordCount(), 0);
    EXPECT_EQ(t.afterScroll, 0) << "an empty table has no record to scroll to";
    EXPECT_EQ(errorOf([&] { t.table.Delete(); }),
              QStringLiteral("TBView: Operation bei leerer Datenmenge nicht ausführbar"));
    EXPECT_EQ(t.table.FieldCount(), 49);
    EXPECT_EQ(t.table.FieldDefs().at(0).name, QStringLiteral("K_N"));
}

TEST(Dataset, EditPostAndCancelChangeTheFileOnlyWhenPosted)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"));
    {
        OpenTable t(path);
        auto &tb = t.table;
        ASSERT_EQ(tb.RecordCount(), 2);
        EXPECT_EQ(errorOf([&] { tb.FieldByName(QStringLiteral("NAME"))->setAsString(QStringLiteral("x")); }),
                  QStringLiteral("TBView: Datenmenge befindet sich nicht im Bearbeitungs- oder Einfügemodus"));
        tb.Edit();
        EXPECT_EQ(tb.State(), dsEdit);
        EXPECT_EQ(t.afterEdit, 1);
        tb.FieldByName(QStringLiteral("NAME"))->setAsString(QStringLiteral("Jürgen"));
        EXPECT_EQ(t.text("NAME"), QStringLiteral("Jürgen"));
        tb.Cancel();
        EXPECT_EQ(t.text("NAME"), QStringLiteral("Alice"));

        tb.Edit();
        tb.FieldByName(QStringLiteral("NAME"))->setAsString(QStringLiteral("Jürgen"));
        const int scrolls = t.afterScroll;
        tb.Post();
        EXPECT_EQ(tb.State(), dsBrowse);
        EXPECT_EQ(t.afterScroll, scrolls) << "posting is no move";
        EXPECT_EQ(tb.RecNo(), 1);
    }
    OpenTable again(path);
    EXPECT_EQ(again.text("NAME"), QStringLiteral("Jürgen"));
    EXPECT_EQ(again.table.RecordCount(), 2);
}

TEST(Dataset, RefusedValuesLeaveTheRecordInEditState)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf"));
    dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbt"));
    OpenTable t(path);
    auto &tb = t.table;
    tb.Edit();
    EXPECT_EQ(errorOf([&] { tb.FieldByName(QStringLiteral("YEAR"))->setAsString(QStringLiteral("19x7")); }),
              QStringLiteral("'19x7' ist kein gültiger Integerwert"));
    const QString tooLong = errorOf([&] { tb.FieldByName(QStringLiteral("NAME"))->setAsString(QStringLiteral("A name far longer than fifteen")); });
    EXPECT_TRUE(tooLong.contains(QStringLiteral("NAME"))) << qPrintable(tooLong);
    EXPECT_EQ(tb.State(), dsEdit);
    EXPECT_EQ(t.text("NAME"), QStringLiteral("PASSAT")) << "a refused value is not taken";
    tb.Cancel();
}

TEST(Dataset, AppendInsertsAtTheEndAndMovingPostsIt)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"));
    OpenTable t(path);
    auto &tb = t.table;
    const int scrolls = t.afterScroll;
    tb.Append();
    EXPECT_EQ(tb.State(), dsInsert);
    EXPECT_EQ(t.afterScroll, scrolls + 1) << "an append raises the after-scroll event";
    EXPECT_EQ(tb.RecNo(), 3);
    tb.Cancel();
    EXPECT_EQ(tb.State(), dsBrowse);
    EXPECT_EQ(tb.RecordCount(), 2);

    tb.Append();
    tb.FieldByName(QStringLiteral("NAME"))->setAsString(QStringLiteral("Grüße"));
    tb.FieldByName(QStringLiteral("BIRTHDATE"))->setAsString(QStringLiteral("24.12.1999"));
    tb.First(); // leaving the new record posts it
    EXPECT_EQ(tb.State(), dsBrowse);
    EXPECT_EQ(tb.RecordCount(), 3);
    tb.Last();
    EXPECT_EQ(t.text("NAME"), QStringLiteral("Grüße"));
    EXPECT_EQ(t.text("BIRTHDATE"), QStringLiteral("24.12.1999"));
}

TEST(Dataset, DeleteHidesTheRecordAndKeepsThePosition)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf"));
    dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbt"));
    {
        OpenTable t(path);
        auto &tb = t.table;
        tb.Next();
        tb.Delete();
        EXPECT_EQ(tb.RecordCount(), 3);
        EXPECT_EQ(tb.RecNo(), 2);
        EXPECT_EQ(t.text("NAME"), QStringLiteral("JETTA"));
        tb.Last();
        tb.Delete();
        EXPECT_EQ(tb.RecNo(), 2) << "deleting the last record moves to the new last one";
    }
    OpenTable again(path);
    EXPECT_EQ(again.table.RecordCount(), 2);
    EXPECT_EQ(again.text("NAME"), QStringLiteral("PASSAT"));
}

TEST(Dataset, ReadOnlyTableSaysWhyItCannotChange)
{
    OpenTable t(fixture(QStringLiteral("dbase/dbfread/people.dbf")), false);
    t.table.setReadOnly(true);
    t.table.Open();
    EXPECT_FALSE(t.table.CanModify());
    const QString error = errorOf([&] { t.table.Edit(); });
    EXPECT_TRUE(error.startsWith(QStringLiteral("TBView: "))) << qPrintable(error);
    EXPECT_EQ(t.table.State(), dsBrowse);
    EXPECT_FALSE(errorOf([&] { t.table.setReadOnly(false); }).isEmpty()) << "the mode changes only while closed";
}

TEST(Dataset, UnknownIndexNameIsAnError)
{
    OpenTable t(fixture(QStringLiteral("dbase/dbfread/people.dbf")), false);
    t.table.setIndexName(QStringLiteral("NAMEN"));
    EXPECT_EQ(errorOf([&] { t.table.Open(); }), QStringLiteral("TBView: Index 'NAMEN' nicht gefunden"));
    EXPECT_FALSE(t.table.Active());
}

TEST(Dataset, TableReadThroughSelectWhenNotDirect)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"), QStringLiteral("Leute ]1[ ü.dbf"));
    OpenTable t(path, false);
    t.table.setTableDirect(false);
    EXPECT_EQ(t.table.CommandText(), QStringLiteral("select * from [Leute ]]1[ ü.dbf]"));
    t.table.Open();
    EXPECT_EQ(t.table.RecordCount(), 2);
    EXPECT_EQ(tableNameFromSelect(QStringLiteral("SELECT  *  FROM \"a \"\"b\"\".dbf\"")), QStringLiteral("a \"b\".dbf"));
    EXPECT_EQ(tableNameFromSelect(QStringLiteral("select * from kunden")), QStringLiteral("kunden"));
    EXPECT_THROW(tableNameFromSelect(QStringLiteral("delete from kunden")), EngineError);
    EXPECT_THROW(tableNameFromSelect(QStringLiteral("select * from [kunden] where 1")), EngineError);
}

TEST(Dataset, ControlsHearOfChangesOnlyWhenEnabled)
{
    OpenTable t(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    int changes = 0;
    QObject::connect(&t.table, &TableDataset::dataSetChanged, [&] { ++changes; });
    t.table.DisableControls();
    t.table.Next();
    t.table.Next();
    EXPECT_EQ(changes, 0);
    t.table.EnableControls();
    EXPECT_EQ(changes, 1);
    t.table.Next();
    EXPECT_EQ(changes, 2);
}

TEST(Connection, ChecksProviderKindAndDataSource)
{
    Connection c;
    EXPECT_EQ(c.Provider(), QStringLiteral("Microsoft.Jet.OLEDB.4.0"));
    c.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source="));
    c.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("dBASE 5.0"));
    c.setPropertyValue(QStringLiteral("Data Source"), QStringLiteral("/nicht/vorhanden/"));
    EXPECT_THROW(c.setConnected(true), EngineError);
    EXPECT_FALSE(c.Connected());

    c.setPropertyValue(QStringLiteral("Data Source"), fixture(QStringLiteral("dbase/dans-dbase3plus")));
    c.setConnected(true);
    EXPECT_EQ(c.State(), stOpen);
    EXPECT_THROW(c.setPropertyValue(QStringLiteral("Data Source"), QStringLiteral("/tmp")), EngineError);
    const QStringList names = c.GetTableNames();
    EXPECT_EQ(names, (QStringList{QStringLiteral("BOOLEAN"), QStringLiteral("cars"), QStringLiteral("DATE"), QStringLiteral("NUMBER")}));
    c.setConnected(false);

    c.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("Lotus 1-2-3"));
    EXPECT_THROW(c.setConnected(true), EngineError);
    c.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("dBASE IV"));
    c.setProvider(QStringLiteral("SQLOLEDB"));
    EXPECT_THROW(c.setConnected(true), EngineError);
}

TEST(Dataset, FilterSelectsRowsAndABadFilterChangesNothing)
{
    OpenTable t(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    auto &tb = t.table;
    tb.setFilter(QStringLiteral("YEAR > 1995 OR NAME = 'JET*'"));
    EXPECT_EQ(tb.RecordCount(), 4) << "the filter acts only while Filtered is on";
    tb.setFiltered(true);
    EXPECT_EQ(tb.RecordCount(), 2);
    EXPECT_EQ(tb.RecNo(), 1);
    EXPECT_EQ(t.text("NAME"), QStringLiteral("POLO"));
    tb.Next();
    EXPECT_EQ(t.text("NAME"), QStringLiteral("JETTA"));

    const QString error = errorOf([&] { tb.setFilter(QStringLiteral("YEAR >")); });
    EXPECT_TRUE(error.contains(QStringLiteral("Position"))) << qPrintable(error);
    EXPECT_EQ(tb.Filter(), QStringLiteral("YEAR > 1995 OR NAME = 'JET*'"));
    EXPECT_EQ(tb.RecordCount(), 2);

    tb.setFilter(QStringLiteral("NAME = 'pol*'"));
    EXPECT_EQ(tb.RecordCount(), 0);
    tb.setFilterOptions(foCaseInsensitive);
    EXPECT_EQ(tb.RecordCount(), 1);
    tb.setFilterOptions(foCaseInsensitive | foNoPartialCompare);
    EXPECT_EQ(tb.RecordCount(), 0);
    tb.setFiltered(false);
    EXPECT_EQ(tb.RecordCount(), 4);

    // Reopened with the filter on, the table shows only the rows it selects.
    tb.setFilterOptions(0);
    tb.setFilter(QStringLiteral("SEDAN"));
    tb.setFiltered(true);
    tb.Close();
    tb.Open();
    EXPECT_EQ(tb.RecordCount(), 1);
    EXPECT_EQ(t.text("NAME"), QStringLiteral("JETTA"));
}

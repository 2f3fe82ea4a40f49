// TKADOopen: how a file name becomes connection settings and a table name, the
// table chooser, and opening through the engine. The engine reads dBASE only so
// far; Access, Excel, text and HTML cases put a scripted data source into the
// descriptor's Connector and TableLister. DescriptorOnEngine runs the real engine.
#include "Connection.h"
#include "EngineError.h"
#include "KADOopen.h"
#include "TableDataset.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace data;
using testsupport::ScratchDir;

namespace {

const QString Jet = QStringLiteral("Microsoft.Jet.OLEDB.4.0");

class Descriptor : public ::testing::Test {
protected:
    engine::Connection connection;
    engine::TableDataset dataset;
    TKADOopen kado;
    ScratchDir scratch;

    std::optional<QString> answer; // the scripted chooser's choice; nullopt cancels
    std::function<void(TKADOopen &)> whileChoosing;
    int chooserCalls = 0, events = 0, connects = 0, listings = 0;
    QString tableAtChooser, givenAtChooser, settingsAtConnect;
    QStringList listed;

    void SetUp() override
    {
        dataset.setConnection(&connection);
        kado.setADOTable(&dataset); // set up as the main window does
        kado.setAutoTableDirect(true);
        kado.setGetTablesDialog(true);
        kado.TablesDialogHook = [this](TKADOopen &k) {
            ++chooserCalls;
            tableAtChooser = k.TableName();
            givenAtChooser = k.GivenDatabaseName();
            if (whileChoosing)
                whileChoosing(k);
            return answer;
        };
        kado.OnGetTables = [this](TKADOopen &) { ++events; };
    }
    void script(const QStringList &names)
    {
        listed = names;
        kado.Connector = [this](engine::Connection &) { ++connects, settingsAtConnect = settings(); };
        kado.TableLister = [this](engine::Connection &) { return ++listings, listed; };
    }
    QString prop(const char *name) const { return connection.propertyValue(QString::fromLatin1(name)).toString(); }
    // Provider | Locale Identifier | Extended Properties | Data Source
    QString settings() const
    {
        return QStringList{connection.Provider(), prop("Locale Identifier"), prop("Extended Properties"),
                           prop("Data Source")}.join(QLatin1Char('|'));
    }
    QString touch(const QString &relative) const
    {
        const QString path = scratch.file(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        return path;
    }
    QString dir(const char *relative) const { return scratch.file(QString::fromUtf8(relative)) + QLatin1Char('/'); }
    void expectNames(TDatabaseType kind, const QString &database, const QString &table, const QString &full)
    {
        EXPECT_EQ(kado.DatabaseType(), kind);
        EXPECT_EQ(kado.DatabaseName(), database);
        EXPECT_EQ(kado.TableName(), table);
        EXPECT_EQ(dataset.TableName(), table);
        EXPECT_EQ(kado.FullTableName(), full);
    }
};

TEST(DescriptorUnbound, ConstructionValuesAndNoEffectWithoutDataset)
{
    TKADOopen k;
    EXPECT_TRUE(!k.ADOTable() && !k.KeepConnection() && !k.AutoTableDirect() && !k.GetTablesDialog()
                && !k.ForceTablesDialog() && !k.OnGetTables && !k.TablesDialogHook);
    EXPECT_EQ(k.DatabaseType(), dtUndefined);
    EXPECT_EQ(k.DestDatabaseType(), dtUndefined);
    EXPECT_EQ(k.LocaleIdentifier(), liGeneral);
    EXPECT_EQ(k.LocaleIdentifierValue(), 1033);
    EXPECT_EQ(k.DestLocaleIdentifierValue(), 1033);
    EXPECT_EQ(k.RowsExported(), 0);

    ScratchDir scratch;
    const QString file = scratch.file(QStringLiteral("kunden.dbf"));
    QFile(file).open(QIODevice::WriteOnly);
    k.setDatabaseType(dtDBase5);
    k.setDatabaseName(file);
    EXPECT_EQ(k.DatabaseType(), dtUndefined);
    EXPECT_EQ(k.TableName(), QStringLiteral("KUNDEN")); // only the base is stored
    EXPECT_TRUE(k.DatabaseName().isEmpty());
    QStringList list{QStringLiteral("bleibt")};
    k.GetTableNames(list);
    EXPECT_EQ(list.size(), 1);
    EXPECT_NO_THROW(k.Open());
    engine::TableDataset loose; // a dataset without connection counts as none
    k.setADOTable(&loose);
    k.setDatabaseType(dtText);
    EXPECT_EQ(k.DatabaseType(), dtUndefined);
}

TEST_F(Descriptor, FileKindsGiveTheirConnectionSettings)
{
    struct Case { const char *file, *dir; TDatabaseType kind; const char *table, *extended; bool connects, direct; };
    const Case cases[] = {
        {"Daten/kunden.dbf", "Daten", dtDBase5, "KUNDEN.DBF", "dBASE 5.0", false, true},
        {"Daten/Alt/Straße.DbF", "Daten/Alt", dtDBase5, "STRAßE.DBF", "dBASE 5.0", false, true},
        {"Lager/über.db", "Lager", dtParadox5, "ÜBER.DB", "Paradox 5.x", false, true},
        {"Listen/preise.csv", "Listen", dtText, "PREISE.CSV", "Text", true, false},
        {"Seiten/Bericht.htm", "Seiten", dtHTMLimport, "BERICHT.HTM", "HTML Import", true, false},
    };
    script({});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = touch(QString::fromUtf8(c.file));
        dataset.setTableDirect(!c.direct);
        settingsAtConnect.clear();
        kado.setDatabaseName(path);
        // The directory keeps its case; the file name is upper-cased.
        expectNames(c.kind, dir(c.dir), QString::fromUtf8(c.table), QString::fromUtf8(c.table));
        EXPECT_EQ(kado.GivenDatabaseName(), path);
        const QString expected = QStringList{Jet, QStringLiteral("1033"), QString::fromUtf8(c.extended), dir(c.dir)}
                                     .join(QLatin1Char('|'));
        EXPECT_EQ(settings(), expected);
        // Text and HTML connect once everything is written; dBASE and Paradox at Open.
        EXPECT_EQ(settingsAtConnect, c.connects ? expected : QString());
        EXPECT_EQ(dataset.TableDirect(), c.direct);
    }
    EXPECT_EQ(listings + chooserCalls + events, 0);
}

TEST_F(Descriptor, AccessAsksOnlyForSeveralTablesOrWhenForced)
{
    const QString file = touch(QStringLiteral("Firma/Lager.mdb"));
    script({QStringLiteral("Artikel")});
    kado.setDatabaseName(file);
    expectNames(dtAccess, file, QStringLiteral("Artikel"), QStringLiteral("Artikel"));
    EXPECT_EQ(settingsAtConnect, Jet + QStringLiteral("|1033||") + file);
    EXPECT_EQ(chooserCalls + events, 0);

    kado.setForceTablesDialog(true);
    kado.setDatabaseName(file);
    EXPECT_EQ(chooserCalls, 1);
    kado.setForceTablesDialog(false);

    listed = QStringList{QStringLiteral("Kunden"), QStringLiteral("Bestellungen")};
    answer = QStringLiteral("Bestellungen");
    kado.setDatabaseName(file);
    EXPECT_EQ(chooserCalls, 2);
    EXPECT_EQ(tableAtChooser, QStringLiteral("Kunden")); // the first is preselected
    EXPECT_EQ(givenAtChooser, file);
    expectNames(dtAccess, file, QStringLiteral("Bestellungen"), QStringLiteral("Bestellungen"));

    answer.reset(); // cancelled: the first listed table stays
    kado.setDatabaseName(file);
    expectNames(dtAccess, file, QStringLiteral("Kunden"), QStringLiteral("Kunden"));
    kado.setGetTablesDialog(false); // no dialog; the chooser step still reports
    kado.setDatabaseName(file);
    EXPECT_EQ(chooserCalls, 3);
    EXPECT_EQ(events, 4);
    EXPECT_EQ(connects, 5);
}

TEST_F(Descriptor, ChooserMayRepointAtAnotherFile)
{
    const QString second = touch(QStringLiteral("Zwei/zwei.mdb"));
    script({QStringLiteral("A"), QStringLiteral("B")});
    answer = QStringLiteral("Preise");
    whileChoosing = [&](TKADOopen &k) { k.AssignDatabaseFile(second); };
    kado.setDatabaseName(touch(QStringLiteral("eins.mdb")));
    expectNames(dtAccess, second, QStringLiteral("Preise"), QStringLiteral("Preise"));
    EXPECT_EQ(kado.GivenDatabaseName(), second);
    EXPECT_EQ(prop("Data Source"), second);
    EXPECT_EQ(listings, 1);
}

TEST_F(Descriptor, WorkbookOffersNamedRangesElseItsWorksheets)
{
    struct Case { QStringList listed; const char *table; int asks; };
    const Case cases[] = {
        {{QStringLiteral("Tabelle1$"), QStringLiteral("Kunden"), QStringLiteral("Tabelle2$")}, "Kunden", 0},
        {{QStringLiteral("Tabelle1$"), QStringLiteral("Kunden"), QStringLiteral("Preise")}, "Kunden", 1},
        {{QStringLiteral("Tabelle1$")}, "Tabelle1$", 0},
        {{QStringLiteral("Tabelle1$"), QStringLiteral("Tabelle2$")}, "Tabelle1$", 1},
        {{}, "", 0},
    };
    const QString file = touch(QStringLiteral("Mappe.XLS"));
    for (const Case &c : cases) {
        SCOPED_TRACE(qPrintable(c.listed.join(QLatin1Char(','))));
        script(c.listed);
        const int before = chooserCalls;
        kado.setDatabaseName(file);
        expectNames(dtExcel8, file, QString::fromUtf8(c.table), QString::fromUtf8(c.table));
        EXPECT_EQ(prop("Extended Properties"), QStringLiteral("Excel 8.0"));
        EXPECT_EQ(chooserCalls - before, c.asks);
    }
    kado.setForceTablesDialog(true); // the empty workbook asks when forced
    kado.setDatabaseName(file);
    EXPECT_EQ(chooserCalls, 3);
}

TEST_F(Descriptor, NamesBasesAndBrackets)
{
    script({QStringLiteral("Kunden"), QStringLiteral("Artikel")});
    kado.setDatabaseName(touch(QStringLiteral("a.b.dbf")));
    EXPECT_EQ(kado.TableName(), QStringLiteral("A.B.DBF"));
    kado.AssignDatabaseFile(scratch.file(QStringLiteral("a.b.dbf")));
    EXPECT_EQ(kado.TableName(), QStringLiteral("A")); // the base: before the first dot

    // An unsupported extension resets the connection; only the base is taken.
    connection.setProvider(QStringLiteral("Anderer"));
    kado.setDatabaseName(touch(QStringLiteral("Texte/a.b.txt")));
    EXPECT_EQ(connection.Provider(), Jet);
    expectNames(dtDBase5, scratch.path() + QLatin1Char('/'), QStringLiteral("A"), QStringLiteral("A.B.DBF"));
    EXPECT_EQ(prop("Data Source"), scratch.path() + QLatin1Char('/'));

    // Bracket form: the directory need not exist; the table keeps its case.
    kado.setDatabaseName(scratch.file(QStringLiteral("Daten/[kunden.dbf]")));
    expectNames(dtDBase5, dir("Daten"), QStringLiteral("kunden.dbf"), QStringLiteral("kunden.dbf"));
    EXPECT_EQ(prop("Data Source"), dir("Daten"));
    // For Access the bracketed table is taken and the database is the file.
    const QString mdb = touch(QStringLiteral("lager.mdb"));
    kado.setDatabaseName(mdb + QStringLiteral("[Artikel]"));
    expectNames(dtAccess, mdb, QStringLiteral("Artikel"), QStringLiteral("Artikel"));
    // An existing file with brackets in its name is that file.
    kado.setDatabaseName(touch(QStringLiteral("Berichte/bericht[2020].dbf")));
    expectNames(dtDBase5, dir("Berichte"), QStringLiteral("BERICHT[2020].DBF"), QStringLiteral("BERICHT[2020].DBF"));
    EXPECT_EQ(chooserCalls, 0);
    kado.setDatabaseName(scratch.file(QStringLiteral("x]y[z.dbf"))); // no bracket form, no file
    EXPECT_EQ(chooserCalls, 1);

    // A relative name gets the working directory.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(scratch.file(QStringLiteral("Berichte"))));
    const QString cwd = QDir::currentPath();
    touch(QStringLiteral("Berichte/Neu/kunden.dbf"));
    kado.setDatabaseName(QStringLiteral("Neu/kunden.dbf"));
    const QString relative = kado.DatabaseName();
    kado.setDatabaseName(QStringLiteral("bericht[2020].dbf"));
    const QString bare = kado.DatabaseName();
    QDir::setCurrent(previous);
    EXPECT_EQ(relative, cwd + QStringLiteral("/Neu/"));
    EXPECT_EQ(bare, cwd + QLatin1Char('/'));
}

TEST_F(Descriptor, NameOfNoFileRunsOnlyTheChooser)
{
    script({});
    kado.setDatabaseName(touch(QStringLiteral("Daten/kunden.dbf")));
    const QString before = settings();
    int n = 0;
    for (const QString &name : {scratch.file(QStringLiteral("Daten/fehlt.dbf")), dir("Daten"), QString()}) {
        SCOPED_TRACE(qPrintable(name));
        kado.setDatabaseName(name);
        EXPECT_EQ(chooserCalls, ++n);
        EXPECT_EQ(events, n);
        EXPECT_EQ(givenAtChooser, name);
        expectNames(dtDBase5, dir("Daten"), QStringLiteral("KUNDEN.DBF"), QStringLiteral("KUNDEN.DBF"));
        EXPECT_EQ(settings(), before);
    }
    answer = QStringLiteral("rechnung"); // confirmed: taken in the current data source
    kado.setDatabaseName(QStringLiteral("/nirgends/x.mdb"));
    expectNames(dtDBase5, dir("Daten"), QStringLiteral("rechnung"), QStringLiteral("rechnung.dbf"));
    EXPECT_EQ(kado.GivenDatabaseName(), dir("Daten"));
    EXPECT_EQ(connects, 0);
}

TEST_F(Descriptor, ConfirmedChoiceGetsTheFullNameOfItsKind)
{
    const std::pair<TDatabaseType, const char *> cases[] = {
        {dtAccess, "auftrag"}, {dtExcel3, "auftrag"}, {dtHTMLimport, "auftrag"}, {dtText, "auftrag"},
        {dtDBase3, "auftrag.dbf"}, {dtFox30, "auftrag.dbf"}, {dtParadox4, "auftrag.db"},
        {dtUndefined, "vorher"}, {dtHTMLexport, "vorher"}};
    answer = QStringLiteral("auftrag");
    for (const auto &[kind, full] : cases) {
        kado.setDatabaseType(kind);
        kado.setFullTableName(QStringLiteral("vorher"));
        kado.ShowTablesDialog();
        EXPECT_EQ(kado.TableName(), QStringLiteral("auftrag"));
        EXPECT_EQ(kado.FullTableName(), QString::fromUtf8(full)) << kind;
    }
    kado.setTableName(QStringLiteral("alt"));
    kado.setGetTablesDialog(false);
    kado.ShowTablesDialog();
    EXPECT_EQ(kado.TableName(), QStringLiteral("alt"));
    EXPECT_EQ(events, int(std::size(cases)) + 1);
}

TEST_F(Descriptor, DatabaseTypeAndLocaleReachTheConnection)
{
    connection.setPropertyValue(QStringLiteral("Data Source"), QStringLiteral("/bleibt/"));
    connection.setProvider(QStringLiteral("Anderer"));
    kado.setDatabaseType(dtParadox4);
    EXPECT_EQ(settings(), Jet + QStringLiteral("|1033|Paradox 4.x|/bleibt/"));

    kado.setLocaleIdentifier(liGermanPhone);
    kado.setLocaleIdentifierValue(1);
    EXPECT_EQ(kado.LocaleIdentifierValue(), 66567);
    EXPECT_EQ(prop("Locale Identifier"), QStringLiteral("1033")); // not before the next kind write
    kado.setDatabaseType(dtAccess);
    EXPECT_EQ(connection.propertyValue(QStringLiteral("Locale Identifier")), QVariant(qint32(66567)));
    EXPECT_EQ(prop("Extended Properties"), QString());
    kado.setDestLocaleIdentifier(liFrench);
    EXPECT_EQ(kado.DestLocaleIdentifierValue(), 1036);
}

TEST_F(Descriptor, KeepConnectionStoresKindAndNamesOnly)
{
    connection.setPropertyValue(QStringLiteral("Data Source"), QStringLiteral("/alt/"));
    connection.setProvider(QStringLiteral("Anderer"));
    const QString before = settings();
    kado.setKeepConnection(true);
    script({QStringLiteral("Kunden"), QStringLiteral("Artikel")});
    const QString mdb = touch(QStringLiteral("lager.mdb"));
    kado.setDatabaseName(mdb); // nothing listed: no table, no chooser
    expectNames(dtAccess, mdb, QString(), QString());
    kado.setForceTablesDialog(true);
    kado.setDatabaseName(mdb);
    EXPECT_EQ(chooserCalls, 1);
    kado.setDatabaseName(touch(QStringLiteral("Daten/liste.csv")));
    expectNames(dtText, dir("Daten"), QStringLiteral("LISTE.CSV"), QStringLiteral("LISTE.CSV"));
    EXPECT_EQ(settings(), before);
    EXPECT_EQ(connects + listings, 0);
}

TEST_F(Descriptor, AssignDatabaseFileRepointsWithoutListingOrAsking)
{
    script({QStringLiteral("A"), QStringLiteral("B")});
    const QString dbf = touch(QStringLiteral("Daten/kunden.dbf"));
    kado.setDatabaseName(dbf);
    kado.AssignDatabaseFile(touch(QStringLiteral("Lager/lager.db")));
    expectNames(dtParadox5, dir("Lager"), QStringLiteral("LAGER"), QStringLiteral("KUNDEN.DBF"));
    EXPECT_EQ(prop("Data Source"), dir("Lager"));
    EXPECT_EQ(kado.GivenDatabaseName(), dbf);

    const QString mdb = touch(QStringLiteral("Preise.mdb"));
    kado.AssignDatabaseFile(mdb);
    expectNames(dtAccess, mdb, QStringLiteral("PREISE"), QStringLiteral("KUNDEN.DBF"));
    EXPECT_EQ(prop("Data Source"), mdb);

    kado.AssignDatabaseFile(touch(QStringLiteral("Listen/liste.csv")));
    EXPECT_FALSE(dataset.TableDirect());
    kado.AssignDatabaseFile(QString()); // nothing picked: nothing changes
    expectNames(dtText, dir("Listen"), QStringLiteral("LISTE"), QStringLiteral("KUNDEN.DBF"));
    EXPECT_EQ(connects + listings + chooserCalls + events, 0);
}

TEST_F(Descriptor, EngineErrorsPropagateAndAnExportWithoutDestinationIsRefused)
{
    script({});
    kado.setDatabaseName(touch(QStringLiteral("Daten/kunden.dbf")));
    kado.TableLister = [](engine::Connection &) -> QStringList {
        throw engine::EngineError(QStringLiteral("Die Datei ist beschädigt"));
    };
    const QString mdb = touch(QStringLiteral("kaputt.mdb"));
    EXPECT_THROW(kado.setDatabaseName(mdb), engine::EngineError);
    // What was written before stays; the database name is still the previous one.
    EXPECT_EQ(kado.DatabaseType(), dtAccess);
    EXPECT_EQ(prop("Data Source"), mdb);
    EXPECT_EQ(kado.DatabaseName(), dir("Daten"));

    // No destination was ever set: the statement names none, and the engine refuses it.
    EXPECT_THROW(kado.CopyTable(), engine::EngineError);
    EXPECT_TRUE(kado.LastStatement().startsWith(QStringLiteral("SELECT * INTO [] IN \"\"  FROM ")))
        << kado.LastStatement().toStdString();
    EXPECT_EQ(kado.RowsExported(), 0);
}

class DescriptorOnEngine : public Descriptor {
protected:
    QString people;
    QString copy(const char *fixture, const char *target)
    {
        QDir().mkpath(QFileInfo(scratch.file(QString::fromUtf8(target))).path());
        return scratch.copyFixture(QString::fromUtf8(fixture), QString::fromUtf8(target));
    }
    void SetUp() override
    {
        Descriptor::SetUp();
        people = copy("dbase/dbfread/people.dbf", "Daten/people.dbf");
        copy("dbase/dans-dbase3plus/cars.dbf", "Daten/cars.dbf");
        copy("dbase/dans-dbase3plus/cars.dbt", "Daten/cars.dbt");
    }
};

TEST_F(DescriptorOnEngine, OpensTheFileTheUserNamed)
{
    for (const QString &file : {people, copy("dbase/dbfread/people.dbf", "Daten/Größe.dbf")}) {
        kado.setDatabaseName(file); // PEOPLE.DBF, GRÖßE.DBF
        EXPECT_FALSE(connection.Connected());
        kado.Open();
        EXPECT_EQ(dataset.RecordCount(), 2); // Alice and Bob; the deleted record is no row
    }
    QStringList list;
    kado.GetTableNames(list);
    EXPECT_EQ(list.size(), 3);
    EXPECT_TRUE(list.contains(QStringLiteral("cars"), Qt::CaseInsensitive));

    // Switching files disconnects before the settings are written (the engine
    // refuses them on an open connection).
    const QString cars = copy("dbase/dans-dbase3plus/cars.dbf", "Autos/cars.dbf");
    copy("dbase/dans-dbase3plus/cars.dbt", "Autos/cars.dbt");
    ASSERT_NO_THROW(kado.setDatabaseName(cars));
    EXPECT_FALSE(dataset.Active() || connection.Connected());
    kado.Open();
    EXPECT_EQ(dataset.RecordCount(), 4);

    ASSERT_TRUE(QFile::remove(people));
    kado.setDatabaseName(scratch.file(QStringLiteral("Daten/[people.dbf]")));
    EXPECT_THROW(kado.Open(), engine::EngineError);
}

TEST_F(DescriptorOnEngine, TableNameWriteClosesAndKeepConnectionStaysConnected)
{
    kado.setDatabaseName(people);
    kado.Open();
    kado.setTableName(QStringLiteral("CARS"));
    EXPECT_FALSE(dataset.Active() || connection.Connected());
    kado.Open();
    EXPECT_EQ(dataset.RecordCount(), 4);

    kado.setKeepConnection(true);
    kado.setTableName(QStringLiteral("people"));
    EXPECT_FALSE(dataset.Active());
    EXPECT_TRUE(connection.Connected());
    // A file elsewhere changes only the names: the data source stays.
    ASSERT_NO_THROW(kado.setDatabaseName(copy("dbase/dbfread/people.dbf", "Autos/cars.dbf")));
    EXPECT_TRUE(connection.Connected());
    EXPECT_EQ(prop("Data Source"), dir("Daten"));
    kado.Open();
    EXPECT_EQ(dataset.RecordCount(), 4); // CARS.DBF of the old data source
}

TEST_F(DescriptorOnEngine, ChooserLeavesTheOpenTableOpenUnlessConfirmed)
{
    kado.setDatabaseName(people);
    kado.Open();
    kado.setForceTablesDialog(true); // "Öffnen..." with the current database, a directory
    kado.setDatabaseName(kado.DatabaseName());
    EXPECT_TRUE(dataset.Active() && connection.Connected());

    answer = QStringLiteral("cars");
    kado.setDatabaseName(kado.DatabaseName());
    EXPECT_FALSE(dataset.Active());
    EXPECT_EQ(kado.FullTableName(), QStringLiteral("cars.dbf"));
    kado.Open();
    EXPECT_EQ(dataset.RecordCount(), 4);

    kado.setDatabaseName(touch(QStringLiteral("Texte/liste.txt"))); // unsupported: closes everything
    EXPECT_FALSE(dataset.Active() || connection.Connected());
    expectNames(dtDBase5, dir("Daten"), QStringLiteral("LISTE"), QStringLiteral("cars.dbf"));
}

} // namespace

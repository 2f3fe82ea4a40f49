// The open-table dialog as the descriptor's table chooser, on real dBASE files
// in a scratch folder. Kinds the engine cannot read yet (Access, Excel, text,
// HTML, Paradox) get a scripted table list through the descriptor's TableLister.
#include "ADOOpenDialog.h"
#include "Connection.h"
#include "EngineError.h"
#include "GuiTestSupport.h"
#include "KADOopen.h"
#include "TableDataset.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace data;
using testsupport::ScratchDir;

namespace {

const QString AllDatabases = QStringLiteral("Datenbanken|*.mdb; *.dbf; *.db; *.xls; *.csv; *.htm; *.html");
const QString AllExt = QStringLiteral("*.mdb; *.dbf; *.db; *.xls; *.csv; *.htm; *.html");

QStringList items(const QComboBox *box)
{
    QStringList result;
    for (int i = 0; i < box->count(); ++i)
        result << box->itemText(i);
    return result;
}

// What the dialog showed once its activation had run.
struct Seen {
    QString database, kind, table, title, filter, defaultExt;
    int kindIndex = -2, tableIndex = -2;
    QStringList tables;
    QString placeholder; // what the empty table list says
};

class OpenDialog : public ::testing::Test {
protected:
    engine::Connection connection;
    engine::TableDataset dataset;
    TKADOopen kado;
    ScratchDir scratch;

    // The scripted user: picks these files with the browse button in turn
    // (an empty name cancels the browse dialog), then chooses a table (when
    // set) and confirms or cancels.
    QStringList picks;
    std::optional<QString> choose;
    bool confirm = true;
    int shown = 0;
    Seen seen;
    QStringList errors;

    void SetUp() override
    {
        guiApp();
        connection.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source="));
        dataset.setObjectName(QStringLiteral("TBView"));
        dataset.setConnection(&connection);
        kado.setADOTable(&dataset); // as the main window sets it up
        kado.setAutoTableDirect(true);
        kado.setGetTablesDialog(true);
        installTablesDialog(kado, nullptr, [this](TFMADOOpenDialog &dialog) {
            dialog.ErrorHook = [this](const QString &message) { errors << message; };
            dialog.AfterActivate = [this, &dialog] {
                ++shown;
                dialog.BrowseHook = [this](TFMADOOpenDialog &) { return picks.takeFirst(); };
                while (!picks.isEmpty()) {
                    dialog.SPBOpen->click();
                    // The window system hands the activation back when the browse dialog closes.
                    for (const QEvent::Type type : {QEvent::WindowDeactivate, QEvent::WindowActivate}) {
                        QEvent event(type);
                        QCoreApplication::sendEvent(&dialog, &event);
                    }
                }
                if (choose)
                    dialog.CBTable->setCurrentIndex(dialog.CBTable->findText(*choose));
                seen = see(dialog);
                (confirm ? dialog.BTOk : dialog.BTCancel)->click();
            };
            return dialog.exec();
        });
    }
    static Seen see(const TFMADOOpenDialog &dialog)
    {
        return Seen{dialog.EDDatabase->text(),          dialog.CBDatabaseType->currentText(),
                    dialog.CBTable->currentText(),      dialog.OpenDialog.Title,
                    dialog.OpenDialog.Filter,           dialog.OpenDialog.DefaultExt,
                    dialog.CBDatabaseType->currentIndex(), dialog.CBTable->currentIndex(),
                    items(dialog.CBTable),                  dialog.CBTable->placeholderText()};
    }
    QString dir() const { return scratch.path() + QLatin1Char('/'); }
    QString copy(const char *fixture, const char *name) const
    {
        return scratch.copyFixture(QString::fromLatin1(fixture), QString::fromLatin1(name));
    }
    QString touch(const char *name) const
    {
        QFile file(scratch.file(QString::fromLatin1(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return file.fileName();
    }
    void script(const QStringList &names)
    {
        kado.Connector = [](engine::Connection &) {};
        kado.TableLister = [names](engine::Connection &) { return names; };
    }
    // Opens the dialog through the "Öffnen..." path: the descriptor's chooser for a text.
    void openChooser(const QString &databaseText) { kado.setDatabaseName(databaseText); }
};

TEST_F(OpenDialog, AtProgramStartShowsEmptyTextEmptyListAndCancelChangesNothing)
{
    confirm = false;
    openChooser(QString());
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(seen.database, QString());
    EXPECT_TRUE(seen.tables.isEmpty());
    EXPECT_EQ(seen.tableIndex, -1);
    EXPECT_EQ(seen.kindIndex, 0);
    EXPECT_EQ(seen.title, QStringLiteral("Datenbank öffnen"));
    EXPECT_EQ(seen.filter, AllDatabasesOpenFilter);
    EXPECT_TRUE(errors.isEmpty()); // listing without a data source fails silently
    EXPECT_EQ(kado.TableName(), QString());
    EXPECT_EQ(kado.DatabaseType(), dtUndefined);
}

TEST_F(OpenDialog, PickingKundenShowsItsDirectoryDBaseAndSelectsItAndOkOpensIt)
{
    copy("dbase/dbfread/people.dbf", "ALPHA.dbf");
    const QString kunden = copy("dbase/dbfread/people.dbf", "KUNDEN.DBF");
    copy("dbase/csvkit/testdbf.dbf", "zeta.dbf");
    picks = {kunden};
    openChooser(QString());

    EXPECT_EQ(seen.database, dir());
    EXPECT_EQ(seen.kindIndex, 4);
    EXPECT_EQ(seen.kind, QStringLiteral("dBASE 5.x"));
    EXPECT_EQ(seen.tables, (QStringList{"ALPHA", "KUNDEN", "zeta"}));
    EXPECT_EQ(seen.table, QStringLiteral("KUNDEN"));
    EXPECT_EQ(seen.title, QStringLiteral("Datenbanken öffnen"));
    EXPECT_EQ(seen.filter, AllDatabases);
    EXPECT_EQ(seen.defaultExt, AllExt);

    EXPECT_EQ(kado.TableName(), QStringLiteral("KUNDEN"));
    EXPECT_EQ(kado.FullTableName(), QStringLiteral("KUNDEN.dbf"));
    EXPECT_EQ(kado.DatabaseName(), dir());
    EXPECT_EQ(kado.GivenDatabaseName(), dir());
    EXPECT_EQ(kado.DatabaseType(), dtDBase5);
    kado.Open();
    ASSERT_TRUE(dataset.Active());
    EXPECT_EQ(dataset.RecordCount(), 2);
}

TEST_F(OpenDialog, PickedNameMatchesWithoutRegardToCaseButPrefersTheFileItself)
{
    const QString lower = copy("dbase/dbfread/people.dbf", "kunden.dbf");
    const QString upper = copy("dbase/csvkit/testdbf.dbf", "KUNDEN.DBF");
    picks = {lower};
    confirm = false;
    openChooser(QString());
    EXPECT_EQ(seen.tables, (QStringList{"KUNDEN", "kunden"}));
    EXPECT_EQ(seen.table, QStringLiteral("kunden"));

    picks = {upper};
    openChooser(QString());
    EXPECT_EQ(seen.table, QStringLiteral("KUNDEN"));

    QFile::remove(upper);
    picks = {copy("dbase/dbfread/people.dbf", "Kunden.Dbf")};
    openChooser(QString());
    EXPECT_EQ(seen.tables, (QStringList{"Kunden", "kunden"}));
    EXPECT_EQ(seen.table, QStringLiteral("Kunden"));
}

TEST_F(OpenDialog, DirectoryTextListsItsTablesFirstSelectedKindFromDescriptorAndOkOpensChoice)
{
    kado.setDatabaseName(copy("dbase/dbfread/people.dbf", "people.dbf")); // an existing file: no chooser
    copy("dbase/csvkit/testdbf.dbf", "testdbf.dbf");
    ASSERT_EQ(shown, 0);

    choose = QStringLiteral("testdbf");
    openChooser(dir());
    EXPECT_EQ(seen.database, dir());
    EXPECT_EQ(seen.kindIndex, 4);
    EXPECT_EQ(seen.tables, (QStringList{"people", "testdbf"}));
    EXPECT_EQ(kado.TableName(), QStringLiteral("testdbf"));
    EXPECT_EQ(kado.FullTableName(), QStringLiteral("testdbf.dbf"));
    kado.Open();
    EXPECT_EQ(dataset.RecordCount(), 8);

    // Without a choice the first listed table is what OK takes.
    choose.reset();
    openChooser(dir());
    EXPECT_EQ(seen.tableIndex, 0);
    EXPECT_EQ(kado.TableName(), QStringLiteral("people"));
}

TEST_F(OpenDialog, FolderWithoutTablesSaysSoInsteadOfAnEmptyList)
{
    // The folder the connection points at loses its only table (another program
    // removed it); a file that is no table stays.
    const QString people = copy("dbase/dbfread/people.dbf", "people.dbf");
    kado.setDatabaseName(people); // an existing file: no chooser
    ASSERT_TRUE(QFile::remove(people));
    touch("notizen.txt");
    confirm = false;
    openChooser(dir());
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(seen.tables.isEmpty()) << seen.tables.join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(seen.placeholder, QStringLiteral("In %1 gibt es keine Tabelle.").arg(dir()));

    // With a table there again the list shows it and says nothing else.
    copy("dbase/dbfread/people.dbf", "people.dbf");
    openChooser(dir());
    EXPECT_EQ(seen.tables, QStringList{QStringLiteral("people")});
    EXPECT_EQ(seen.placeholder, QString());
}

TEST_F(OpenDialog, MissingFileShowsTheTablesTheConnectionPointsAtAndOkOpensTheChosenOne)
{
    kado.setDatabaseName(copy("dbase/csvkit/testdbf.dbf", "testdbf.dbf"));
    copy("dbase/dbfread/people.dbf", "people.dbf");
    const QString missing = scratch.file(QStringLiteral("fehlt.dbf"));

    choose = QStringLiteral("people");
    openChooser(missing);
    EXPECT_EQ(seen.database, missing);
    EXPECT_EQ(seen.tables, (QStringList{"people", "testdbf"}));
    kado.Open();
    EXPECT_EQ(dataset.TableName(), QStringLiteral("people"));
    EXPECT_EQ(dataset.RecordCount(), 2);
}

TEST_F(OpenDialog, CancelKeepsThePreviousTableOrTheBaseOfAFilePickedBefore)
{
    kado.setDatabaseName(copy("dbase/dbfread/people.dbf", "people.dbf"));
    const QString other = copy("dbase/csvkit/testdbf.dbf", "testdbf.dbf");
    confirm = false;

    openChooser(scratch.file(QStringLiteral("fehlt.dbf")));
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(kado.TableName(), QStringLiteral("PEOPLE.DBF"));
    kado.Open();
    EXPECT_EQ(dataset.RecordCount(), 2);

    picks = {QString(), other}; // the first browse is cancelled: nothing changes
    openChooser(scratch.file(QStringLiteral("fehlt.dbf")));
    EXPECT_EQ(kado.TableName(), QStringLiteral("TESTDBF"));
    kado.Open();
    EXPECT_EQ(dataset.RecordCount(), 8);
}

TEST_F(OpenDialog, AccessFileWithSeveralTablesListsThemAgainAndCancelKeepsTheFirstListed)
{
    script({"Kunden", "Artikel"});
    const QString mdb = touch("lager.mdb");
    confirm = false;
    openChooser(mdb);
    EXPECT_EQ(seen.database, mdb);
    EXPECT_EQ(seen.kindIndex, 1);
    EXPECT_EQ(seen.tables, (QStringList{"Artikel", "Kunden"}));
    EXPECT_EQ(seen.table, QStringLiteral("Artikel"));
    EXPECT_EQ(kado.TableName(), QStringLiteral("Kunden")); // not the file's base "LAGER"

    confirm = true;
    openChooser(mdb);
    EXPECT_EQ(kado.TableName(), QStringLiteral("Artikel"));
    EXPECT_EQ(kado.FullTableName(), QStringLiteral("Artikel"));
    EXPECT_EQ(kado.DatabaseName(), mdb);
}

TEST_F(OpenDialog, PickedFileOfEachKindSelectsKindAndTable)
{
    struct Case {
        const char *file;
        QStringList listed;
        int kind;
        bool directory;
        QStringList shown;
        QString selected;
    };
    const Case cases[] = {
        {"lager.db", {"x", "LAGER"}, 7, true, {"LAGER", "x"}, "LAGER"},
        {"daten.csv", {"Zahlen#csv", "daten#csv"}, 18, true, {"daten.csv", "Zahlen.csv"}, "daten.csv"},
        // A page's tables are listed by the page's file name, as the engine names them.
        {"seite.htm", {"seite.htm", "andere.htm", "seite.htm#2"}, 16, true, {"andere.htm", "seite.htm", "seite.htm#2"},
         "seite.htm"},
        {"blatt.html", {"blatt.html#2", "blatt.html"}, 16, true, {"blatt.html", "blatt.html#2"}, "blatt.html"},
        {"mappe.xls", {"Tabelle1$", "Bereich", "Andere", "Tabelle2$"}, 15, false, {"Andere", "Bereich"}, "Andere"},
        // Worksheets only: they are the workbook's tables.
        {"blatt.xls", {"Tabelle2$", "Tabelle1$"}, 15, false, {"Tabelle1$", "Tabelle2$"}, "Tabelle1$"},
        {"ohne.dbf", {"andere"}, 4, true, {"andere"}, ""},
    };
    confirm = false;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        script(c.listed);
        const QString file = touch(c.file);
        picks = {file};
        openChooser(QString());
        EXPECT_EQ(seen.kindIndex, c.kind);
        EXPECT_EQ(seen.database, c.directory ? dir() : file);
        EXPECT_EQ(seen.tables, c.shown);
        EXPECT_EQ(seen.table, c.selected);
        EXPECT_EQ(kado.DatabaseType(), TDatabaseType(c.kind)); // the descriptor was re-pointed
    }
}

// Real pages, listed and opened by the engine: a ".htm" page (a renamed copy)
// and a ".html" page are preselected with their first table, and OK opens it.
TEST_F(OpenDialog, RealHtmlPagesOfBothEndingsArePreselectedAndOpen)
{
    const QString htm = copy("html/rows/simple-table.html", "seite.htm");
    const QString html = copy("html/rows/ibge-censo.html", "censo.html");
    picks = {htm};
    openChooser(QString());
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(seen.kindIndex, 16);
    EXPECT_EQ(seen.database, dir());
    EXPECT_EQ(seen.tables, (QStringList{"censo.html", "seite.htm", "seite.htm#2"}));
    EXPECT_EQ(seen.table, QStringLiteral("seite.htm"));
    kado.Open();
    ASSERT_TRUE(dataset.Active());
    // The first row holds the headings: one record of the 2 x 2 table.
    EXPECT_EQ(dataset.GetFieldNames(), (QStringList{"t0r0c0", "t0r0c1"}));
    ASSERT_EQ(dataset.RecordCount(), 1);
    EXPECT_EQ(dataset.Fields(0)->AsString(), QStringLiteral("t0r1c0"));

    picks = {htm};
    choose = QStringLiteral("seite.htm#2");
    openChooser(QString());
    kado.Open();
    ASSERT_TRUE(dataset.Active());
    EXPECT_EQ(dataset.RecordCount(), 2);
    EXPECT_EQ(dataset.Fields(1)->AsString(), QStringLiteral("t1r1c1"));

    picks = {html};
    choose.reset();
    openChooser(QString());
    EXPECT_EQ(seen.kindIndex, 16);
    EXPECT_EQ(seen.table, QStringLiteral("censo.html"));
    kado.Open();
    ASSERT_TRUE(dataset.Active());
    EXPECT_EQ(dataset.RecordCount(), 92);
    EXPECT_EQ(dataset.GetFieldNames().mid(0, 3), (QStringList{QStringLiteral("uf"), QStringLiteral("município"),
                                                              QStringLiteral("pessoas")}));
    EXPECT_EQ(dataset.Fields(1)->AsString(), QStringLiteral("Angra dos Reis"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
}

TEST_F(OpenDialog, TextKindShowsFileNamesForADirectory)
{
    script({"b#csv", "a#csv"});
    kado.setDatabaseType(dtText);
    confirm = false;
    openChooser(dir());
    EXPECT_EQ(seen.kindIndex, 18);
    EXPECT_EQ(seen.tables, (QStringList{"a.csv", "b.csv"}));
    EXPECT_EQ(seen.table, QStringLiteral("a.csv"));
}

TEST_F(OpenDialog, EngineErrorForAPickedFileIsShownAndTheDialogStaysUsable)
{
    kado.Connector = [](engine::Connection &) {};
    kado.TableLister = [](engine::Connection &) -> QStringList {
        throw engine::EngineError(QStringLiteral("Die Datei ist beschädigt"));
    };
    picks = {touch("kaputt.mdb")};
    confirm = false;
    openChooser(QString());
    EXPECT_EQ(errors, QStringList{QStringLiteral("Die Datei ist beschädigt")});
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(seen.tables.isEmpty());
}

TEST(OpenDialogForm, ControlsKindListAndBrowseSettingsPerKind)
{
    guiApp();
    TKADOopen kado;
    TFMADOOpenDialog dialog(kado);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Tabelle öffnen"));
    for (const char *name : {"EDDatabase", "SPBOpen", "CBDatabaseType", "CBTable", "LBHeading", "Bevel1", "Bevel2"})
        EXPECT_NE(dialog.findChild<QWidget *>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_EQ(items(dialog.CBDatabaseType), databaseTypeLabels());
    EXPECT_TRUE(dialog.CBDatabaseType->isEditable());
    EXPECT_FALSE(dialog.CBTable->isEditable());
    EXPECT_TRUE(dialog.BTOk->isDefault());
    EXPECT_EQ(dialog.BTCancel->text(), QStringLiteral("Abbrechen"));

    const QString dbase = QStringLiteral("dBASE Tabellen (*.dbf)|*.dbf");
    const QString paradox = QStringLiteral("Paradox Tabellen (*.db)|*.db");
    const QString excel = QStringLiteral("MS-Excel Tabellen (*.xls)|*.xls");
    const QString expected[DatabaseTypeCount] = {
        AllDatabases, QStringLiteral("MS-Access Tabellen (*.mdb)|*.mdb"), dbase, dbase, dbase, paradox, paradox,
        paradox, dbase, dbase, dbase, dbase, excel, excel, excel, excel, QStringLiteral("HTML Tabellen (*.htm *.html)|*.htm; *.html"),
        QString(), QStringLiteral("CSV Tabellen (*.csv)|*.csv")};
    for (int i = 0; i < DatabaseTypeCount; ++i) {
        SCOPED_TRACE(i);
        dialog.OpenDialog = TOpenDialog{QStringLiteral("T"), QStringLiteral("F"), QStringLiteral("E"), QString()};
        dialog.CBDatabaseType->setCurrentIndex(i);
        emit dialog.CBDatabaseType->activated(i); // as when the user picks the kind
        if (expected[i].isEmpty()) {
            EXPECT_EQ(dialog.OpenDialog.Filter, QStringLiteral("F")); // HTML export: unchanged
            EXPECT_EQ(dialog.OpenDialog.Title, QStringLiteral("T"));
            continue;
        }
        EXPECT_EQ(dialog.OpenDialog.Filter, expected[i]);
        // HTML pages are offered as ".htm" and ".html"; a name typed without ending gets ".htm".
        const QString pattern = i == dtHTMLimport ? QStringLiteral("*.htm") : expected[i].section(QLatin1Char('|'), 1);
        EXPECT_EQ(dialog.OpenDialog.DefaultExt, pattern);
    }
    EXPECT_EQ(browseSettingsForKind(5)->Title, QStringLiteral("Paradox Tabelle öffnen"));
    EXPECT_EQ(browseSettingsForKind(0)->Title, QStringLiteral("Datenbanken öffnen"));
    EXPECT_FALSE(browseSettingsForKind(-1));
    EXPECT_FALSE(browseSettingsForKind(19));
}

TEST(OpenDialogForm, OnlyTheUsersKindChoiceChangesTheBrowseDialog)
{
    guiApp();
    TKADOopen kado;
    TFMADOOpenDialog dialog(kado);
    dialog.CBDatabaseType->setCurrentIndex(12); // as the activation selects a kind
    EXPECT_EQ(dialog.OpenDialog.Title, QStringLiteral("Datenbank öffnen"));
    emit dialog.CBDatabaseType->activated(12);
    EXPECT_EQ(dialog.OpenDialog.Title, QStringLiteral("MS-Excel Tabelle öffnen"));
}

TEST(OpenDialogFilters, FileDialogFormsOfTheFilters)
{
    EXPECT_EQ(nameFiltersFromFilter(AllDatabasesOpenFilter),
              (QStringList{"Alle Datenbanken (*.mdb *.dbf *.db *.xls *.csv *.htm *.html)", "MS-Access (*.mdb)",
                           "dBASE, FoxPro (*.dbf)", "Paradox (*.db)", "MS-Excel (*.xls)", "CSV Text Tabellen (*.csv)",
                           "HTML Tabellen (*.htm *.html)"}));
    EXPECT_EQ(nameFiltersFromFilter(QStringLiteral("dBASE Tabellen (*.dbf)|*.dbf")),
              QStringList{"dBASE Tabellen (*.dbf)"});
    EXPECT_EQ(nameFiltersFromFilter(QStringLiteral("Text (*.txt)|*.csv")), QStringList{"Text (*.txt) (*.csv)"});
    EXPECT_EQ(defaultSuffixFromExt(QStringLiteral("*.mdb")), QStringLiteral("mdb"));
    EXPECT_EQ(defaultSuffixFromExt(AllExt), QString());
    EXPECT_EQ(defaultSuffixFromExt(QString()), QString());
}

TEST(OpenDialogFilters, ReplaceTextReplacesEveryOccurrenceAndKeepsLongNames)
{
    EXPECT_EQ(ReplaceText(QStringLiteral("kunden#csv"), "#", "."), QStringLiteral("kunden.csv"));
    EXPECT_EQ(ReplaceText(QStringLiteral("#a##b#"), "#", "."), QStringLiteral(".a..b."));
    EXPECT_EQ(ReplaceText(QStringLiteral("ohne"), "#", "."), QStringLiteral("ohne"));
    const QString longName = QString(300, QLatin1Char('x'));
    EXPECT_EQ(ReplaceText(QStringLiteral("a#") + longName, "#", "."), QStringLiteral("a.") + longName);
    EXPECT_EQ(ReplaceText(QStringLiteral("a#b"), "#", "##"), QStringLiteral("a##b")); // ends
    EXPECT_EQ(ReplaceText(QStringLiteral("abc"), QString(), "."), QStringLiteral("abc"));
    EXPECT_EQ(ReplaceText(QStringLiteral("ab#cd#"), "cd#", "."), QStringLiteral("ab#."));
}

} // namespace

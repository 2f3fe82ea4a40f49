// "Speichern unter...": the destination a file name gives, the question before
// a file is replaced, names of no known kind, and the message of what changed.
#include "Driver.h"
#include "ExportDestination.h"
#include "ProgramTest.h"
#include "TestSupport.h"

#include <QAction>
#include <QDir>
#include <QFile>

using namespace data;
using testsupport::ScratchDir;

TEST(ExportDestination, KindAndNamesFollowTheExtensionInAnyCase)
{
    for (const char *name : {"/tmp/aus/kunden.dbf", "/tmp/aus/KUNDEN.DBF"}) {
        const auto d = exportDestinationFor(QString::fromLatin1(name));
        ASSERT_TRUE(d.has_value()) << name;
        EXPECT_EQ(d->type, dtDBase4);
        EXPECT_EQ(d->databaseName, QStringLiteral("/tmp/aus/")); // with its trailing separator
        EXPECT_EQ(d->tableName, QFileInfo(QString::fromLatin1(name)).fileName());
    }
    EXPECT_EQ(exportDestinationFor(QStringLiteral("/tmp/aus/k.Db"))->type, dtParadox5);
    EXPECT_EQ(exportDestinationFor(QStringLiteral("/tmp/aus/k.db"))->databaseName, QStringLiteral("/tmp/aus"));
    EXPECT_EQ(exportDestinationFor(QStringLiteral("/tmp/aus/k.htm"))->type, dtHTMLexport);
    EXPECT_EQ(exportDestinationFor(QStringLiteral("/tmp/aus/k.html"))->type, dtHTMLexport);
    EXPECT_EQ(exportDestinationFor(QStringLiteral("/tmp/aus/k.CSV"))->type, dtText);
    const auto xls = exportDestinationFor(QStringLiteral("/tmp/aus/mappe.xls"));
    EXPECT_EQ(xls->type, dtExcel8);
    EXPECT_EQ(xls->databaseName, QStringLiteral("/tmp/aus/mappe.xls"));
    EXPECT_EQ(xls->tableName, QStringLiteral("Tabelle"));
    for (const char *name : {"/tmp/aus/k.txt", "/tmp/aus/k", "/tmp/aus/k.dbf.bak", "/tmp/aus/k.mdb"})
        EXPECT_FALSE(exportDestinationFor(QString::fromLatin1(name)).has_value()) << name;

    EXPECT_TRUE(exportChangesText({}).isEmpty());
    QStringList many;
    for (int i = 0; i < 40; ++i)
        many << QStringLiteral("Das Feld \"Feld%1\" heißt in der dBASE-Tabelle \"F%1\".").arg(i);
    const QString text = exportChangesText(many);
    EXPECT_LE(text.size(), 500);
    EXPECT_TRUE(text.contains(many.first()));
    EXPECT_TRUE(text.contains(QStringLiteral("weitere"))) << "what does not fit is counted, not dropped silently";
}

class ExportCommandTest : public ProgramTest {
protected:
    QString chosen;
    int dialogs = 0;
    ScratchDir dir;

    void SetUp() override
    {
        ProgramTest::SetUp();
        w->SaveDialogHook = [this] {
            ++dialogs;
            return chosen;
        };
    }
};

TEST_F(ExportCommandTest, ExportsTheOpenTableAndAsksBeforeReplacing)
{
    w->action(QStringLiteral("ACSaveAs"))->trigger();
    EXPECT_EQ(dialogs, 0) << "no table: not even the dialog";

    const QString table = dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf"));
    dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbt"));
    w->Oeffnen(table);
    ASSERT_TRUE(w->TBView.Active());
    QDir().mkpath(dir.file(QStringLiteral("aus")));
    chosen = dir.file(QStringLiteral("aus/Kopie \"1\".csv"));
    w->action(QStringLiteral("ACSaveAs"))->trigger();
    EXPECT_TRUE(boxes.isEmpty()) << boxes.value(0).text.toStdString();
    EXPECT_EQ(w->KADOopen1.RowsExported(), 4);
    EXPECT_EQ(w->KADOopen1.LastStatement(),
              QStringLiteral("SELECT * INTO [Kopie \"1\".csv] IN \"%1\" \"Text;\" FROM CARS.DBF").arg(dir.file(QStringLiteral("aus"))));
    EXPECT_TRUE(w->TBView.Active()) << "the open table stays open";
    const QByteArray first = testsupport::readAll(chosen);
    EXPECT_TRUE(first.startsWith("\"NAME\",\"YEAR\"")) << first.left(40).toStdString();

    // The same file again: "no" leaves it alone, "yes" replaces it.
    QFile::remove(dir.file(QStringLiteral("aus/schema.ini")));
    QFile::resize(chosen, 10);
    answer = app::IDNO;
    w->action(QStringLiteral("ACSaveAs"))->trigger();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Datei \"%1\" existiert. Überschreiben?").arg(chosen));
    EXPECT_EQ(QFileInfo(chosen).size(), 10);
    answer = app::IDYES;
    w->action(QStringLiteral("ACSaveAs"))->trigger();
    EXPECT_EQ(testsupport::readAll(chosen), first);
    EXPECT_EQ(boxes.size(), 2);

    // A workbook replaced by a second export holds the one new table again.
    chosen = dir.file(QStringLiteral("aus/mappe.xls"));
    w->action(QStringLiteral("ACSaveAs"))->trigger();
    w->action(QStringLiteral("ACSaveAs"))->trigger();
    EXPECT_EQ(boxes.size(), 3) << "asked once, before the second export";
    EXPECT_EQ(w->KADOopen1.LastStatement(),
              QStringLiteral("SELECT * INTO Tabelle IN \"%1\" \"Excel 8.0;\" FROM CARS.DBF").arg(chosen));
    EXPECT_EQ(engine::driverFor(QStringLiteral("Excel 8.0"))->tableNames(chosen),
              (QStringList{QStringLiteral("Tabelle$"), QStringLiteral("Tabelle")}));
}

TEST_F(ExportCommandTest, UnknownKindStopsBeforeAnythingIsTouchedAndChangesAreTold)
{
    ScratchDir source;
    QFile csv(source.file(QStringLiteral("lang.csv")));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("Kundennummer,Ort\r\n1,K\xc3\xb6ln\r\n");
    csv.close();
    w->Oeffnen(source.file(QStringLiteral("lang.csv")));
    ASSERT_TRUE(w->TBView.Active());

    chosen = dir.file(QStringLiteral("liste.txt"));
    QFile old(chosen);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("alt");
    old.close();
    answer = app::IDYES;
    w->action(QStringLiteral("ACSaveAs"))->trigger();
    ASSERT_EQ(boxes.size(), 1); // the reason, without asking first
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("kann nicht exportiert werden"))) << boxes[0].text.toStdString();
    EXPECT_EQ(testsupport::readAll(chosen), QByteArray("alt"));

    boxes.clear();
    chosen = dir.file(QStringLiteral("kunden.dbf"));
    w->action(QStringLiteral("ACSaveAs"))->trigger();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Information);
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("\"Kundennummer\" heißt in der dBASE-Tabelle \"Kundennumm\"")))
        << boxes[0].text.toStdString();
    EXPECT_EQ(w->KADOopen1.RowsExported(), 1);
}

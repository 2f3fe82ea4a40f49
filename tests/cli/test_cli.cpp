// brisvel-cli run as a user runs it, on the real files.
#include "CliRun.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using testsupport::ScratchDir;
using testsupport::fixture;

using clitest::Result;
using clitest::runCli;
using clitest::dbfreadDump;

TEST(Cli, DumpIsCsvWithGermanValues)
{
    const Result r = runCli({QStringLiteral("dump"), fixture(QStringLiteral("dbase/dbfread/people.dbf"))});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("NAME,BIRTHDATE\r\nAlice,01.03.1987\r\nBob,12.11.1980\r\n"))
        << "the deleted third record is not shown";
    EXPECT_TRUE(r.err.isEmpty());

    const Result es = runCli({QStringLiteral("dump"), fixture(QStringLiteral("dbase/javadbf/provincias_es.dbf"))});
    const QStringList lines = es.out.split(QStringLiteral("\r\n"));
    ASSERT_GT(lines.size(), 5);
    EXPECT_EQ(lines.at(0), QStringLiteral("Codigo,Texto,Texto_Alt,Cod_CCAA,CCAA"));
    EXPECT_EQ(lines.at(1), QStringLiteral("01,Álava,Araba,16,País Vasco"));
    EXPECT_TRUE(lines.at(4).contains(QStringLiteral("Almería")));
    EXPECT_EQ(lines.size(), 52 + 2);
}

TEST(Cli, DumpQuotesMemosWithLineBreaks)
{
    const Result r = runCli({QStringLiteral("dump"), fixture(QStringLiteral("dbase/infused-dbf/dbase_83.dbf"))});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral(
        "\"Our Original assortment...a little taste of heaven for everyone.  Let us\r\nselect a special assortment")));
}

// Every value of these real tables, as an independent reader sees it.
TEST(Cli, DumpAgreesWithAnIndependentReader)
{
    const struct {
        const char *file;
        const char *encoding;
    } tables[] = {
        {"dbase/dbfread/people.dbf", "cp437"},
        {"dbase/csvkit/testdbf.dbf", "cp437"},
        {"dbase/javadbf/provincias_es.dbf", "cp1252"},
        {"dbase/infused-dbf/dbase_03.dbf", "cp437"},
        {"dbase/infused-dbf/dbase_83.dbf", "cp437"},
        {"dbase/dans-dbase3plus/NUMBER.DBF", "cp437"},
        {"dbase/dans-dbase3plus/DATE.DBF", "cp437"},
        {"dbase/dans-dbase3plus/BOOLEAN.DBF", "cp437"},
        {"dbase/dbd-xbase/test.dbf", "cp437"},
        {"dbase/simatic-s7/siprom/CHANGELOG.DBF", "cp437"},
        {"foxpro/infused-dbf/dbase_30.dbf", "cp1252"},
        {"foxpro/infused-dbf/dbase_31.dbf", "cp1252"},
        {"foxpro/infused-dbf/dbase_f5.dbf", "cp437"},
        {"foxpro/dbfread/memotest.dbf", "cp1252"},
        {"foxpro/javadbf-xsource/payments.dbf", "cp1252"},
    };
    for (const auto &t : tables) {
        SCOPED_TRACE(t.file);
        const QString path = fixture(QString::fromLatin1(t.file));
        const Result r = runCli({QStringLiteral("dump"), path});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const QStringList ours = r.out.split(QStringLiteral("\r\n"));
        const QStringList theirs = dbfreadDump(path, t.encoding).split(QStringLiteral("\r\n"));
        ASSERT_EQ(ours.size(), theirs.size());
        for (int i = 0; i < ours.size(); ++i)
            ASSERT_EQ(ours.at(i), theirs.at(i)) << "line " << i;
    }
}

TEST(Cli, StructureListsFieldsWithGermanTypeNames)
{
    const Result r = runCli({QStringLiteral("structure"), fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf"))});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList lines = r.out.split(QLatin1Char('\n'));
    ASSERT_GT(lines.size(), 8);
    EXPECT_EQ(lines.at(0), QStringLiteral("Nr\tFeldname\tFeldtyp\tLänge"));
    EXPECT_EQ(lines.at(1), QStringLiteral("1\tNAME\tZeichen\t15"));
    EXPECT_EQ(lines.at(2), QStringLiteral("2\tYEAR\t32-Bit-Integer\t4"));
    EXPECT_EQ(lines.at(3), QStringLiteral("3\tSEDAN\tLogisch\t1"));
    EXPECT_EQ(lines.at(4), QStringLiteral("4\tPROD_DATE\tDatum\t8"));
    EXPECT_EQ(lines.at(5), QStringLiteral("5\tCC\tGleitkomma\t7"));
    EXPECT_EQ(lines.at(6), QStringLiteral("6\tDESCR\tMemo\t10"));
    EXPECT_TRUE(r.out.contains(QStringLiteral("Satzanzahl\t4\n")));
}

TEST(Cli, FileNamesWorkAsTheProgramTakesThem)
{
    ScratchDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("Daten Ordner"));
    const QString folder = dir.file(QStringLiteral("Daten Ordner"));
    QFile::copy(fixture(QStringLiteral("dbase/dbfread/people.dbf")), folder + QStringLiteral("/people.dbf"));
    QFile::copy(fixture(QStringLiteral("dbase/dans-dbase3plus/DATE.DBF")), folder + QStringLiteral("/DATE.DBF"));

    // Blanks in the path, and a folder name whose case must be kept.
    const Result plain = runCli({QStringLiteral("dump"), folder + QStringLiteral("/people.dbf")});
    EXPECT_EQ(plain.status, 0) << plain.err.toStdString();
    EXPECT_TRUE(plain.out.startsWith(QStringLiteral("NAME,BIRTHDATE")));

    const Result bracket = runCli({QStringLiteral("dump"), folder + QStringLiteral("/[DATE.DBF]")});
    EXPECT_EQ(bracket.status, 0) << bracket.err.toStdString();
    EXPECT_TRUE(bracket.out.contains(QStringLiteral("10.06.1999")));

    const Result tables = runCli({QStringLiteral("tables"), folder + QStringLiteral("/people.dbf")});
    EXPECT_EQ(tables.out, QStringLiteral("DATE\npeople\n"));
}

TEST(Cli, ErrorsAreGermanOnStandardError)
{
    const Result missing = runCli({QStringLiteral("dump"), QStringLiteral("/nicht/da/kunden.dbf")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.out.isEmpty());
    EXPECT_TRUE(missing.err.startsWith(QStringLiteral("brisvel-cli: "))) << missing.err.toStdString();

    ScratchDir dir;
    QFile broken(dir.file(QStringLiteral("kaputt.dbf")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray("\x03\x7e\x01", 3));
    broken.close();
    const Result damaged = runCli({QStringLiteral("dump"), broken.fileName()});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_TRUE(damaged.err.contains(QStringLiteral("kaputt.dbf"))) << damaged.err.toStdString();

    // A folder names no table: said so, not "no data source".
    const Result folder = runCli({QStringLiteral("tables"), dir.path()});
    EXPECT_EQ(folder.status, 1);
    EXPECT_TRUE(folder.out.isEmpty());
    EXPECT_TRUE(folder.err.contains(QStringLiteral("ist ein Ordner"))) << folder.err.toStdString();

    const Result usage = runCli({QStringLiteral("zeigen"), QStringLiteral("x.dbf")});
    EXPECT_EQ(usage.status, 2);
    EXPECT_TRUE(usage.err.contains(QStringLiteral("Unbekannter Befehl")));
}

TEST(Cli, DumpInIndexOrderAndFiltered)
{
    const Result ordered = runCli({QStringLiteral("dump"), QStringLiteral("--index"), QStringLiteral("ndx-char"),
                                   fixture(QStringLiteral("dbase/dbd-xbase/ndx-char.dbf"))});
    ASSERT_EQ(ordered.status, 0) << ordered.err.toStdString();
    QStringList keys = ordered.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    keys.removeFirst();
    EXPECT_EQ(keys.join(QLatin1Char(' ')),
              QStringLiteral("1 1 10 10 15 1z 2 2 2h 2z 3 3 3a 4 4 4e 5 5 5b 6 6 6g 7 7 8 8 8d 9"))
        << "the order the index file stores";

    const QString cars = fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf"));
    const auto names = [&](QStringList arguments) {
        arguments.prepend(QStringLiteral("dump"));
        arguments << QStringLiteral("--filter") << QStringLiteral("NAME = 'p*'") << cars;
        const Result r = runCli(arguments);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        QStringList found;
        for (const QString &line : r.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).mid(1))
            if (!line.startsWith(QLatin1Char(' ')) && line.contains(QLatin1Char(',')))
                found << line.section(QLatin1Char(','), 0, 0);
        return found;
    };
    EXPECT_EQ(names({}), (QStringList{QStringLiteral("PASSAT"), QStringLiteral("POLO")}));
    EXPECT_EQ(names({QStringLiteral("--case-sensitive")}), QStringList());
    EXPECT_EQ(names({QStringLiteral("--exact")}), QStringList());

    const Result unknown = runCli({QStringLiteral("dump"), QStringLiteral("--index"), QStringLiteral("NIX"), cars});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("Index 'NIX' nicht gefunden")));
}

TEST(Cli, TextTablesOpenThroughTheDescriptor)
{
    const Result latin1 = runCli({QStringLiteral("dump"), fixture(QStringLiteral("csv/csvkit/test_latin1.csv"))});
    ASSERT_EQ(latin1.status, 0) << latin1.err.toStdString();
    EXPECT_EQ(latin1.out, QStringLiteral("a,b,c\r\n1,2,3\r\n4,5,©\r\n"));

    const Result tables = runCli({QStringLiteral("tables"), fixture(QStringLiteral("csv/csv-spectrum/simple.csv"))});
    EXPECT_TRUE(tables.out.split(QLatin1Char('\n')).contains(QStringLiteral("simple#csv")));

    const Result types = runCli({QStringLiteral("structure"), fixture(QStringLiteral("csv/rows/all-field-types.csv"))});
    EXPECT_TRUE(types.out.contains(QStringLiteral("\tdate_column\tDatum\t"))) << types.out.toStdString();
}

TEST(Cli, ExportWritesTheTargetAndNeverReplacesUnasked)
{
    ScratchDir dir;
    const QString target = dir.file(QStringLiteral("leute.csv"));
    const Result r = runCli({QStringLiteral("export"), fixture(QStringLiteral("dbase/dbfread/people.dbf")), target});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("2 Datensätze exportiert.\n"));
    // The copy holds the file's two live records (Alice 1987-03-01, Bob 1980-11-12; the
    // deleted third stays behind), as a quoted CSV text with CR LF line ends.
    EXPECT_EQ(testsupport::readAll(target),
              QByteArray("\"NAME\",\"BIRTHDATE\"\r\n\"Alice\",1987-03-01\r\n\"Bob\",1980-11-12\r\n"));

    const QByteArray before = testsupport::readAll(target);
    const Result again = runCli({QStringLiteral("export"), fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")), target});
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("--overwrite"))) << again.err.toStdString();
    EXPECT_EQ(testsupport::readAll(target), before);
    const Result replaced = runCli({QStringLiteral("export"), QStringLiteral("--overwrite"),
                                    fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")), target});
    EXPECT_EQ(replaced.out, QStringLiteral("4 Datensätze exportiert.\n")) << replaced.err.toStdString();

    const Result bad = runCli({QStringLiteral("export"), fixture(QStringLiteral("dbase/dbfread/people.dbf")),
                               dir.file(QStringLiteral("leute.txt"))});
    EXPECT_EQ(bad.status, 1);
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("leute.txt"))));
    EXPECT_EQ(runCli({QStringLiteral("export"), fixture(QStringLiteral("dbase/dbfread/people.dbf"))}).status, 2);
}

TEST(Cli, WorkbooksAndDatabasesListTheirTablesAndNameThemWhenOneMustBeChosen)
{
    const QString book = fixture(QStringLiteral("excel/xlrd/namesdemo.xls"));
    const Result tables = runCli({QStringLiteral("tables"), book});
    EXPECT_EQ(tables.status, 0) << tables.err.toStdString();
    EXPECT_TRUE(tables.out.startsWith(QStringLiteral("Sheet1$\nSheet2$\n"))) << tables.out.toStdString();
    const Result choose = runCli({QStringLiteral("dump"), fixture(QStringLiteral("access/mdbtestdata/nwind.mdb"))});
    EXPECT_EQ(choose.status, 1);
    EXPECT_TRUE(choose.err.contains(QStringLiteral("--table"))) << choose.err.toStdString();
    EXPECT_TRUE(choose.err.contains(QStringLiteral("Customers, Employees"))) << choose.err.toStdString();
    const Result chosen = runCli({QStringLiteral("dump"), QStringLiteral("--table"), QStringLiteral("Umsätze"),
                                  fixture(QStringLiteral("access/mdbtestdata/nwind.mdb"))});
    EXPECT_TRUE(chosen.out.startsWith(QStringLiteral("OrderID,CustomerID"))) << chosen.err.toStdString();
    EXPECT_TRUE(chosen.out.contains(QStringLiteral("Carrera 52 con Ave. Bolívar #65-98 Llano Largo")));
    EXPECT_EQ(runCli({QStringLiteral("tables"), QStringLiteral("/nicht/da/mappe.xls")}).status, 1);
}

// Names the program reads are opened; the others say what is wrong with them,
// never that no data source was given.
TEST(Cli, EveryKindOfNameOpensOrSaysWhatIsWrong)
{
    ScratchDir dir;
    const QString tsv = dir.copyFixture(QStringLiteral("csv/csvkit/dummy.tsv"));
    const Result text = runCli({QStringLiteral("dump"), tsv});
    EXPECT_EQ(text.status, 0) << text.err.toStdString();
    EXPECT_TRUE(text.out.startsWith(QStringLiteral("a,b,c"))) << text.out.toStdString();

    const Result accdb = runCli({QStringLiteral("tables"), fixture(QStringLiteral("access/mdbtestdata/ASampleDatabase.accdb"))});
    EXPECT_EQ(accdb.status, 0) << accdb.err.toStdString();
    EXPECT_TRUE(accdb.out.contains(QStringLiteral("Asset Items"))) << accdb.out.toStdString();

    // A folder whose own name holds brackets, in the bracket form.
    QDir(dir.path()).mkdir(QStringLiteral("alt [x]"));
    QFile::copy(fixture(QStringLiteral("dbase/dbfread/people.dbf")), dir.file(QStringLiteral("alt [x]/people.dbf")));
    const Result bracket = runCli({QStringLiteral("dump"), dir.file(QStringLiteral("alt [x]/[people.dbf]"))});
    EXPECT_EQ(bracket.status, 0) << bracket.err.toStdString();
    EXPECT_TRUE(bracket.out.startsWith(QStringLiteral("NAME,BIRTHDATE"))) << bracket.out.toStdString();

    const struct {
        QString name;
        QString says;
    } refused[] = {
        {dir.file(QStringLiteral("alt [x]")), QStringLiteral("ist ein Ordner")},
        {tsv.chopped(4) + QStringLiteral(".xyz"), QStringLiteral("hat eine unbekannte Endung")},
        {dir.file(QString(300, u'a') + QStringLiteral("/t.dbf")), QStringLiteral("länger, als das System erlaubt")},
        {dir.file(QStringLiteral("fehlt.dbf")), QStringLiteral("fehlt.dbf")},
    };
    QFile::copy(tsv, tsv.chopped(4) + QStringLiteral(".xyz"));
    for (const auto &r : refused) {
        const Result result = runCli({QStringLiteral("dump"), r.name});
        EXPECT_EQ(result.status, 1) << r.name.toStdString();
        EXPECT_TRUE(result.err.contains(r.says)) << result.err.toStdString();
        EXPECT_FALSE(result.err.contains(QStringLiteral("keine Datenquelle"))) << result.err.toStdString();
    }
}

// A damaged workbook made libgsf print "** (process:…): WARNING **: Unable to
// get child[0] for infile…" beside the program's own German message.
TEST(Cli, LibraryWarningsStayOutOfTheOutput)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("excel/xlrd/issue20.xls"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek(4748));
    f.write("\xd3", 1); // a block number of the container's allocation table
    f.close();
    for (const char *command : {"tables", "dump"}) {
        const Result r = runCli({QString::fromLatin1(command), path});
        EXPECT_EQ(r.status, 1) << command;
        for (const QString &line : r.err.split(u'\n', Qt::SkipEmptyParts))
            EXPECT_TRUE(line.startsWith(QStringLiteral("brisvel-cli: "))) << command << ": " << line.toStdString();
    }
}

// A damaged index file is told as that, by its name; "TBView: Index 'X' nicht
// gefunden" named an internal object and hid the damage.
TEST(Cli, DamagedIndexFileIsNamed)
{
    ScratchDir dir;
    const QString table = dir.copyFixture(QStringLiteral("foxpro/javadbf-xsource/employees.dbf"));
    dir.copyFixture(QStringLiteral("foxpro/javadbf-xsource/employees.fpt"));
    const QString index = dir.copyFixture(QStringLiteral("foxpro/javadbf-xsource/employees.cdx"));
    const Result good = runCli({QStringLiteral("dump"), QStringLiteral("--index"), QStringLiteral("LASTNAME"), table});
    ASSERT_EQ(good.status, 0) << good.err.toStdString();

    QFile f(index);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.write("\xf0\xff\xff\x7f", 4); // the root page far beyond the file's end
    f.close();
    const Result r = runCli({QStringLiteral("dump"), QStringLiteral("--index"), QStringLiteral("LASTNAME"), table});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("employees.cdx"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("beschädigt"))) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("nicht gefunden"))) << r.err.toStdString();
}

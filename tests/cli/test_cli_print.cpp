// brisvel-cli print: the table and its structure into PDF files, read back by poppler.
#include "PdfText.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using testsupport::ScratchDir;
using testsupport::fixture;
using testsupport::pdfPages;

namespace {

using Result = testsupport::ProgramRun;

// No display: the tool must need none.
Result runPrint(const QStringList &arguments)
{
    return testsupport::runProgram(QStringLiteral("brisvel-cli"), QStringList{QStringLiteral("print")} + arguments, true);
}

const QString Cars = QStringLiteral("dbase/dans-dbase3plus/cars.dbf");

} // namespace

TEST(CliPrint, TableIntoPdfAsTheProgramPrintsIt)
{
    ScratchDir dir;
    const QString pdf = dir.file(QStringLiteral("cars.pdf"));
    const Result r = runPrint({fixture(Cars), pdf});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("1 Seite gedruckt in %1.\n").arg(pdf));
    EXPECT_EQ(testsupport::pdfPageCount(pdf), 1);
    EXPECT_TRUE(testsupport::pdfPageSize(pdf).startsWith(QStringLiteral("595 x 842 pts")));
    EXPECT_EQ(pdfPages(pdf).value(0),
              (QStringList{QStringLiteral("CARS.DBF Seite: 1"),
                           QStringLiteral("NAME            YEAR        SEDAN PROD_DATE  CC"),
                           QString(57, QLatin1Char('-')),
                           QStringLiteral("PASSAT                    0 False 01.01.1977       0,000"),
                           QStringLiteral("POLO                   2000 False 03.12.1901     333,444"),
                           QStringLiteral("JETTA                  1990 True  12.02.1990     999,999")}));
    // Ten device pixels per point: 100 pixels at 600 dpi are 12 points.
    const QVector<double> tops = testsupport::pdfLineTops(pdf);
    ASSERT_GE(tops.size(), 5);
    EXPECT_NEAR(tops[4] - tops[3], 12.0, 0.05);

    // 594 records: 61 a page under the four header positions.
    const QString many = dir.file(QStringLiteral("num.pdf"));
    const Result m = runPrint({fixture(QStringLiteral("dbase/dbd-xbase/ndx-num.dbf")), many});
    ASSERT_EQ(m.status, 0) << m.err.toStdString();
    EXPECT_EQ(m.out, QStringLiteral("10 Seiten gedruckt in %1.\n").arg(many));
    EXPECT_EQ(testsupport::pdfPageCount(many), 10);
}

TEST(CliPrint, FilterIndexFontSizeAndLandscape)
{
    ScratchDir dir;
    const QString pdf = dir.file(QStringLiteral("ndx.pdf"));
    // ndx-char.dbf: 28 records, the index orders V1; the filter keeps the nine from "6" on.
    const QString table = dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ndx-char.dbf"));
    dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ndx-char.ndx"));
    const Result r = runPrint({QStringLiteral("--index"), QStringLiteral("ndx-char"), QStringLiteral("--filter"),
                               QStringLiteral("V1 >= '6'"), QStringLiteral("--font-size"), QStringLiteral("14"),
                               QStringLiteral("--landscape"), table, pdf});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("1 Seite gedruckt in %1.\n").arg(pdf));
    EXPECT_TRUE(testsupport::pdfPageSize(pdf).startsWith(QStringLiteral("842 x 595 pts")));
    const QStringList page = pdfPages(pdf).value(0);
    ASSERT_EQ(page.size(), 3 + 9);
    EXPECT_EQ(page[0], QStringLiteral("NDX-CHAR.DBF Seite: 1"));
    QStringList values;
    for (const QString &line : page.mid(3))
        values << line.trimmed();
    EXPECT_EQ(values, (QStringList{"6", "6", "6g", "7", "7", "8", "8", "8d", "9"}));
    const QVector<double> tops = testsupport::pdfLineTops(pdf);
    ASSERT_GE(tops.size(), 5);
    EXPECT_NEAR(tops[4] - tops[3], 16.8, 0.05);
}

TEST(CliPrint, StructurePrintout)
{
    ScratchDir dir;
    const QString pdf = dir.file(QStringLiteral("struktur.pdf"));
    const Result r = runPrint({QStringLiteral("--structure"), fixture(Cars), pdf});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList page = pdfPages(pdf).value(0);
    ASSERT_EQ(page.size(), 15);
    EXPECT_EQ(page[0], QStringLiteral("Tabellenstruktur für CARS.DBF"));
    EXPECT_TRUE(page[1].startsWith(QStringLiteral("Datenbank     : ")));
    EXPECT_TRUE(page[1].contains(QStringLiteral("dans-dbase3plus"))) << page[1].toStdString();
    EXPECT_EQ(page[3], QStringLiteral("Satzanzahl    : 4"));
    EXPECT_EQ(page[4], QStringLiteral("Satzgröße     : 46"));
    EXPECT_EQ(page[8], QString(85, QLatin1Char('-')));
    EXPECT_EQ(page[10], QStringLiteral("2     YEAR                 32-Bit-Integer              4"));
    EXPECT_EQ(page[14], QStringLiteral("6     DESCR                Memo                       10"));
}

TEST(CliPrint, WrongCallsAndRefusals)
{
    ScratchDir dir;
    const QString pdf = dir.file(QStringLiteral("x.pdf"));
    Result r = runPrint({QStringLiteral("--font-size"), QStringLiteral("20"), fixture(Cars), pdf});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Die Schriftgröße muss eine Zahl von 4 bis 14 sein, nicht '20'.")))
        << r.err.toStdString();
    r = runPrint({fixture(Cars), dir.file(QStringLiteral("x.txt"))});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("endet nicht auf .pdf"))) << r.err.toStdString();
    {
        QFile old(pdf);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("alt");
    }
    r = runPrint({fixture(Cars), pdf});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("mit --overwrite wird sie ersetzt"))) << r.err.toStdString();
    EXPECT_EQ(testsupport::readAll(pdf), QByteArray("alt"));
    r = runPrint({QStringLiteral("--overwrite"), fixture(Cars), pdf});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(pdfPages(pdf).value(0).value(0), QStringLiteral("CARS.DBF Seite: 1"));
    // A folder that is a file: a German message, nothing left behind.
    const QString plain = dir.file(QStringLiteral("table.txt"));
    {
        QFile f(plain);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    r = runPrint({fixture(Cars), plain + QStringLiteral("/out.pdf")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("kann nicht angelegt werden"))) << r.err.toStdString();
}

// brisvel-cli starts without the GUI libraries: the dynamic loader lists what
// the program would load, and only brisvel-print has QtGui.
TEST(CliPrint, OnlyThePrintProgramLoadsTheGuiLibraries)
{
    const auto loaded = [](const QString &program) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LD_TRACE_LOADED_OBJECTS"), QStringLiteral("1"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(BRISVEL_BUILD_DIR "/") + program, {QStringLiteral("--version")});
        process.waitForFinished(30000);
        return QString::fromUtf8(process.readAllStandardOutput());
    };
    const QString cli = loaded(QStringLiteral("brisvel-cli"));
    ASSERT_TRUE(cli.contains(QLatin1String("libQt6Core.so"))) << cli.toStdString();
    EXPECT_FALSE(cli.contains(QLatin1String("libQt6Gui.so"))) << cli.toStdString();
    EXPECT_FALSE(cli.contains(QLatin1String("libQt6Widgets.so"))) << cli.toStdString();
    EXPECT_FALSE(cli.contains(QLatin1String("libQt6PrintSupport.so"))) << cli.toStdString();
    EXPECT_TRUE(loaded(QStringLiteral("brisvel-print")).contains(QLatin1String("libQt6Gui.so")));
}

// Without brisvel-print beside it (or in ../libexec/brisvel) brisvel-cli says
// what is missing instead of failing silently; other commands still work.
TEST(CliPrint, MissingPrintProgramIsNamed)
{
    ScratchDir dir;
    const QString lonely = dir.file(QStringLiteral("brisvel-cli"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(BRISVEL_BUILD_DIR "/brisvel-cli"), lonely));
    const auto run = [&](const QStringList &arguments) {
        QProcess process;
        process.start(lonely, arguments);
        process.waitForFinished(60000);
        return std::make_pair(process.exitCode(), QString::fromUtf8(process.readAllStandardError()));
    };
    const auto [status, err] = run({QStringLiteral("print"), fixture(Cars), dir.file(QStringLiteral("c.pdf"))});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err, QStringLiteral("brisvel-cli: Drucken braucht das Programm brisvel-print, das neben "
                                  "brisvel-cli oder in ../libexec/brisvel fehlt.\n"));
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("c.pdf"))));
    EXPECT_EQ(run({QStringLiteral("tables"), fixture(Cars)}).first, 0);
}

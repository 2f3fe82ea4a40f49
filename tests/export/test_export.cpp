// Export: the statement, copying between kinds with values kept, what a kind
// cannot hold reported, and a failed export leaving an existing target alone.
#include "Connection.h"
#include "EngineError.h"
#include "ExportStatement.h"
#include "ExportTestSupport.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <gtest/gtest.h>
#include <csignal>
#include <sys/resource.h>

using namespace engine;
using namespace exporttest;
using testsupport::ScratchDir;

namespace {

QString statement(const QString &target, const QString &database, const QString &kind, const QString &source)
{
    return QStringLiteral("SELECT * INTO %1 IN %2 %3 FROM %4")
        .arg(bracketName(target), doubleQuoted(database), kind.isEmpty() ? QString() : doubleQuoted(kind + QLatin1Char(';')),
             source);
}

// A connection on a directory of one kind, as the descriptor leaves it.
struct Source {
    Connection connection;
    Source(const QString &kind, const QString &dataSource)
    {
        connection.setPropertyValue(QStringLiteral("Extended Properties"), kind);
        connection.setPropertyValue(QStringLiteral("Data Source"), dataSource);
    }
};

// The dBASE and FoxPro tables (with their memo files) that go through every export.
const char *const DbaseSources[][2] = {
    {"dbase/infused-dbf/dbase_8b.dbf", "dbase/infused-dbf/dbase_8b.dbt"},
    {"dbase/dans-dbase3plus/cars.dbf", "dbase/dans-dbase3plus/cars.dbt"},
    {"dbase/javadbf/provincias_es.dbf", nullptr},
    {"dbase/infused-dbf/dbase_03.dbf", nullptr},
    {"dbase/dans-dbase3plus/NUMBER.DBF", nullptr},
    {"dbase/dans-dbase4/FLOAT.DBF", nullptr},
    {"dbase/dans-dbase3plus/DATE.DBF", nullptr},
    {"dbase/dans-dbase3plus/BOOLEAN.DBF", nullptr},
    {"dbase/dbfread/people.dbf", nullptr},
    {"foxpro/infused-dbf/dbase_30.dbf", "foxpro/infused-dbf/dbase_30.fpt"},
};

} // namespace

TEST(ExportStatement, NamesWithQuotesBracketsAndSemicolonsReadBack)
{
    const QString names[] = {QStringLiteral("kunden.dbf"), QStringLiteral("a]b]].dbf"), QStringLiteral("x\"y\"\".csv"),
                             QStringLiteral("semi;colon und Blank.htm")};
    for (const QString &name : names) {
        const QString database = QStringLiteral("/tmp/Ordner \"mit\"; [Zeichen]/");
        const ExportStatement e = parseExportStatement(statement(name, database, QStringLiteral("dBASE IV"),
                                                                 QStringLiteral("QUELLE FROM X.DBF")));
        EXPECT_EQ(e.targetTable, name);
        EXPECT_EQ(e.targetDatabase, database);
        EXPECT_EQ(e.targetKind, QStringLiteral("dBASE IV"));
        EXPECT_EQ(e.sourceTable, QStringLiteral("QUELLE FROM X.DBF")); // everything after the first FROM
    }
    // A workbook's table is bare; without a kind two blanks stand before FROM.
    const ExportStatement excel = parseExportStatement(
        QStringLiteral("SELECT * INTO Tabelle IN \"/tmp/in mappe.xls\" \"Excel 8.0;\" FROM KUNDEN.DBF"));
    EXPECT_EQ(excel.targetTable, QStringLiteral("Tabelle"));
    EXPECT_EQ(excel.targetDatabase, QStringLiteral("/tmp/in mappe.xls"));
    EXPECT_EQ(excel.targetKind, QStringLiteral("Excel 8.0"));
    const ExportStatement access = parseExportStatement(QStringLiteral("SELECT * INTO Kunden IN \"/tmp/a.mdb\"  FROM Kunden"));
    EXPECT_TRUE(access.targetKind.isEmpty());
    EXPECT_EQ(access.sourceTable, QStringLiteral("Kunden"));

    for (const char *bad : {"SELECT * FROM x", "DELETE FROM x", "SELECT * INTO [x IN \"d\" FROM y",
                            "SELECT * INTO [x] IN \"d FROM y", "SELECT * INTO [x] IN \"d\" \"Text;\"", "SELECT * INTO [] IN \"d\" FROM y"})
        EXPECT_THROW(parseExportStatement(QString::fromLatin1(bad)), EngineError) << bad;
}

TEST(Export, DbaseTablesIntoTextAndDbaseKeepEveryValue)
{
    for (const auto &files : DbaseSources) {
        ScratchDir dir;
        const QString table = dir.copyFixture(QString::fromLatin1(files[0]));
        if (files[1])
            dir.copyFixture(QString::fromLatin1(files[1]));
        const QString name = QFileInfo(table).fileName();
        SCOPED_TRACE(name.toStdString());
        const Rows original = readRows(QStringLiteral("dBASE IV"), dir.path(), name);
        ASSERT_FALSE(original.isEmpty());

        Source source(QStringLiteral("dBASE IV"), dir.path());
        const QString out = dir.path() + QStringLiteral("/aus");
        QDir().mkpath(out);
        EXPECT_EQ(source.connection.Execute(statement(QStringLiteral("kopie.csv"), out, QStringLiteral("Text"), name.toUpper())),
                  original.size());
        EXPECT_EQ(compareRows(original, readRows(QStringLiteral("Text"), out, QStringLiteral("kopie.csv"))), QString());

        EXPECT_EQ(source.connection.Execute(statement(QStringLiteral("kopie.dbf"), out, QStringLiteral("dBASE IV"), name)),
                  original.size());
        EXPECT_EQ(compareRows(original, readRows(QStringLiteral("dBASE IV"), out, QStringLiteral("kopie.dbf"))), QString());

        // Readers that are not ours see the same values.
        EXPECT_EQ(compareRows(original, independentRows(QStringLiteral("dbf"), out + QStringLiteral("/kopie.dbf"))),
                  QString());
        EXPECT_EQ(compareRows(original, independentRows(QStringLiteral("csv"), out + QStringLiteral("/kopie.csv"))),
                  QString());
    }
}

TEST(Export, WhatDbaseCannotHoldIsKeptAndReported)
{
    ScratchDir dir;
    const QString longText = QStringLiteral("Straße ") + QString(300, QLatin1Char('x'));
    QFile csv(dir.file(QStringLiteral("lang.csv")));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write(QStringLiteral("Kundennummer,Kundenname lang,Kundenname kurz,Zeitpunkt,Wert\r\n"
                             "1,\"%1\",Müller,2024-03-01 12:30:15,0.000000000125\r\n"
                             "2,kurz,Weiß,2024-12-31 23:59:59,-12345678.5\r\n")
                  .arg(longText)
                  .toUtf8());
    csv.close();
    const Rows original = readRows(QStringLiteral("Text"), dir.path(), QStringLiteral("lang.csv"));

    Source source(QStringLiteral("Text"), dir.path());
    ASSERT_EQ(source.connection.Execute(statement(QStringLiteral("ziel.dbf"), dir.path(), QStringLiteral("dBASE IV"),
                                                  QStringLiteral("lang.csv"))),
              2);
    const QStringList names = fieldNames(QStringLiteral("dBASE IV"), dir.path(), QStringLiteral("ziel.dbf"));
    EXPECT_EQ(names, (QStringList{QStringLiteral("Kundennumm"), QStringLiteral("Kundenname"), QStringLiteral("Kundenna_1"),
                                  QStringLiteral("Zeitpunkt"), QStringLiteral("Wert")}));
    const QString changes = source.connection.LastExportChanges().join(QLatin1Char('\n'));
    EXPECT_TRUE(changes.contains(QStringLiteral("\"Kundenname lang\" heißt in der dBASE-Tabelle \"Kundenname\""))) << changes.toStdString();
    EXPECT_TRUE(changes.contains(QStringLiteral("als Memofeld"))) << changes.toStdString();
    EXPECT_TRUE(changes.contains(QStringLiteral("Datum mit Uhrzeit"))) << changes.toStdString();

    const Rows copy = readRows(QStringLiteral("dBASE IV"), dir.path(), QStringLiteral("ziel.dbf"));
    EXPECT_EQ(compareRows(original, copy), QString()); // the long text whole, the tiny and the wide number exact
    EXPECT_EQ(copy[0][1].toString(), longText);
}

namespace {

// Lets writes beyond a size fail as on a full disk, for as long as it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of ending the process
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    rlimit m_saved{};
};

QMap<QString, QByteArray> contents(const QString &directory)
{
    QMap<QString, QByteArray> files;
    for (const QString &name : QDir(directory).entryList(QDir::Files | QDir::Hidden))
        files.insert(name, testsupport::readAll(QDir(directory).filePath(name)));
    return files;
}

} // namespace

TEST(Export, FailedExportLeavesTheExistingTargetAsItWas)
{
    ScratchDir dir;
    dir.copyFixture(QStringLiteral("dbase/infused-dbf/dbase_83.dbf"));
    dir.copyFixture(QStringLiteral("dbase/infused-dbf/dbase_83.dbt"));
    dir.copyFixture(QStringLiteral("dbase/infused-dbf/dbase_03.dbf"));
    const QString out = dir.path() + QStringLiteral("/aus");
    QDir().mkpath(out);
    Source source(QStringLiteral("dBASE IV"), dir.path());
    const struct { const char *table; const char *kind; } targets[] = {{"ziel.csv", "Text"}, {"ziel.dbf", "dBASE IV"}};
    for (const auto &t : targets) {
        SCOPED_TRACE(t.table);
        const QString kind = QString::fromLatin1(t.kind), table = QString::fromLatin1(t.table);
        ASSERT_EQ(source.connection.Execute(statement(table, out, kind, QStringLiteral("DBASE_03.DBF"))), 14);
        const auto before = contents(out);
        const QStringList changesBefore = source.connection.LastExportChanges();
        {
            const FileSizeLimit full(20000); // dbase_83 needs far more
            EXPECT_THROW(source.connection.Execute(statement(table, out, kind, QStringLiteral("DBASE_83.DBF"))), EngineError);
        }
        EXPECT_EQ(contents(out), before); // the old table whole, no half-written file beside it
        EXPECT_EQ(source.connection.LastExportChanges(), changesBefore);
        EXPECT_EQ(readRows(kind, out, table).size(), 14);
    }

    // A target folder that is not there, and a target that is the source itself.
    EXPECT_THROW(source.connection.Execute(statement(QStringLiteral("x.csv"), dir.path() + QStringLiteral("/fehlt"),
                                                     QStringLiteral("Text"), QStringLiteral("DBASE_03.DBF"))),
                 EngineError);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/fehlt")));
    const auto sources = contents(dir.path());
    try {
        source.connection.Execute(statement(QStringLiteral("dbase_03.dbf"), dir.path() + QLatin1Char('/'),
                                            QStringLiteral("dBASE IV"), QStringLiteral("dbase_03.dbf")));
        ADD_FAILURE() << "exporting a table onto itself was not refused";
    } catch (const EngineError &e) {
        EXPECT_TRUE(QString(e.message()).contains(QStringLiteral("eigene Datei"))) << e.message().toStdString();
    }
    EXPECT_EQ(contents(dir.path()), sources);

    // Access databases cannot be written; other statements are refused by name.
    EXPECT_THROW(source.connection.Execute(QStringLiteral("SELECT * INTO Kunden IN \"%1/a.mdb\"  FROM DBASE_03.DBF").arg(out)),
                 EngineError);
    EXPECT_THROW(createAccessDatabase(out + QStringLiteral("/neu.mdb")), EngineError);
    EXPECT_NO_THROW(createAccessDatabase(dir.file(QStringLiteral("dbase_03.dbf")))); // a file that is there stays
    EXPECT_THROW(source.connection.Execute(QStringLiteral("SELECT * FROM DBASE_03.DBF")), EngineError);
}

// The dBASE IV memo header holds the name of its table; an export wrote the
// hidden part file's name there (".~KUNDEN-…").
TEST(Export, MemoHeaderNamesTheExportedTable)
{
    ScratchDir dir;
    dir.copyFixture(QStringLiteral("dbase/infused-dbf/dbase_83.dbf"));
    dir.copyFixture(QStringLiteral("dbase/infused-dbf/dbase_83.dbt"));
    const QString out = dir.path() + QStringLiteral("/aus");
    QDir().mkpath(out);
    Source source(QStringLiteral("dBASE IV"), dir.path());
    ASSERT_GT(source.connection.Execute(statement(QStringLiteral("Kunden.dbf"), out, QStringLiteral("dBASE IV"),
                                                  QStringLiteral("DBASE_83.DBF"))),
              0);
    const QByteArray memo = testsupport::readAll(out + QStringLiteral("/Kunden.dbt"));
    ASSERT_GE(memo.size(), 512);
    EXPECT_EQ(memo.mid(8, 8), QByteArray("KUNDEN\0\0", 8));
}

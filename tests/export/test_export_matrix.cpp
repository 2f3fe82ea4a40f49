// Every kind into every kind: a real table of each kind is exported into the
// five target kinds and read back; the values must be the ones the source holds.
// The written files are also read by readers that are not ours.
#include "Connection.h"
#include "EngineError.h"
#include "ExportStatement.h"
#include "ExportTestSupport.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace engine;
using namespace exporttest;
using testsupport::ScratchDir;

namespace {

struct SourceKind {
    const char *kind;        // the connection's "Extended Properties"
    const char *files[3];    // fixture files copied side by side; the first is the table
    bool fileIsDataSource;   // Access and Excel: the file itself is the data source
};

const SourceKind Sources[] = {
    {"dBASE IV", {"dbase/infused-dbf/dbase_8b.dbf", "dbase/infused-dbf/dbase_8b.dbt"}, false},
    {"Paradox 5.x", {"paradox/geog/tblsttes.DB", "paradox/geog/tblsttes.PX"}, false},
    {"", {"access/jackcess/testV2000.mdb"}, true},
    {"Excel 8.0", {"excel/exceldatareader/Test_num_double_date_bool_string.xls"}, true},
    {"HTML Import", {"html/rows/ibge-censo.html"}, false},
    {"Text", {"csv/csv-spectrum/quotes_and_newlines.csv"}, false},
};

struct TargetKind {
    const char *kind;
    const char *file;      // in the target folder; Excel: the workbook
    const char *table;     // the table the statement names
    const char *readAs;    // the kind that reads it back
    const char *readTable; // the table read back
    const char *independent; // the reader that is not ours
};

const TargetKind Targets[] = {
    {"dBASE IV", "kopie.dbf", "kopie.dbf", "dBASE IV", "kopie.dbf", "dbf"},
    {"Paradox 5.x", "kopie.db", "kopie.db", "Paradox 5.x", "kopie.db", nullptr},
    {"Excel 8.0", "kopie.xls", "Tabelle", "Excel 8.0", "Tabelle", "xls"},
    {"HTML Export", "kopie.htm", "kopie.htm", "HTML Import", "kopie.htm", "html"},
    {"Text", "kopie.csv", "kopie.csv", "Text", "kopie.csv", "csv"},
};

} // namespace

TEST(ExportMatrix, EveryKindIntoEveryKindReadsBackEqual)
{
    for (const SourceKind &s : Sources) {
        ScratchDir dir;
        QString table;
        for (const char *file : s.files) {
            if (!file)
                break;
            const QString copy = dir.copyFixture(QString::fromLatin1(file));
            if (table.isEmpty())
                table = copy;
        }
        const QString kind = QString::fromLatin1(s.kind);
        const QString dataSource = s.fileIsDataSource ? table : dir.path();
        Driver *driver = driverFor(kind);
        ASSERT_NE(driver, nullptr) << s.kind;
        const QString name = s.fileIsDataSource ? driver->tableNames(dataSource).value(0) : QFileInfo(table).fileName();
        SCOPED_TRACE((kind + QStringLiteral(": ") + QFileInfo(table).fileName() + QStringLiteral(" ") + name).toStdString());
        const Rows original = readRows(kind, dataSource, name);
        ASSERT_GT(original.size(), 0);

        Connection connection;
        connection.setPropertyValue(QStringLiteral("Extended Properties"), kind);
        connection.setPropertyValue(QStringLiteral("Data Source"), dataSource);
        for (const TargetKind &t : Targets) {
            SCOPED_TRACE(t.kind);
            const QString out = dir.path() + QStringLiteral("/aus");
            QDir().mkpath(out);
            const QString file = out + QLatin1Char('/') + QString::fromLatin1(t.file);
            const bool excel = QString::fromLatin1(t.kind).startsWith(QLatin1String("Excel"));
            const QString statement = QStringLiteral("SELECT * INTO %1 IN %2 %3 FROM %4")
                                          .arg(excel ? QString::fromLatin1(t.table) : bracketName(QString::fromLatin1(t.table)),
                                               doubleQuoted(excel ? file : out),
                                               doubleQuoted(QString::fromLatin1(t.kind) + QLatin1Char(';')), name);
            try {
                EXPECT_EQ(connection.Execute(statement), original.size());
            } catch (const EngineError &e) {
                ADD_FAILURE() << e.message().toStdString();
                continue;
            }
            const QString readSource = excel ? file : out;
            EXPECT_EQ(compareRows(original, readRows(QString::fromLatin1(t.readAs), readSource, QString::fromLatin1(t.readTable))),
                      QString());
            if (t.independent) {
                EXPECT_EQ(compareRows(original, independentRows(QString::fromLatin1(t.independent), file,
                                                                excel ? QString::fromLatin1(t.table) : QString())),
                          QString());
            }
        }
    }
}

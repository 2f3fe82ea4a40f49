// What a start of brisvel-cli loads: the Excel container library (libgsf with
// gio and libxml2) and the HTML parser (gumbo) only when a table of their kind
// is read or written. The dynamic loader's own report (LD_DEBUG=files) is the
// witness, not the program's code.
#include "TestSupport.h"

#include <QProcess>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The libraries the dynamic loader brought into a run of brisvel-cli, by the
// name it reports ("libgsf-1.so.114"), and the run's exit status.
struct Loaded {
    int status = -1;
    QStringList libraries;
    QString out;
};

Loaded loadedBy(const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(BRISVEL_BUILD_DIR "/brisvel-cli"), arguments);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    Loaded loaded;
    loaded.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    loaded.out = QString::fromUtf8(process.readAllStandardOutput());
    const QStringList lines = QString::fromLocal8Bit(process.readAllStandardError()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const qsizetype at = line.indexOf(QLatin1String("file="));
        if (at < 0)
            continue;
        const QString name = line.mid(at + 5).section(QLatin1Char(' '), 0, 0).section(QLatin1Char('/'), -1);
        if (!name.isEmpty() && !loaded.libraries.contains(name))
            loaded.libraries << name;
    }
    return loaded;
}

bool anyStartsWith(const QStringList &libraries, const char *prefix)
{
    for (const QString &name : libraries)
        if (name.startsWith(QLatin1String(prefix)))
            return true;
    return false;
}

const char *const ExcelOnly[] = {"libgsf-1.so", "libxml2.so", "libgio-2.0.so"};

} // namespace

TEST(CliStartup, DumpsOfOtherKindsLoadNeitherExcelNorHtmlLibraries)
{
    const QString fixtures = QStringLiteral(BRISVEL_FIXTURES_DIR);
    const QStringList tables = {
        fixtures + QStringLiteral("/access/jackcess/testV2000.mdb"),
        fixtures + QStringLiteral("/paradox/db/AREACODE.DB"),
        fixtures + QStringLiteral("/csv/csv-spectrum/comma_in_quotes.csv"),
        QStringLiteral(BRISVEL_SAMPLES_DIR "/kunden.dbf"),
    };
    for (const QString &table : tables) {
        QStringList arguments{QStringLiteral("dump")};
        if (table.endsWith(QLatin1String(".mdb")))
            arguments << QStringLiteral("--table") << QStringLiteral("Table1");
        const Loaded run = loadedBy(arguments << table);
        ASSERT_EQ(run.status, 0) << table.toStdString();
        EXPECT_FALSE(run.out.isEmpty()) << table.toStdString();
        // The witness works: the program's own libraries are in the report.
        ASSERT_TRUE(anyStartsWith(run.libraries, "libQt6Core.so")) << run.libraries.join(QLatin1Char(' ')).toStdString();
        for (const char *excel : ExcelOnly)
            EXPECT_FALSE(anyStartsWith(run.libraries, excel)) << table.toStdString() << " loads " << excel;
        EXPECT_FALSE(anyStartsWith(run.libraries, "libgumbo.so")) << table.toStdString();
    }
    const Loaded version = loadedBy({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_FALSE(anyStartsWith(version.libraries, "libgsf-1.so"));
    EXPECT_FALSE(anyStartsWith(version.libraries, "libgumbo.so"));
}

TEST(CliStartup, ExcelAndHtmlTablesLoadTheirLibraryWhenRead)
{
    const QString fixtures = QStringLiteral(BRISVEL_FIXTURES_DIR);
    const Loaded excel = loadedBy({QStringLiteral("tables"), fixtures + QStringLiteral("/excel/xlrd/namesdemo.xls")});
    ASSERT_EQ(excel.status, 0);
    EXPECT_FALSE(excel.out.isEmpty());
    EXPECT_TRUE(anyStartsWith(excel.libraries, "libgsf-1.so")) << excel.libraries.join(QLatin1Char(' ')).toStdString();
    EXPECT_FALSE(anyStartsWith(excel.libraries, "libgumbo.so"));

    const Loaded html = loadedBy({QStringLiteral("tables"), fixtures + QStringLiteral("/html/rows/simple-table.html")});
    ASSERT_EQ(html.status, 0);
    EXPECT_FALSE(html.out.isEmpty());
    EXPECT_TRUE(anyStartsWith(html.libraries, "libgumbo.so")) << html.libraries.join(QLatin1Char(' ')).toStdString();
    EXPECT_FALSE(anyStartsWith(html.libraries, "libgsf-1.so"));

    // An export into a workbook writes through libgsf as well.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Loaded written = loadedBy({QStringLiteral("export"), QStringLiteral(BRISVEL_SAMPLES_DIR "/kunden.dbf"),
                                     dir.filePath(QStringLiteral("kunden.xls"))});
    ASSERT_EQ(written.status, 0);
    EXPECT_TRUE(anyStartsWith(written.libraries, "libgsf-1.so"));
    EXPECT_GT(QFileInfo(dir.filePath(QStringLiteral("kunden.xls"))).size(), 512);
}

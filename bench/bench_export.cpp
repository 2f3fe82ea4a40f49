// Measures the export of a large dBASE table through the engine's statement:
// into a text table (the goal is 300,000 records per second), an HTML table, a
// new dBASE or Paradox table (which first measure every value so no field is
// cut) and an Excel workbook.
//   bench_export TABLE.dbf [TARGETDIR]
#include "BenchSupport.h"
#include "Connection.h"
#include "ExportStatement.h"
#include "Progress.h"
#include "TableDataset.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>

namespace {

// As the window or a terminal would be told, with the usual timing.
struct CountingObserver : engine::ProgressObserver {
    int reports = 0;
    void progress(qint64, qint64) override { ++reports; }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "Aufruf: bench_export TABELLE.dbf [ZIELORDNER]\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const QString out = argc == 3 ? QString::fromLocal8Bit(argv[2]) : QFileInfo(path).absolutePath() + QStringLiteral("/export");
    QDir().mkpath(out);
    engine::Connection connection;
    engine::TableDataset table;
    bindDbaseTable(path, connection, table);
    table.Open();
    const QString source = QFileInfo(path).fileName();
    const struct { const char *file; const char *kind; } targets[] = {
        {"kunden.csv", "Text;"}, {"kunden.htm", "HTML Import;"}, {"kunden.dbf", "dBASE IV;"},
        {"kunden.db", "Paradox 5.x;"}, {"kunden.xls", "Excel 8.0;"}};
    // "csv", "htm", "dbf", "db" or "xls": one target alone, for profiling. Without it all
    // targets but Excel, whose sheet holds 65,535 records (run it on a table that small).
    const char *only = getenv("BENCH_EXPORT_ONLY");
    // BENCH_EXPORT_PROGRESS=1: with an observer installed, as the window and a terminal have one.
    CountingObserver observer;
    const bool observed = getenv("BENCH_EXPORT_PROGRESS") && *getenv("BENCH_EXPORT_PROGRESS") == '1';
    const engine::ProgressScope scope(observed ? &observer : nullptr);
    {
        // The meter's own share of an export: ten million steps, observed as the export is.
        QElapsedTimer timer;
        timer.start();
        engine::ProgressMeter meter(10000000);
        for (qint64 s = 0; s < 10000000; ++s)
            meter.step(s);
        meter.finish();
        printf("progress meter%s: 10000000 steps in %.1f ms\n", observed ? " (observed)" : "",
               double(timer.nsecsElapsed()) / 1e6);
    }
    for (const auto &t : targets) {
        const QString suffix = QFileInfo(QString::fromLatin1(t.file)).suffix();
        if (only ? suffix != QLatin1String(only) : suffix == QLatin1String("xls"))
            continue;
        const QString statement = QStringLiteral("SELECT * INTO %1 IN %2 %3 FROM %4")
                                      .arg(engine::bracketName(QString::fromLatin1(t.file)), engine::doubleQuoted(out),
                                           engine::doubleQuoted(QString::fromLatin1(t.kind)), source);
        observer.reports = 0;
        QElapsedTimer timer;
        timer.start();
        const int rows = connection.Execute(statement);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        const qint64 bytes = QFileInfo(QDir(out).filePath(QString::fromLatin1(t.file))).size();
        printf("export into %-10s %8d records in %6.2f s = %8.0f records/s (%.1f MB)%s\n", t.file, rows, seconds,
               rows / seconds, double(bytes) / 1e6,
               observed ? qPrintable(QStringLiteral(", %1 progress reports").arg(observer.reports)) : "");
    }
    return 0;
}

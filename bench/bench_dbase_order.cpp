// Measures reading a large dBASE table in the order of an index: every record
// visited in key order through the dataset, one field and then all fields as
// text. The index (.ndx over TELEFON, random to the record order) is built once beside a copy of the
// table and kept for later runs.
//   bench_dbase_order TABLE.dbf   (works on TABLE-order.dbf/.dbt/.ndx beside it)
#include "BenchSupport.h"
#include "Connection.h"
#include "TableDataset.h"
#include "drivers/dbase/DbfTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

// Processor seconds of this process (user and system): the share of a busy machine's time it got.
static double processorMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        fprintf(stderr, "Aufruf: bench_dbase_order TABELLE.dbf\n");
        return 2;
    }
    const QFileInfo source(QString::fromLocal8Bit(argv[1]));
    const QString base = source.absolutePath() + QStringLiteral("/") + source.completeBaseName() + QStringLiteral("-order");
    const QString copy = base + QStringLiteral(".dbf");
    const QString index = base + QStringLiteral(".ndx");
    QElapsedTimer timer;
    if (!QFile::exists(index) || QFileInfo(copy).size() != source.size()) {
        for (const QString &ext : {QStringLiteral(".dbf"), QStringLiteral(".dbt"), QStringLiteral(".ndx")})
            QFile::remove(base + ext);
        const QString memo = source.absolutePath() + QStringLiteral("/") + source.completeBaseName() + QStringLiteral(".dbt");
        if (!QFile::copy(source.absoluteFilePath(), copy) || (QFile::exists(memo) && !QFile::copy(memo, base + QStringLiteral(".dbt")))) {
            fprintf(stderr, "Die Kopie %s lässt sich nicht anlegen.\n", qPrintable(copy));
            return 1;
        }
        auto table = engine::dbase::DbfTable::open(copy, engine::OpenOptions{false, false});
        timer.start();
        table->createNdx(index, QStringLiteral("TELEFON"), false);
        report("build .ndx over TELEFON (once)", elapsedMs(timer));
    }

    engine::Connection connection;
    engine::TableDataset table;
    bindDbaseTable(copy, connection, table);
    table.setIndexName(QFileInfo(index).completeBaseName());
    timer.start();
    table.Open();
    const qint64 count = table.RecordCount();
    report("open ordered by the index, record count", elapsedMs(timer), QStringLiteral("(%1 records)").arg(count));

    qint64 chars = 0;
    table.DisableControls();
    // BENCH_ORDER_ONE=1: the one-field walk alone, for profiling.
    const int passes = getenv("BENCH_ORDER_ONE") ? 1 : 2;
    for (int pass = 0; pass < passes; ++pass) {
        const int fields = pass == 0 ? 1 : table.FieldCount();
        timer.restart();
        const double cpu = processorMs();
        table.First();
        qint64 walked = 0;
        while (!table.Eof()) {
            for (int f = 0; f < fields; ++f)
                chars += table.Fields(pass == 0 ? 1 : f)->AsString().size();
            ++walked;
            table.Next();
        }
        report(pass == 0 ? "index order walk, one field as text" : "index order walk, all fields as text",
               elapsedMs(timer), QStringLiteral("(%1 records, %2 ms processor time)").arg(walked).arg(processorMs() - cpu, 0, 'f', 0));
    }
    table.EnableControls();
    return chars > 0 ? 0 : 1;
}

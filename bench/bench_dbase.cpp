// Measures the engine on a large dBASE table: open to first screen, record count,
// jump to the last record, a walk over all records, and the peak memory.
//   bench_dbase TABLE.dbf
#include "BenchSupport.h"
#include "Connection.h"
#include "TableDataset.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

namespace {

long peakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        fprintf(stderr, "Aufruf: bench_dbase TABELLE.dbf\n");
        return 2;
    }
    engine::Connection connection;
    engine::TableDataset table;
    bindDbaseTable(QString::fromLocal8Bit(argv[1]), connection, table);

    QElapsedTimer timer;
    timer.start();
    table.Open();
    const int fields = table.FieldCount();
    qint64 chars = 0;
    for (qint64 row = 0; row < 40; ++row)
        for (int f = 0; f < fields; ++f)
            chars += table.textAt(row, f).size();
    report("open and first screen (40 rows, all fields)", elapsedMs(timer));

    timer.restart();
    const qint64 count = table.RecordCount();
    report("RecordCount", elapsedMs(timer), QStringLiteral("(%1 records)").arg(count));

    timer.restart();
    table.Last();
    for (qint64 row = count - 40; row < count; ++row)
        for (int f = 0; f < fields; ++f)
            chars += table.textAt(row, f).size();
    report("Last and its screen", elapsedMs(timer));

    timer.restart();
    table.DisableControls();
    table.First();
    engine::Field *name = table.Fields(1);
    qint64 walked = 0;
    while (!table.Eof()) {
        chars += name->AsString().size();
        ++walked;
        table.Next();
    }
    table.EnableControls();
    report("walk over all records, one field as text", elapsedMs(timer), QStringLiteral("(%1 records)").arg(walked));

    printf("%-42s %10.1f MiB\n", "peak memory (VmHWM)", double(peakKiB()) / 1024.0);
    return chars > 0 ? 0 : 1;
}

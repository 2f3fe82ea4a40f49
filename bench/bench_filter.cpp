// Measures filter expressions over a large dBASE table: each expression is read
// once and evaluated on every record, fetched by position as a filtering dataset
// fetches them: compared in the cells as the table stores them (what the dataset
// does), and, for comparison, on values built for every record.
//   bench_filter TABLE.dbf
#include "BenchSupport.h"
#include "Connection.h"
#include "FilterExpression.h"
#include "FilterWalk.h"
#include "RawCells.h"
#include "TableDataset.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <ctime>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        fprintf(stderr, "Aufruf: bench_filter TABELLE.dbf\n");
        return 2;
    }
    engine::Connection connection;
    engine::TableDataset table;
    bindDbaseTable(QString::fromLocal8Bit(argv[1]), connection, table);
    table.Open();
    const qint64 count = table.RecordCount();
    engine::TableSource *source = table.source();

    const QVector<engine::FieldDef> &defs = table.FieldDefs();
    printf("%lld records; fields:", count);
    for (const engine::FieldDef &f : defs)
        printf(" %s", qPrintable(f.name));
    printf("\n");

    // Expressions on the generated customer table's fields; those naming a
    // field the table lacks are skipped.
    const char *expressions[] = {
        "NAME = 'Müller'",
        "NAME = 'müller*'",
        "ORT LIKE '%berg%'",
        "KUNDENNR > 500000",
        "NAME = 'Schmidt' AND KUNDENNR < 1000",
        "KUNDENNR < 1000 AND NAME = 'Schmidt'",
        "GEBURT >= #01.01.1980#",
        "AKTIV AND UMSATZ > 1000",
    };
    // BENCH_FILTER_STORED=1 times the stored walks alone (for a profile of them).
    const bool storedOnly = qEnvironmentVariableIntValue("BENCH_FILTER_STORED") == 1;
    // The floor: reading the one field a simple comparison needs, without comparing.
    if (!storedOnly) {
        const int name = table.FieldByName(QStringLiteral("NAME"))->Index();
        QElapsedTimer timer;
        timer.start();
        qint64 chars = 0;
        for (qint64 position = 0; position < count; ++position)
            chars += source->value(source->rowAt(position), name).toString().size();
        printf("%-44s %8.1f ms  (%lld characters)\n", "reading NAME alone", double(timer.nsecsElapsed()) / 1e6, chars);
    }
    for (const char *text : expressions) {
        engine::FilterExpression e;
        try {
            e = engine::FilterExpression::parse(QString::fromUtf8(text), defs);
        } catch (const std::exception &error) {
            printf("%-44s skipped: %s\n", text, error.what());
            continue;
        }
        // As stored: the dataset's filter walk (cells in batches, read from the map where it can);
        // as values: every compared field read as a value, as the walk did before cells.
        for (int stored = 1; stored >= (storedOnly ? 1 : 0); --stored) {
            QElapsedTimer timer;
            timer.start();
            const double cpuStart = threadSeconds();
            qint64 hits = 0;
            if (stored) {
                hits = engine::keptRows(*source, e, engine::foCaseInsensitive, nullptr).size();
            } else {
                for (qint64 position = 0; position < count; ++position) {
                    const engine::RowId row = source->rowAt(position);
                    const std::function<QVariant(int)> valueOf = [&](int f) { return source->value(row, f); };
                    if (e.matches(valueOf, engine::foCaseInsensitive))
                        ++hits;
                }
            }
            printf("%-44s %8.1f ms, processor %8.1f ms  (%lld hits, %s)\n", text, double(timer.nsecsElapsed()) / 1e6,
                   (threadSeconds() - cpuStart) * 1e3, hits, stored ? "as stored" : "as values");
        }
    }
    return 0;
}

// Measures the window's record search (Suchen) over a large dBASE table: a
// search that finds nothing and one that finds the last record, walked in the
// stored cells (what the window does) and, for comparison, the way the window
// walked before: the cursor moved record by record, each chosen field's text built.
// Then the quick search of the title bar over TABLE-order.dbf ordered by its
// .ndx over TELEFON (made by bench_dbase_order), a key that keeps its case and
// is walked: in the stored text, and as before, a key computed per record.
//   bench_search TABLE.dbf
#include "BenchSupport.h"
#include "IndexKey.h"
#include "QuickSearch.h"
#include "SearchRules.h"
#include "SearchWalk.h"

#include <QCoreApplication>
#include <QFile>
#include <ctime>

namespace {

// The earlier walk: First(), then Next() until a record's field text matches.
qint64 cursorWalk(engine::TableDataset &table, int field, const search::Condition &condition)
{
    table.DisableControls();
    qint64 found = -1;
    for (table.First(); !table.Eof(); table.Next()) {
        if (condition.matches(table.Fields(field)->AsString())) {
            found = table.RecNo() - 1;
            break;
        }
    }
    table.EnableControls();
    return found;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        fprintf(stderr, "Aufruf: bench_search TABELLE.dbf\n");
        return 2;
    }
    engine::Connection connection;
    engine::TableDataset table;
    bindDbaseTable(QString::fromLocal8Bit(argv[1]), connection, table);
    table.Open();
    const qint64 count = table.RecordCount();
    printf("%lld records\n", count);

    // The generated table's EMAIL names each customer's number once.
    const struct {
        const char *what;
        const char *field;
        QString value;
        bool exact;
    } searches[] = {
        {"NAME 'Zzz' (finds nothing)", "NAME", QStringLiteral("Zzz"), false},
        {"NAME 'müller' exact (finds the first)", "NAME", QStringLiteral("müller"), true},
        {"EMAIL of the last record, exact", "EMAIL", QStringLiteral("kunde%1@beispiel.de").arg(count), true},
        {"KUNDENNR of the last record (a number)", "KUNDENNR", QString::number(count), true},
    };
    for (const auto &s : searches) {
        const int field = table.FieldByName(QString::fromLatin1(s.field))->Index();
        for (int stored = 1; stored >= 0; --stored) {
            QElapsedTimer timer;
            timer.start();
            const double cpuStart = threadSeconds();
            qint64 at;
            if (stored) {
                std::array<search::SearchRow, 6> rows;
                rows[0] = {field, 0, s.value};
                at = search::findRecord(table, 0, rows, false, s.exact);
            } else {
                at = cursorWalk(table, field, search::Condition(s.value, false, s.exact));
            }
            printf("%-44s %8.1f ms, processor %8.1f ms  (position %lld, %s)\n", s.what,
                   double(timer.nsecsElapsed()) / 1e6, (threadSeconds() - cpuStart) * 1e3, at,
                   stored ? "stored cells" : "cursor and texts, before");
        }
    }
    table.Close();

    const QFileInfo file(QString::fromLocal8Bit(argv[1]));
    const QString ordered = file.absolutePath() + QStringLiteral("/") + file.completeBaseName() + QStringLiteral("-order");
    if (!QFile::exists(ordered + QStringLiteral(".ndx"))) {
        printf("no %s.ndx (bench_dbase_order makes it): quick search not measured\n", qPrintable(ordered));
        return 0;
    }
    engine::Connection orderConnection;
    engine::TableDataset byIndex;
    bindDbaseTable(ordered + QStringLiteral(".dbf"), orderConnection, byIndex);
    byIndex.setIndexName(file.completeBaseName() + QStringLiteral("-order"));
    byIndex.Open();
    const qint64 keys = byIndex.RecordCount();
    const int phone = byIndex.FieldByName(QStringLiteral("TELEFON"))->Index();
    const auto key = engine::IndexKeyText::forIndex(byIndex.source(), byIndex.IndexName());
    for (const QString &typed : {QStringLiteral("0000"), byIndex.textAt(keys - 1, phone)}) {
        for (int stored = 1; stored >= 0; --stored) {
            QElapsedTimer timer;
            timer.start();
            const double cpuStart = threadSeconds();
            qint64 at = -1;
            if (stored) {
                at = engine::quickSearch(byIndex, typed).position;
            } else {
                for (qint64 p = 0; p < keys && at < 0; ++p) {
                    if (key->text([&](int f) { return byIndex.valueAt(p, f); }).startsWith(typed, Qt::CaseInsensitive))
                        at = p;
                }
            }
            const QByteArray what = QStringLiteral("quick search TELEFON '%1'").arg(typed).toUtf8();
            printf("%-44s %8.1f ms, processor %8.1f ms  (position %lld, %s)\n", what.constData(),
                   double(timer.nsecsElapsed()) / 1e6, (threadSeconds() - cpuStart) * 1e3, at,
                   stored ? "stored text" : "keys computed, before");
        }
    }
    return 0;
}

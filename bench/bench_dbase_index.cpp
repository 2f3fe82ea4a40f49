// Measures dBASE index files on a large table: building an .ndx over UPPER(NAME),
// an .mdx of three tags and a .cdx; ordering the table by an index through the
// dataset; one quick-search key; and appends, key changes and deletes with all
// three index files kept in step page by page.
//   bench_dbase_index TABLE.dbf   (works on a copy beside it, TABLE-idx.dbf)
#include "BenchSupport.h"
#include "Connection.h"
#include "TableDataset.h"
#include "drivers/dbase/DbaseDriver.h"
#include "drivers/dbase/DbfTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>

namespace {

// The median of a few runs of one change, so one slow sync does not decide.
template <typename F>
void measure(const char *what, int runs, F &&change)
{
    std::vector<double> times;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.restart();
        change(i);
        times.push_back(elapsedMs(timer));
    }
    std::sort(times.begin(), times.end());
    report(what, times[times.size() / 2],
           QStringLiteral("(Median von %1; kürzeste %2 ms, längste %3 ms)").arg(runs).arg(times.front(), 0, 'f', 2).arg(times.back(), 0, 'f', 2));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        fprintf(stderr, "Aufruf: bench_dbase_index TABELLE.dbf\n");
        return 2;
    }
    const QFileInfo source(QString::fromLocal8Bit(argv[1]));
    const QString base = source.absolutePath() + QStringLiteral("/") + source.completeBaseName() + QStringLiteral("-idx");
    const QString copy = base + QStringLiteral(".dbf");
    const QString ndx = base + QStringLiteral(".ndx");
    const QStringList extensions{QStringLiteral(".dbf"), QStringLiteral(".dbt"), QStringLiteral(".ndx"), QStringLiteral(".mdx"),
                                 QStringLiteral(".cdx")};
    for (const QString &ext : extensions)
        QFile::remove(base + ext);
    if (!QFile::copy(source.absoluteFilePath(), copy)) {
        fprintf(stderr, "Die Kopie %s lässt sich nicht anlegen.\n", qPrintable(copy));
        return 1;
    }
    const QString memo = source.absolutePath() + QStringLiteral("/") + source.completeBaseName() + QStringLiteral(".dbt");
    if (QFile::exists(memo))
        QFile::copy(memo, base + QStringLiteral(".dbt"));

    QElapsedTimer timer;
    engine::DbaseDriver driver;
    {
        auto table = engine::dbase::DbfTable::open(copy, engine::OpenOptions{false, false});
        timer.start();
        table->createNdx(ndx, QStringLiteral("UPPER(NAME)"), false);
        report("build .ndx over UPPER(NAME)", elapsedMs(timer), QStringLiteral("(%1 Bytes)").arg(QFileInfo(ndx).size()));
    }
    {
        auto table = engine::dbase::DbfTable::open(copy, engine::OpenOptions{false, false});
        timer.restart();
        table->addIndex(QStringLiteral("NUMMER"), QStringLiteral("KUNDENNR"));
        table->addIndex(QStringLiteral("ORTNAME"), QStringLiteral("ORT+NAME"));
        table->addIndex(QStringLiteral("GEBURT"), QStringLiteral("GEBURT"));
        report("build .mdx of three tags (KUNDENNR, ORT+NAME, GEBURT)", elapsedMs(timer),
               QStringLiteral("(%1 Bytes)").arg(QFileInfo(base + QStringLiteral(".mdx")).size()));
        timer.restart();
        table->createIndexFile(base + QStringLiteral(".cdx"), engine::dbase::IndexFormat::Cdx, QStringLiteral("PLZ"), QStringLiteral("PLZ+UPPER(NAME)"));
        report("build .cdx over PLZ+UPPER(NAME)", elapsedMs(timer),
               QStringLiteral("(%1 Bytes)").arg(QFileInfo(base + QStringLiteral(".cdx")).size()));
    }

    engine::Connection connection;
    engine::TableDataset table;
    bindDbaseTable(copy, connection, table);
    table.setIndexName(QFileInfo(ndx).completeBaseName());
    timer.restart();
    table.Open();
    const qint64 count = table.RecordCount();
    QString first;
    for (int f = 0; f < 2; ++f)
        first += table.textAt(0, f) + QLatin1Char(' ');
    report("open ordered by the .ndx, count, first row", elapsedMs(timer),
           QStringLiteral("(%1 Sätze, erster: %2)").arg(count).arg(first.trimmed()));

    auto *dbf = dynamic_cast<engine::dbase::DbfTable *>(table.source());
    timer.restart();
    const QString key = dbf->indexKeyText(QFileInfo(ndx).completeBaseName(), count / 2);
    report("one key computed for the quick search", elapsedMs(timer), key);
    table.Close();

    auto writable = driver.open(source.absolutePath(), QFileInfo(copy).fileName(), engine::OpenOptions{false, false});
    if (!writable->readOnlyReason().isEmpty()) {
        fprintf(stderr, "%s\n", qPrintable(writable->readOnlyReason()));
        return 1;
    }
    QVector<QVariant> row;
    for (int f = 0; f < writable->fieldDefs().size(); ++f)
        row << writable->value(0, f);
    const int runs = 7;
    measure("one append, .ndx + .mdx (3 tags) + .cdx kept in step", runs, [&](int i) {
        QVector<QVariant> added = row;
        added[0] = qint64(5000000 + i);
        added[1] = QStringLiteral("Aaaberg %1").arg(i);
        writable->append(added);
    });
    measure("one key change (NAME, ORT, KUNDENNR), all indexes in step", runs, [&](int i) {
        const engine::RowId r = 1000 + i * 99991;
        const QVector<QVariant> before = [&] {
            QVector<QVariant> v;
            for (int f = 0; f < writable->fieldDefs().size(); ++f)
                v << writable->value(r, f);
            return v;
        }();
        QVector<QVariant> after = before;
        after[0] = qint64(6000000 + i);
        after[1] = QStringLiteral("Mittelmann %1").arg(i);
        after[5] = QStringLiteral("Zwickau");
        writable->update(r, before, after);
    });
    measure("one delete, all indexes in step", runs, [&](int i) { writable->remove(2000 + i * 77773); });
    writable.reset();

    // Every index must still equal a fresh build.
    auto check = engine::dbase::DbfTable::open(copy, engine::OpenOptions{true, false});
    timer.restart();
    const QStringList differences = check->checkIndexes();
    report("check every index against a fresh build", elapsedMs(timer),
           differences.isEmpty() ? QStringLiteral("(keine Unterschiede)") : differences.mid(0, 3).join(QLatin1Char(' ')));
    check.reset();
    for (const QString &ext : extensions)
        QFile::remove(base + ext);
    return differences.isEmpty() ? 0 : 1;
}

// Measures dBASE index files on a large table: building an .ndx over UPPER(NAME),
// ordering the table by it through the dataset, one quick-search key lookup, and
// one append and one change with the index file kept valid (the first change
// computes every key once; later ones reuse them).
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
#include <cstdio>


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
    const QString index = base + QStringLiteral(".ndx");
    for (const QString &ext : {QStringLiteral(".dbf"), QStringLiteral(".dbt"), QStringLiteral(".ndx")})
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
        table->createNdx(index, QStringLiteral("UPPER(NAME)"), false);
        report("build .ndx over UPPER(NAME)", elapsedMs(timer), QStringLiteral("(%1 Bytes)").arg(QFileInfo(index).size()));
    }

    engine::Connection connection;
    engine::TableDataset table;
    bindDbaseTable(copy, connection, table);
    table.setIndexName(QFileInfo(index).completeBaseName());
    timer.restart();
    table.Open();
    const qint64 count = table.RecordCount();
    QString first;
    for (int f = 0; f < 2; ++f)
        first += table.textAt(0, f) + QLatin1Char(' ');
    report("open ordered by the index, count, first row", elapsedMs(timer),
           QStringLiteral("(%1 Sätze, erster: %2)").arg(count).arg(first.trimmed()));

    auto *dbf = dynamic_cast<engine::dbase::DbfTable *>(table.source());
    timer.restart();
    const QString key = dbf->indexKeyText(QFileInfo(index).completeBaseName(), count / 2);
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
    row[1] = QStringLiteral("Aaaberg");
    timer.restart();
    writable->append(row);
    report("first append (computes all keys, writes index)", elapsedMs(timer));
    row[1] = QStringLiteral("Zyx");
    timer.restart();
    writable->append(row);
    report("next append with the index kept valid", elapsedMs(timer));
    QVector<QVariant> changed = row;
    changed[1] = QStringLiteral("Mittelmann");
    timer.restart();
    writable->update(5, {}, changed);
    report("change of a key field with the index kept valid", elapsedMs(timer));
    writable.reset();

    for (const QString &ext : {QStringLiteral(".dbf"), QStringLiteral(".dbt"), QStringLiteral(".ndx")})
        QFile::remove(base + ext);
    return 0;
}

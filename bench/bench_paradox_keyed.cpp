// Measures changes to a large keyed Paradox table with a maintained secondary
// index: open, a walk over all records, and appends, key changes and deletes in
// the middle of the key order, each of which also changes the index.
//   bench_paradox_keyed GENERAL.DB GENERAL.PX CUSTOMER.X06 CUSTOMER.Y06 FOLDER [RECORDS]
// The table template is db/GENERAL.DB of the fixtures (Id long, the key; Name A25;
// Betrag $); its header is reused for RECORDS records (even keys 2, 4, ...,
// names "Kunde 0000001" ...), 50 to a 2 KB block. The secondary index GENERAL.X02
// on Name (with GENERAL.Y02) takes its headers from db/CUSTOMER.X06/.Y06, whose
// index is on City A15 before an autoincrement key: fields, sizes, names and the
// sort order are set to GENERAL's. All files are written through the driver's
// own layout code (PxKeyedFile::writeSorted), data and index blocks at once.
#include "Driver.h"
#include "EngineError.h"
#include "drivers/paradox/ParadoxDriver.h"
#include "drivers/paradox/PxKeyedFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <vector>
#include <cstring>

namespace {

void putBig32(char *p, quint32 v)
{
    p[0] = char(v >> 24);
    p[1] = char(v >> 16);
    p[2] = char(v >> 8);
    p[3] = char(v);
}

QByteArray readHeader(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(2048);
}

void putLe16(char *p, int v)
{
    p[0] = char(v);
    p[1] = char(v >> 8);
}

// CUSTOMER.X06's header made GENERAL.X02's: NAME A25, ID long, Blk Num short.
QByteArray secondaryHeader(QByteArray h)
{
    putLe16(h.data(), 25 + 4 + 2);
    const char fields[] = {0x01, 25, 0x04, 4, 0x03, 2};
    memcpy(h.data() + 0x78, fields, sizeof fields);
    const QByteArray oldNames("City\0CustNo\0Blk Num\0", 19);
    const QByteArray newNames("NAME\0ID\0Blk Num\0", 15);
    const qsizetype at = h.indexOf(oldNames);
    if (at < 0)
        return {};
    h.replace(at, oldNames.size(), newNames);
    h.append(QByteArray(oldNames.size() - newNames.size(), '\0'));
    const qsizetype order = h.indexOf("ANSII850");
    if (order < 0)
        return {};
    h.replace(order, 8, QByteArray("china\0\0\0", 8));
    return h.left(2048);
}

QByteArray secondaryIndexHeader(QByteArray h)
{
    putLe16(h.data(), 25 + 4 + 6);
    const char fields[] = {0x01, 25, 0x04, 4};
    memcpy(h.data() + 0x58, fields, sizeof fields);
    return h;
}

QByteArray name(int id)
{
    return QByteArray("Kunde ") + QByteArray::number(id).rightJustified(7, '0');
}

bool makeTable(const QStringList &templates, const QString &dir, int records)
{
    const QByteArray db = readHeader(templates[0]), px = readHeader(templates[1]);
    const QByteArray x = secondaryHeader(readHeader(templates[2])), y = secondaryIndexHeader(readHeader(templates[3]));
    if (db.size() != 2048 || quint8(db[0]) != 37 || x.size() != 2048 || y.size() != 2048)
        return false;
    const int perBlock = 50;
    std::vector<QByteArray> rows, entries;
    rows.reserve(size_t(records));
    entries.reserve(size_t(records));
    for (int id = 1; id <= records; ++id) {
        QByteArray rec(37, '\0');
        putBig32(rec.data(), quint32(2 * id) ^ 0x80000000u);
        const QByteArray n = name(id);
        memcpy(rec.data() + 4, n.constData(), size_t(n.size()));
        double amount = id * 0.25;
        quint64 bits;
        memcpy(&bits, &amount, 8);
        bits ^= 0x8000000000000000ull;
        for (int i = 0; i < 8; ++i)
            rec[29 + i] = char(bits >> (56 - 8 * i));
        rows.push_back(rec);
        // The entry: Name, Id, the block holding the record.
        QByteArray e(31, '\0');
        memcpy(e.data(), rec.constData() + 4, 25);
        memcpy(e.data() + 25, rec.constData(), 4);
        const quint16 block = quint16((id - 1) / perBlock + 1) ^ 0x8000;
        e[29] = char(block >> 8);
        e[30] = char(block & 0xFF);
        entries.push_back(e);
    }
    const QDir d(dir);
    try {
        engine::paradox::PxKeyedFile::writeSorted(d.filePath(QStringLiteral("GENERAL.DB")), db, d.filePath(QStringLiteral("GENERAL.PX")), px,
                                                  rows, perBlock);
        rows.clear();
        rows.shrink_to_fit();
        // Names padded to equal length sort like the keys: the entries are in order.
        engine::paradox::PxKeyedFile::writeSorted(d.filePath(QStringLiteral("GENERAL.X02")), x, d.filePath(QStringLiteral("GENERAL.Y02")), y,
                                                  entries);
    } catch (const engine::EngineError &e) {
        fprintf(stderr, "%s\n", e.message().toLocal8Bit().constData());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 6) {
        fprintf(stderr, "Aufruf: bench_paradox_keyed GENERAL.DB GENERAL.PX CUSTOMER.X06 CUSTOMER.Y06 ORDNER [SÄTZE]\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[5]);
    const int records = argc > 6 ? atoi(argv[6]) : 1000000;
    QDir().mkpath(dir);
    QElapsedTimer timer;
    timer.start();
    const QStringList templates{QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                                QString::fromLocal8Bit(argv[4])};
    if (!makeTable(templates, dir, records)) {
        fprintf(stderr, "Die Tabelle konnte nicht angelegt werden.\n");
        return 1;
    }
    printf("table of %d records with .PX, .X02 and .Y02 written: %lld ms\n", records, timer.elapsed());
    engine::ParadoxDriver driver;
    try {
        timer.restart();
        auto t = driver.open(dir, QStringLiteral("GENERAL"), {});
        printf("open: %.1f ms (%lld rows)\n", timer.nsecsElapsed() / 1e6, t->rowCount());
        if (!t->readOnlyReason().isEmpty()) {
            fprintf(stderr, "%s\n", t->readOnlyReason().toLocal8Bit().constData());
            return 1;
        }
        timer.restart();
        double sum = 0;
        for (qint64 p = 0; p < t->rowCount(); ++p)
            sum += t->value(t->rowAt(p), 2).toDouble();
        printf("walk over all records (one field each): %.1f ms (sum %.0f)\n", timer.nsecsElapsed() / 1e6, sum);

        // Ten changes of each kind at different places; each waits for its syncs.
        const auto report = [](const char *what, std::vector<double> ms) {
            std::sort(ms.begin(), ms.end());
            printf("%s: median %.2f ms, min %.2f, max %.2f (%zu runs)\n", what, ms[ms.size() / 2], ms.front(), ms.back(), ms.size());
        };
        const qint64 middle = t->rowCount() / 2;
        std::vector<double> appends, moves, deletes;
        for (int i = 0; i < 10; ++i) {
            timer.restart();
            t->append({qint64(2 * (middle + 1000 * i) + 1), QString::fromLatin1(name(int(middle + 1000 * i)) + " neu"), 1.0});
            appends.push_back(timer.nsecsElapsed() / 1e6);

            const engine::RowId row = t->rowAt(middle / 2 + 100 * i);
            const QVector<QVariant> old{t->value(row, 0), t->value(row, 1), t->value(row, 2)};
            QVector<QVariant> now = old;
            now[0] = qint64(2 * (middle + middle / 2 + 1000 * i) + 1);
            now[1] = QString::fromLatin1(name(int(middle + middle / 2 + 1000 * i)) + " neu");
            timer.restart();
            t->update(row, old, now);
            moves.push_back(timer.nsecsElapsed() / 1e6);

            const engine::RowId victim = t->rowAt(middle + 7 + 500 * i);
            timer.restart();
            t->remove(victim);
            deletes.push_back(timer.nsecsElapsed() / 1e6);
        }
        report("append in the middle of the key order", appends);
        report("key change (the record moves by a quarter of the table)", moves);
        report("delete in the middle", deletes);
    } catch (const engine::EngineError &e) {
        fprintf(stderr, "%s\n", e.message().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}

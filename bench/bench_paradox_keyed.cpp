// Measures changes to a large keyed Paradox table: open, a walk over all records,
// and one append, one key change and one delete in the middle of the key order.
//   bench_paradox_keyed TEMPLATE.DB TEMPLATE.PX FOLDER [RECORDS]
// The template is a keyed table with the fields Id (long, the key), Name (A25) and
// Betrag ($), as db/GENERAL.DB of the fixtures; its header is reused for a table of
// RECORDS records (even keys 2, 4, ...), 50 to a 2 KB block. The .PX is then built
// by the first open, which completes a change marked as under way.
#include "Driver.h"
#include "EngineError.h"
#include "drivers/paradox/ParadoxDriver.h"

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

void putLe(char *p, quint32 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = char(v >> (8 * i));
}

bool makeTable(const QString &templateDb, const QString &templatePx, const QString &dir, int records)
{
    QFile db(templateDb), px(templatePx);
    if (!db.open(QIODevice::ReadOnly) || !px.open(QIODevice::ReadOnly))
        return false;
    QByteArray header = db.read(2048);
    if (header.size() != 2048 || quint8(header[0]) != 37)
        return false;
    const int perBlock = 50, blockSize = 2048, recordSize = 37;
    const int blocks = (records + perBlock - 1) / perBlock;
    QFile out(QDir(dir).filePath(QStringLiteral("GENERAL.DB")));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    char *h = header.data();
    putLe(h + 0x06, quint32(records), 4);
    putLe(h + 0x0A, quint32(blocks), 2);
    putLe(h + 0x0C, quint32(blocks), 2);
    putLe(h + 0x0E, 1, 2);
    putLe(h + 0x10, quint32(blocks), 2);
    putLe(h + 0x3A, quint32(blocks), 2);
    h[0x4F] = 1; // the first open builds the .PX
    out.write(header);
    QByteArray block(blockSize, '\0');
    int id = 0;
    for (int b = 1; b <= blocks; ++b) {
        block.fill('\0');
        const int count = std::min(perBlock, records - (b - 1) * perBlock);
        putLe(block.data(), quint32(b < blocks ? b + 1 : 0), 2);
        putLe(block.data() + 2, quint32(b - 1), 2);
        putLe(block.data() + 4, quint32((count - 1) * recordSize), 2);
        for (int r = 0; r < count; ++r) {
            char *rec = block.data() + 6 + r * recordSize;
            ++id;
            putBig32(rec, quint32(2 * id) ^ 0x80000000u);
            const QByteArray name = QByteArray("Kunde ") + QByteArray::number(id);
            memcpy(rec + 4, name.constData(), size_t(name.size()));
            double amount = id * 0.25;
            quint64 bits;
            memcpy(&bits, &amount, 8);
            bits ^= 0x8000000000000000ull;
            for (int i = 0; i < 8; ++i)
                rec[29 + i] = char(bits >> (56 - 8 * i));
        }
        out.write(block);
    }
    out.close();
    QFile index(QDir(dir).filePath(QStringLiteral("GENERAL.PX")));
    if (!index.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    index.write(px.readAll());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        fprintf(stderr, "Aufruf: bench_paradox_keyed VORLAGE.DB VORLAGE.PX ORDNER [SÄTZE]\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[3]);
    const int records = argc > 4 ? atoi(argv[4]) : 1000000;
    QDir().mkpath(dir);
    QElapsedTimer timer;
    timer.start();
    if (!makeTable(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]), dir, records)) {
        fprintf(stderr, "Die Tabelle konnte nicht angelegt werden.\n");
        return 1;
    }
    engine::ParadoxDriver driver;
    try {
        driver.open(dir, QStringLiteral("GENERAL"), {}); // builds the .PX
        printf("table of %d records made, .PX built: %lld ms\n", records, timer.elapsed());

        timer.restart();
        auto t = driver.open(dir, QStringLiteral("GENERAL"), {});
        printf("open: %.1f ms (%lld rows)\n", timer.nsecsElapsed() / 1e6, t->rowCount());
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
            t->append({qint64(2 * (middle + 1000 * i) + 1), QStringLiteral("Neu"), 1.0});
            appends.push_back(timer.nsecsElapsed() / 1e6);

            const engine::RowId row = t->rowAt(middle / 2 + 100 * i);
            const QVector<QVariant> old{t->value(row, 0), t->value(row, 1), t->value(row, 2)};
            QVector<QVariant> now = old;
            now[0] = qint64(2 * (middle + middle / 2 + 1000 * i) + 1);
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

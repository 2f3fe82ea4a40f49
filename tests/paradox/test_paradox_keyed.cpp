// Changes to keyed Paradox tables: records stay in key order, the .PX stays a
// valid B-tree over the data blocks, key violations leave the files untouched,
// and a change cut off by the end of the program is completed at the next open.
// pxlib reads back the data blocks (tables without blobs only: pxlib must not
// open blob files) and the .PX of every table.
extern "C" {
#include <paradox.h>
}

#include "Connection.h"
#include "EngineError.h"
#include "TableDataset.h"
#include "TestSupport.h"
#include "drivers/paradox/ParadoxDriver.h"
#include "drivers/paradox/PxTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace engine;
using testsupport::ScratchDir;

namespace {

// The data blocks of a table as pxlib walks them: block number, records, and
// the raw key bytes of every record in order.
struct PxlibData {
    bool opened = false;
    int headerRecords = -1;
    std::vector<std::pair<int, int>> blocks; // number, records
    std::vector<QByteArray> firstKeys;       // per block
    std::vector<QByteArray> keys;            // per record
};

PxlibData pxlibData(const QString &path, int keySize)
{
    PxlibData out;
    pxdoc_t *doc = PX_new();
    if (PX_open_file(doc, QFile::encodeName(path).constData()) < 0) {
        PX_delete(doc);
        return out;
    }
    out.opened = true;
    out.headerRecords = PX_get_num_records(doc);
    QByteArray data(PX_get_recordsize(doc), '\0');
    for (int r = 0; r < out.headerRecords; ++r) {
        int deleted = 0;
        pxdatablockinfo_t info{};
        if (!PX_get_record2(doc, r, data.data(), &deleted, &info))
            break;
        const QByteArray key = data.left(keySize);
        if (out.blocks.empty() || out.blocks.back().first != info.number) {
            out.blocks.push_back({info.number, 0});
            out.firstKeys.push_back(key);
        }
        ++out.blocks.back().second;
        out.keys.push_back(key);
    }
    PX_close(doc);
    PX_delete(doc);
    return out;
}

// The entries of a .PX as pxlib's primary-index reader takes them.
struct IndexEntry {
    int level = 0;
    int block = 0;
    int records = 0;
    QByteArray key;
};

std::vector<IndexEntry> pxlibIndex(const QString &path, int keySize, int *levels = nullptr)
{
    std::vector<IndexEntry> out;
    pxdoc_t *doc = PX_new();
    if (PX_open_file(doc, QFile::encodeName(path).constData()) < 0) {
        PX_delete(doc);
        return out;
    }
    if (PX_read_primary_index(doc) == 0) {
        const pxpindex_t *entries = static_cast<const pxpindex_t *>(doc->px_data);
        for (int i = 0; i < doc->px_datalen; ++i)
            out.push_back({entries[i].level, entries[i].blocknumber, entries[i].numrecords, QByteArray(entries[i].data, keySize)});
        if (levels)
            *levels = doc->px_head->px_numindexlevels;
    }
    PX_close(doc);
    PX_delete(doc);
    return out;
}

// Level-1 entries of the .PX equal the data blocks: one per block, in chain
// order, with the block's record count and the key of its first record.
void expectIndexAgrees(const QString &pxPath, int keySize, const std::vector<std::pair<int, int>> &blocks,
                       const std::vector<QByteArray> &firstKeys)
{
    int levels = 0;
    const std::vector<IndexEntry> index = pxlibIndex(pxPath, keySize, &levels);
    ASSERT_FALSE(index.empty()) << "pxlib cannot read " << pxPath.toStdString();
    std::vector<IndexEntry> leaves;
    for (const IndexEntry &e : index) {
        if (e.level == 1)
            leaves.push_back(e);
    }
    ASSERT_EQ(leaves.size(), blocks.size());
    for (size_t i = 0; i < leaves.size(); ++i) {
        EXPECT_EQ(leaves[i].block, blocks[i].first) << "entry " << i;
        EXPECT_EQ(leaves[i].records, blocks[i].second) << "entry " << i;
        EXPECT_EQ(leaves[i].key, firstKeys[i]) << "entry " << i;
    }
    if (levels > 1) {
        int upper = 0, covered = 0;
        for (const IndexEntry &e : index) {
            if (e.level == 2) {
                ++upper;
                covered += e.records;
            }
        }
        EXPECT_GT(upper, 0);
        int total = 0;
        for (const auto &b : blocks)
            total += b.second;
        EXPECT_EQ(covered, total);
    }
}

// Blocks and first keys as our reader sees them (RowId = block × 65536 + slot).
void ownBlocks(paradox::PxTable &t, int keySize, std::vector<std::pair<int, int>> &blocks, std::vector<QByteArray> &firstKeys)
{
    for (qint64 p = 0; p < t.rowCount(); ++p) {
        const RowId row = t.rowAt(p);
        const int block = int(row >> 16);
        if (blocks.empty() || blocks.back().first != block) {
            blocks.push_back({block, 0});
            firstKeys.push_back(t.recordBytes(row).left(keySize));
        }
        ++blocks.back().second;
    }
}

struct KeyedFixture {
    const char *folder;
    const char *table;
    QStringList files;
    int keySize;
    bool blobs;
    QVariant newKey;      // invalid: an autoincrement key takes the next number
    qint64 nextAutoInc;   // the number it takes
    QVariant changedKey;  // the first row's key becomes this
    int plainField;       // a non-key field of the second row changed, -1 for none
    QVariant plainValue;
};

std::vector<KeyedFixture> keyedFixtures()
{
    const auto s = [](const char *t) { return QVariant(QString::fromUtf8(t)); };
    return {
        {"mtdemo", "FILMS", {"FILMS.DB", "FILMS.PX", "FILMS.VAL"}, 5, false, s("B0500"), 0, s("Z9999"), 1, s("Geänderter Titel")},
        {"mtdemo", "CUSTOMER", {"CUSTOMER.DB", "CUSTOMER.PX", "CUSTOMER.VAL"}, 4, false, s("1016"), 0, s("9999"), 1, s("Mustermann")},
        {"db", "AREACODE", {"AREACODE.DB", "AREACODE.PX", "AREACODE.VAL"}, 3, false, s("200"), 0, s("999"), 1, s("Deutschland")},
        {"db", "GENERAL", {"GENERAL.DB", "GENERAL.PX"}, 4, false, qint64(50), 0, qint64(999999999), 1, s("Grete")},
        {"db", "ORDERS", {"ORDERS.DB", "ORDERS.PX"}, 8, false, 1100.5, 0, 99999.0, 4, s("DHL")},
        {"geog", "tblsttes", {"tblsttes.DB", "tblsttes.PX"}, 2, false, s("XX"), 0, s("ZZ"), 2, s("Neu")},
        {"fields", "long", {"long.db", "long.px"}, 4, false, QVariant(), 4, qint64(100), 1, qint64(77)},
        {"db", "CUSTOMER", {"CUSTOMER.DB", "CUSTOMER.PX", "CUSTOMER.MB"}, 4, true, QVariant(), 45, qint64(1000), 2, s("Müller")},
        {"db", "HERCULES", {"HERCULES.DB", "HERCULES.PX", "HERCULES.MB"}, 80, true, s("Ägäis"), 0, s("zzz"), 1, s("Neuer Text")},
        {"fields", "memo", {"memo.db", "memo.px", "memo.mb"}, 4, true, QVariant(), 3, qint64(100), 1, s("kurz")},
        {"fields", "fmemo", {"fmemo.db", "fmemo.px", "fmemo.mb"}, 4, true, QVariant(), 3, qint64(100), -1, QVariant()},
        {"fields", "graphic240", {"graphic240.db", "graphic240.px", "graphic240.mb"}, 4, true, QVariant(), 2, qint64(100), -1, QVariant()},
    };
}

std::unique_ptr<TableSource> openTable(const QString &dir, const QString &name)
{
    ParadoxDriver driver;
    return driver.open(dir, name, {});
}

paradox::PxTable &px(const std::unique_ptr<TableSource> &t)
{
    return dynamic_cast<paradox::PxTable &>(*t);
}

qint64 positionOfKey(TableSource &t, const QVariant &key)
{
    for (qint64 p = 0; p < t.rowCount(); ++p) {
        if (t.value(t.rowAt(p), 0) == key)
            return p;
    }
    return -1;
}

QString fact(const TableSource &t, const QString &name)
{
    for (const auto &f : t.facts()) {
        if (f.first == name)
            return f.second;
    }
    return {};
}

} // namespace

TEST(ParadoxKeyed, EveryKeyedFixtureTakesAppendKeyChangeChangeAndDelete)
{
    for (const KeyedFixture &f : keyedFixtures()) {
        SCOPED_TRACE(f.table);
        ScratchDir dir;
        for (const QString &file : f.files)
            dir.copyFixture(QStringLiteral("paradox/%1/%2").arg(QString::fromLatin1(f.folder), file));
        const QString name = QString::fromLatin1(f.table);
        const QString dbPath = dir.file(f.files.at(0));
        const QString pxPath = dir.file(f.files.at(1));
        qint64 before = 0;
        QVector<QVariant> firstRow, secondRow, thirdRow;
        QVariant appendedKey = f.newKey.isValid() ? f.newKey : QVariant(f.nextAutoInc);
        {
            auto t = openTable(dir.path(), name);
            ASSERT_TRUE(t->readOnlyReason().isEmpty()) << t->readOnlyReason().toStdString();
            before = t->rowCount();
            ASSERT_GE(before, 1);
            const int fields = t->fieldDefs().size();
            for (int i = 0; i < fields; ++i)
                firstRow.append(t->value(t->rowAt(0), i));

            QVector<QVariant> added(fields);
            added[0] = f.newKey;
            t->append(added);
            ASSERT_EQ(t->rowCount(), before + 1);
            ASSERT_GE(positionOfKey(*t, appendedKey), 0);

            // The first row's key changes: the record moves to its new key's place.
            QVector<QVariant> moved = firstRow;
            moved[0] = f.changedKey;
            const RowId firstId = t->rowAt(positionOfKey(*t, firstRow.at(0)));
            t->update(firstId, firstRow, moved);
            const qint64 movedAt = positionOfKey(*t, f.changedKey);
            ASSERT_GE(movedAt, 0);
            EXPECT_EQ(t->rowAfterUpdate(firstId), t->rowAt(movedAt));
            EXPECT_EQ(positionOfKey(*t, firstRow.at(0)), -1);

            if (before >= 2) {
                const RowId second = t->rowAt(0) == t->rowAt(movedAt) ? t->rowAt(1) : t->rowAt(0);
                for (int i = 0; i < fields; ++i)
                    secondRow.append(t->value(second, i));
                if (f.plainField >= 0) {
                    QVector<QVariant> changed = secondRow;
                    changed[f.plainField] = f.plainValue;
                    t->update(second, secondRow, changed);
                    secondRow = changed;
                }
            }
            if (before >= 3) {
                // Delete a record of the middle, not one of those changed above.
                qint64 at = -1;
                for (qint64 i = 0; i < t->rowCount() && at < 0; ++i) {
                    const qint64 p = (t->rowCount() / 2 + i) % t->rowCount();
                    const QVariant key = t->value(t->rowAt(p), 0);
                    if (key != appendedKey && key != f.changedKey && key != secondRow.value(0))
                        at = p;
                }
                ASSERT_GE(at, 0);
                const RowId victim = t->rowAt(at);
                for (int i = 0; i < fields; ++i)
                    thirdRow.append(t->value(victim, i));
                t->remove(victim);
            }
        }
        auto t = openTable(dir.path(), name);
        ASSERT_TRUE(t->readOnlyReason().isEmpty()) << t->readOnlyReason().toStdString();
        EXPECT_EQ(t->rowCount(), before + 1 - (before >= 3 ? 1 : 0));
        EXPECT_GE(positionOfKey(*t, appendedKey), 0);
        const qint64 movedAt = positionOfKey(*t, f.changedKey);
        ASSERT_GE(movedAt, 0);
        for (int i = 1; i < firstRow.size(); ++i)
            EXPECT_EQ(t->value(t->rowAt(movedAt), i), firstRow.at(i)) << "field " << i;
        EXPECT_EQ(positionOfKey(*t, firstRow.at(0)), -1);
        if (!secondRow.isEmpty()) {
            const qint64 at = positionOfKey(*t, secondRow.at(0));
            ASSERT_GE(at, 0);
            if (f.plainField >= 0) {
                EXPECT_EQ(t->value(t->rowAt(at), f.plainField), f.plainValue);
            }
        }
        if (!thirdRow.isEmpty()) {
            EXPECT_EQ(positionOfKey(*t, thirdRow.at(0)), -1);
        }

        // Key order by the stored bytes ("ascii"), or by letters without case and
        // accents (an international sort order), and the .PX over the blocks.
        std::vector<std::pair<int, int>> blocks;
        std::vector<QByteArray> firstKeys;
        ownBlocks(px(t), f.keySize, blocks, firstKeys);
        const bool international = fact(*t, QStringLiteral("Sortierfolge")).compare(QStringLiteral("ascii"), Qt::CaseInsensitive) != 0
            && t->fieldDefs().at(0).dataType == ftString;
        for (qint64 p = 1; p < t->rowCount(); ++p) {
            if (international)
                EXPECT_LT(testsupport::foldedLetters(t->value(t->rowAt(p - 1), 0).toString()), testsupport::foldedLetters(t->value(t->rowAt(p), 0).toString()));
            else
                EXPECT_LT(px(t).recordBytes(t->rowAt(p - 1)).left(f.keySize), px(t).recordBytes(t->rowAt(p)).left(f.keySize));
        }
        if (!f.blobs) {
            const PxlibData data = pxlibData(dbPath, f.keySize);
            ASSERT_TRUE(data.opened);
            EXPECT_EQ(data.headerRecords, t->rowCount());
            ASSERT_EQ(qint64(data.keys.size()), t->rowCount());
            for (qint64 p = 0; p < t->rowCount(); ++p)
                EXPECT_EQ(data.keys[size_t(p)], px(t).recordBytes(t->rowAt(p)).left(f.keySize));
            EXPECT_EQ(data.blocks, blocks);
            expectIndexAgrees(pxPath, f.keySize, data.blocks, data.firstKeys);
        } else {
            expectIndexAgrees(pxPath, f.keySize, blocks, firstKeys);
        }
    }
}

TEST(ParadoxKeyed, KeyViolationsAndEmptyKeysLeaveTheFilesByteForByte)
{
    ScratchDir dir;
    dir.copyFixture(QStringLiteral("paradox/db/ORDERS.DB"));
    dir.copyFixture(QStringLiteral("paradox/db/ORDERS.PX"));
    dir.copyFixture(QStringLiteral("paradox/fields/long.db"));
    dir.copyFixture(QStringLiteral("paradox/fields/long.px"));
    const QByteArray db = testsupport::readAll(dir.file(QStringLiteral("ORDERS.DB")));
    const QByteArray index = testsupport::readAll(dir.file(QStringLiteral("ORDERS.PX")));
    const QByteArray longDb = testsupport::readAll(dir.file(QStringLiteral("long.db")));
    auto t = openTable(dir.path(), QStringLiteral("ORDERS"));
    ASSERT_TRUE(t->readOnlyReason().isEmpty()) << t->readOnlyReason().toStdString();
    QVector<QVariant> row(t->fieldDefs().size());
    row[0] = 1001.0; // record 1's order number
    try {
        t->append(row);
        ADD_FAILURE() << "a second record with key 1001 was taken";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("Schlüsselverletzung: "))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("Order No = 1001"))) << e.message().toStdString();
    }
    row[0] = QVariant();
    try {
        t->append(row);
        ADD_FAILURE() << "a record without key was taken";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("Schlüsselverletzung: "))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("Order No"))) << e.message().toStdString();
    }
    // A key change onto another record's key.
    QVector<QVariant> first, second;
    for (int i = 0; i < t->fieldDefs().size(); ++i)
        first.append(t->value(t->rowAt(0), i));
    second = first;
    second[0] = t->value(t->rowAt(5), 0);
    EXPECT_THROW(t->update(t->rowAt(0), first, second), EngineError);
    second[0] = QVariant();
    EXPECT_THROW(t->update(t->rowAt(0), first, second), EngineError);
    EXPECT_EQ(testsupport::readAll(dir.file(QStringLiteral("ORDERS.DB"))), db);
    EXPECT_EQ(testsupport::readAll(dir.file(QStringLiteral("ORDERS.PX"))), index);

    // An autoincrement key given explicitly onto an existing number: the counter stays.
    auto l = openTable(dir.path(), QStringLiteral("long"));
    EXPECT_THROW(l->append({qint64(2), qint64(5)}), EngineError);
    EXPECT_EQ(testsupport::readAll(dir.file(QStringLiteral("long.db"))), longDb);
    l->append({QVariant(), qint64(5)});
    EXPECT_EQ(l->value(l->rowAt(3), 0), QVariant(qint64(4)));
}

TEST(ParadoxKeyed, ViolatedPostKeepsTheRecordInEditWithTheUsersValues)
{
    ScratchDir dir;
    dir.copyFixture(QStringLiteral("paradox/db/GENERAL.DB"));
    dir.copyFixture(QStringLiteral("paradox/db/GENERAL.PX"));
    Connection connection;
    connection.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("Paradox 5.x"));
    connection.setPropertyValue(QStringLiteral("Data Source"), dir.path());
    TableDataset table;
    table.setConnection(&connection);
    table.setTableName(QStringLiteral("GENERAL.DB"));
    table.Open();
    ASSERT_TRUE(table.CanModify());
    table.First();
    table.Edit();
    Field *id = table.Fields(0);
    id->setValue(qint64(333333333)); // Elizabet's key
    table.Fields(1)->setValue(QStringLiteral("Marie"));
    EXPECT_THROW(table.Post(), EngineError);
    EXPECT_EQ(table.State(), dsEdit);
    EXPECT_EQ(id->Value(), QVariant(qint64(333333333)));
    EXPECT_EQ(table.Fields(1)->AsString(), QStringLiteral("Marie"));
    // A free key moves the record to the end; the cursor follows it.
    id->setValue(qint64(400000000));
    table.Post();
    EXPECT_EQ(table.State(), dsBrowse);
    EXPECT_EQ(table.Fields(0)->Value(), QVariant(qint64(400000000)));
    EXPECT_EQ(table.Fields(1)->AsString(), QStringLiteral("Marie"));
    EXPECT_EQ(table.RecNo(), 3);
    int scrolls = 0;
    table.AfterScroll = [&](TableDataset &) { ++scrolls; };
    table.Append();
    // Its place is the cursor's position before the insert (record 3): still a move.
    table.Fields(0)->setValue(qint64(350000000));
    table.Fields(1)->setValue(QStringLiteral("Neu"));
    scrolls = 0;
    table.Post();
    EXPECT_EQ(table.RecNo(), 3);
    EXPECT_EQ(scrolls, 1); // the grid and the status bar follow the record to its place
    EXPECT_EQ(table.Fields(1)->AsString(), QStringLiteral("Neu"));
}

TEST(ParadoxKeyed, ThousandsOfRandomAppendsPastManySplitsKeepOrderAndATwoLevelIndex)
{
    ScratchDir dir;
    dir.copyFixture(QStringLiteral("paradox/mtdemo/FILMS.DB"));
    dir.copyFixture(QStringLiteral("paradox/mtdemo/FILMS.PX"));
    const QString dbPath = dir.file(QStringLiteral("FILMS.DB"));
    auto t = openTable(dir.path(), QStringLiteral("FILMS"));
    ASSERT_TRUE(t->readOnlyReason().isEmpty()) << t->readOnlyReason().toStdString();
    std::vector<int> numbers(2000);
    for (int i = 0; i < int(numbers.size()); ++i)
        numbers[size_t(i)] = i;
    std::mt19937 random(15);
    std::shuffle(numbers.begin(), numbers.end(), random);
    QVector<QVariant> row(t->fieldDefs().size());
    for (int n : numbers) {
        row[0] = QStringLiteral("K%1").arg(n, 4, 10, QLatin1Char('0'));
        row[1] = QStringLiteral("Film %1").arg(n);
        t->append(row);
    }
    // Every tenth of them deleted again.
    for (int n = 0; n < 2000; n += 10)
        t->remove(t->rowAt(positionOfKey(*t, QStringLiteral("K%1").arg(n, 4, 10, QLatin1Char('0')))));
    // A run of 90 neighbouring keys: whole blocks become empty and leave the chain.
    const qint64 blocksBefore = pxlibData(dbPath, 5).blocks.size();
    for (int n = 1000; n < 1100; ++n) {
        if (n % 10 != 0)
            t->remove(t->rowAt(positionOfKey(*t, QStringLiteral("K%1").arg(n, 4, 10, QLatin1Char('0')))));
    }
    EXPECT_LT(qint64(pxlibData(dbPath, 5).blocks.size()), blocksBefore - 5);
    t.reset();
    auto again = openTable(dir.path(), QStringLiteral("FILMS"));
    EXPECT_EQ(again->rowCount(), 36 + 1800 - 90);
    const PxlibData data = pxlibData(dbPath, 5);
    ASSERT_EQ(data.keys.size(), size_t(1746));
    for (size_t i = 1; i < data.keys.size(); ++i)
        ASSERT_LT(data.keys[i - 1], data.keys[i]) << i;
    EXPECT_EQ(data.keys.front(), QByteArray("A1001"));
    EXPECT_EQ(data.keys.back(), QByteArray("K1999"));
    EXPECT_GT(data.blocks.size(), size_t(92)); // more than one .PX block of 1 KB holds
    for (const auto &b : data.blocks)
        EXPECT_GT(b.second, 0);
    int levels = 0;
    pxlibIndex(dir.file(QStringLiteral("FILMS.PX")), 5, &levels);
    EXPECT_EQ(levels, 2);
    expectIndexAgrees(dir.file(QStringLiteral("FILMS.PX")), 5, data.blocks, data.firstKeys);
}

TEST(ParadoxKeyed, ChangesCutOffAtRandomPointsAreCompletedAtTheNextOpen)
{
    ScratchDir dir;
    dir.copyFixture(QStringLiteral("paradox/db/GENERAL.DB"));
    dir.copyFixture(QStringLiteral("paradox/db/GENERAL.PX"));
    const QString dbPath = dir.file(QStringLiteral("GENERAL.DB"));
    // The series: 60 appends of random keys, then for each of them a key
    // change, then deletes; change i acts on key i.
    struct Change {
        int kind; // 0 append, 1 key change, 2 delete
        qint64 key;
        qint64 newKey;
    };
    std::vector<Change> series;
    std::vector<qint64> keys;
    std::mt19937 random(77);
    for (int i = 0; i < 60; ++i)
        keys.push_back(1000 + qint64(random() % 1000000) * 61 + i);
    for (qint64 k : keys)
        series.push_back({0, k, 0});
    for (qint64 k : keys)
        series.push_back({1, k, k + 7});
    for (size_t i = 0; i < keys.size(); i += 2)
        series.push_back({2, keys[i] + 7, 0});

    std::map<qint64, int> model{{1, 0}, {2, 0}, {333333333, 0}};
    const auto apply = [](std::map<qint64, int> &m, const Change &c) {
        if (c.kind == 0)
            m[c.key] = 0;
        else if (c.kind == 1) {
            m.erase(c.key);
            m[c.newKey] = 0;
        } else
            m.erase(c.key);
    };

    size_t start = 0;
    std::uniform_int_distribution<int> wait(0, 40000);
    int cutOff = 0;
    while (start < series.size()) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(fds[0]);
            try {
                auto t = openTable(dir.path(), QStringLiteral("GENERAL"));
                for (size_t i = start; i < series.size(); ++i) {
                    const Change &c = series[i];
                    if (c.kind == 0) {
                        t->append({c.key, QStringLiteral("Satz"), 1.5});
                    } else {
                        const RowId row = t->rowAt(positionOfKey(*t, c.key));
                        QVector<QVariant> old{t->value(row, 0), t->value(row, 1), t->value(row, 2)};
                        if (c.kind == 1) {
                            QVector<QVariant> now = old;
                            now[0] = c.newKey;
                            t->update(row, old, now);
                        } else {
                            t->remove(row);
                        }
                    }
                    const quint32 done = quint32(i);
                    if (::write(fds[1], &done, sizeof done) != sizeof done)
                        ::_exit(3);
                }
            } catch (...) {
                ::_exit(2);
            }
            ::_exit(0);
        }
        ::close(fds[1]);
        ::usleep(useconds_t(wait(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << "the child failed with " << WEXITSTATUS(status);
        size_t reported = start; // changes [start, reported) were reported done
        quint32 done = 0;
        while (::read(fds[0], &done, sizeof done) == sizeof done)
            reported = done + 1;
        ::close(fds[0]);
        if (WIFSIGNALED(status))
            ++cutOff;

        for (size_t i = start; i < reported; ++i)
            apply(model, series[i]);
        // The change under way when the child ended may or may not be there.
        std::map<qint64, int> withNext = model;
        if (reported < series.size())
            apply(withNext, series[reported]);

        auto t = openTable(dir.path(), QStringLiteral("GENERAL"));
        ASSERT_TRUE(t->readOnlyReason().isEmpty()) << t->readOnlyReason().toStdString();
        std::map<qint64, int> found;
        for (qint64 p = 0; p < t->rowCount(); ++p)
            found[t->value(t->rowAt(p), 0).toLongLong()] = 0;
        bool nextDone = found == withNext;
        if (!nextDone && reported < series.size() && series[reported].kind == 1) {
            // A key change cut off between storing the new record and removing the old one.
            std::map<qint64, int> both = model;
            both[series[reported].newKey] = 0;
            nextDone = found == both;
            ASSERT_TRUE(found == model || nextDone) << "after change " << reported;
            if (found == both) {
                // Complete it as the user would: delete the old record.
                t->remove(t->rowAt(positionOfKey(*t, series[reported].key)));
                nextDone = true;
            }
        }
        ASSERT_TRUE(found == model || nextDone) << "after change " << reported << ", " << found.size() << " keys";
        if (nextDone && reported < series.size()) {
            model = withNext;
            ++reported;
        }
        t.reset();
        const PxlibData data = pxlibData(dbPath, 4);
        ASSERT_TRUE(data.opened);
        EXPECT_EQ(size_t(data.headerRecords), model.size());
        EXPECT_EQ(data.keys.size(), model.size());
        expectIndexAgrees(dir.file(QStringLiteral("GENERAL.PX")), 4, data.blocks, data.firstKeys);
        start = reported;
    }
    EXPECT_GT(cutOff, 0);
}

TEST(ParadoxKeyed, AWriteFailingMidChangeLeavesATableTheNextOpenCompletes)
{
    ScratchDir dir;
    dir.copyFixture(QStringLiteral("paradox/db/ORDERS.DB"));
    dir.copyFixture(QStringLiteral("paradox/db/ORDERS.PX"));
    const QString dbPath = dir.file(QStringLiteral("ORDERS.DB"));
    const qint64 size = QFileInfo(dbPath).size();
    // Every block of ORDERS is full: a new order number splits one into a new
    // block at the end of the file, which a file-size limit refuses.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int code = 0;
        try {
            auto t = openTable(dir.path(), QStringLiteral("ORDERS"));
            QVector<QVariant> row(t->fieldDefs().size());
            row[0] = 1100.5;
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{rlim_t(size), rlim_t(size)};
            setrlimit(RLIMIT_FSIZE, &limit);
            try {
                t->append(row);
                code = 10; // taken despite the limit
            } catch (const EngineError &) {
                if (t->readOnlyReason().isEmpty())
                    code = 11;
                else if (t->rowCount() != 224)
                    code = 12;
                else {
                    try {
                        t->append(row);
                        code = 13;
                    } catch (const EngineError &) {
                    }
                }
            }
        } catch (...) {
            code = 14;
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "10 taken, 11 no read-only reason, 12 rows changed, 13 a second change taken";
    EXPECT_EQ(testsupport::readAll(dbPath).at(0x4F), 1); // the marker stayed set
    auto t = openTable(dir.path(), QStringLiteral("ORDERS"));
    ASSERT_TRUE(t->readOnlyReason().isEmpty()) << t->readOnlyReason().toStdString();
    EXPECT_EQ(t->rowCount(), 224);
    EXPECT_EQ(testsupport::readAll(dbPath).at(0x4F), 0);
    t.reset();
    const PxlibData data = pxlibData(dbPath, 8);
    EXPECT_EQ(data.keys.size(), size_t(224));
    expectIndexAgrees(dir.file(QStringLiteral("ORDERS.PX")), 8, data.blocks, data.firstKeys);
}

TEST(ParadoxKeyed, NonMaintainedSecondaryIndexesAreLeftAsTheyAre)
{
    // CUSTOMER.X06 without its CUSTOMER.Y06: an index Paradox does not keep up to
    // date on changes. The table takes changes and leaves the file alone; with the
    // .Y06 the index is maintained.
    ScratchDir dir;
    for (const char *file : {"CUSTOMER.DB", "CUSTOMER.PX", "CUSTOMER.MB", "CUSTOMER.X06"})
        dir.copyFixture(QStringLiteral("paradox/db/%1").arg(QString::fromLatin1(file)));
    const QByteArray x06 = testsupport::readAll(dir.file(QStringLiteral("CUSTOMER.X06")));
    {
        auto t = openTable(dir.path(), QStringLiteral("CUSTOMER"));
        ASSERT_TRUE(t->readOnlyReason().isEmpty()) << t->readOnlyReason().toStdString();
        EXPECT_TRUE(t->indexDefs().at(1).options & ixNonMaintained);
        QVector<QVariant> row(t->fieldDefs().size());
        row[1] = QStringLiteral("Anna");
        row[5] = QStringLiteral("Aachen");
        t->append(row);
        EXPECT_EQ(t->rowCount(), 21);
    }
    EXPECT_EQ(testsupport::readAll(dir.file(QStringLiteral("CUSTOMER.X06"))), x06);
    EXPECT_EQ(openTable(dir.path(), QStringLiteral("CUSTOMER"))->rowCount(), 21);
    // With its .Y06 the index is maintained (test_paradox_secondary.cpp); this
    // stale .X06 no longer holds every record, and the table says so instead of
    // writing on.
    dir.copyFixture(QStringLiteral("paradox/db/CUSTOMER.Y06"));
    auto maintained = openTable(dir.path(), QStringLiteral("CUSTOMER"));
    EXPECT_FALSE(maintained->indexDefs().at(1).options & ixNonMaintained);
    EXPECT_TRUE(maintained->readOnlyReason().contains(QStringLiteral("CUSTOMER.X06"))) << maintained->readOnlyReason().toStdString();
    QVector<QVariant> row(maintained->fieldDefs().size());
    row[5] = QStringLiteral("Bonn");
    EXPECT_THROW(maintained->append(row), EngineError);
    EXPECT_EQ(maintained->rowCount(), 21);
}

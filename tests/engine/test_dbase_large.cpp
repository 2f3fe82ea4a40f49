// A table of a million records: opening it and showing the first rows reads
// only the beginning of the file and costs little memory; counting the rows
// reads the rest once; positions far down are found without reading again.
#include "Driver.h"
#include "EngineError.h"
#include "TestSupport.h"
#include "Tables.h"
#include "drivers/dbase/DbaseDriver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <set>

using namespace engine;
using testsupport::ScratchDir;
using testsupport::numberedDbf;
using testsupport::procValue;

namespace {

constexpr qint64 Records = 1000000;

// Record numbers flagged deleted: a run in the fourth chunk of 65536 records,
// a scattering in the ninth, and the very last record.
std::set<qint64> deletedRecords()
{
    std::set<qint64> d;
    for (qint64 r = 3 * 65536 + 100; r < 3 * 65536 + 5100; ++r)
        d.insert(r);
    for (qint64 r = 8 * 65536; r < 9 * 65536; r += 997)
        d.insert(r);
    d.insert(Records - 1);
    return d;
}

} // namespace

TEST(DbaseLarge, MillionRecordsOpenAtOnceAndReadLazily)
{
    ScratchDir dir;
    const QString path = numberedDbf(dir.path(), QStringLiteral("gross"), Records, deletedRecords());
    const qint64 fileSize = QFileInfo(path).size();
    const std::set<qint64> deleted = deletedRecords();

    const qint64 rssBefore = procValue("/proc/self/status", "VmRSS:");
    const qint64 readBefore = procValue("/proc/self/io", "rchar:");
    DbaseDriver driver;
    QElapsedTimer timer;
    timer.start();
    auto t = driver.open(dir.path(), QStringLiteral("gross"), {});
    for (qint64 p = 0; p < 40; ++p) {
        const RowId row = t->rowAt(p);
        EXPECT_EQ(row, p);
        EXPECT_EQ(t->value(row, 1).toLongLong(), p);
        EXPECT_EQ(t->text(row, 0), QStringLiteral("Satz"));
    }
    const qint64 firstRowsMs = timer.elapsed();
    const qint64 readForFirstRows = procValue("/proc/self/io", "rchar:") - readBefore;
    const qint64 rssForFirstRows = procValue("/proc/self/status", "VmRSS:") - rssBefore;
    // Only the first chunk of records was looked at, not the 22 MB of the file.
    EXPECT_LT(readForFirstRows, 2 * 1024 * 1024) << "bytes read";
    EXPECT_LT(rssForFirstRows, 4 * 1024) << "kB resident";
    EXPECT_LT(firstRowsMs, 2000);

    // Counting reads the rest once.
    EXPECT_EQ(t->rowCount(), Records - qint64(deleted.size()));
    EXPECT_GE(procValue("/proc/self/io", "rchar:") - readBefore, fileSize - 65536 * 22);
    EXPECT_LT(procValue("/proc/self/status", "VmRSS:") - rssBefore, 8 * 1024) << "kB resident after counting";

    // Far positions map to the right records without reading anything again.
    const qint64 readAfterCount = procValue("/proc/self/io", "rchar:");
    std::vector<qint64> live;
    for (qint64 r = 3 * 65536 + 90; r < 3 * 65536 + 5110; ++r) {
        if (!deleted.count(r))
            live.push_back(r);
    }
    const qint64 base = t->positionOf(3 * 65536 + 90);
    EXPECT_EQ(base, 3 * 65536 + 90);
    for (size_t i = 0; i < live.size(); ++i) {
        EXPECT_EQ(t->rowAt(base + qint64(i)), live[i]);
        EXPECT_EQ(t->positionOf(live[i]), base + qint64(i));
    }
    for (qint64 r : deleted)
        EXPECT_EQ(t->positionOf(r), -1) << r;
    EXPECT_EQ(t->rowAt(t->rowCount() - 1), Records - 2);
    EXPECT_LT(procValue("/proc/self/io", "rchar:") - readAfterCount, 4096); // reading /proc itself counts
    EXPECT_EQ(t->value(Records - 2, 1).toLongLong(), Records - 2);

    // Walking every row the way a search or an export does stays quick.
    timer.restart();
    qint64 sum = 0;
    const qint64 n = t->rowCount();
    for (qint64 p = 0; p < n; ++p)
        sum += t->value(t->rowAt(p), 1).toLongLong();
    qint64 expected = (Records - 1) * Records / 2;
    for (qint64 r : deleted)
        expected -= r;
    EXPECT_EQ(sum, expected);
    EXPECT_LT(timer.elapsed(), 20000);

    // Appending to the big table keeps the bookkeeping right.
    const RowId added = t->append({QStringLiteral("neu"), 4711});
    EXPECT_EQ(added, Records);
    EXPECT_EQ(t->rowCount(), n + 1);
    EXPECT_EQ(t->rowAt(n), Records);
    t->remove(5);
    EXPECT_EQ(t->rowCount(), n);
    EXPECT_EQ(t->rowAt(5), 6);
}

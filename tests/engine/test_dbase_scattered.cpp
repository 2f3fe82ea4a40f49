// Records visited far apart, as an index order visits them: each is read where
// it lies instead of loading a block of records for it, every value is right,
// and a file another program shortens or this one lengthens meanwhile is
// reported or followed, never a crash.
#include "Driver.h"
#include "EngineError.h"
#include "FilterExpression.h"
#include "FilterWalk.h"
#include "TestSupport.h"
#include "Tables.h"
#include "drivers/dbase/DbaseDriver.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::ScratchDir;
using testsupport::numberedDbf;
using testsupport::openDbf;
using testsupport::procValue;

namespace {

constexpr qint64 Records = 100000;
constexpr qint64 Stride = 48271; // coprime to Records: i * Stride visits every record once, far apart

// Records numbered records in a scratch folder, opened through the driver.
struct ScatteredTable {
    ScratchDir dir;
    int headerLength = 0;
    QString path = numberedDbf(dir.path(), QStringLiteral("streu"), Records, {}, &headerLength);
    std::unique_ptr<TableSource> t = openDbf(path, OpenOptions{});

    // Another program cuts the file after record 40000 (mid-page, as real cuts are).
    bool cutAfterRecord40000() const
    {
        QFile other(path);
        return other.open(QIODevice::ReadWrite) && other.resize(headerLength + 40000 * 22 + 7);
    }
};

} // namespace

TEST(DbaseScattered, FarApartRecordsAreReadWhereTheyLie)
{
    ScatteredTable s;
    auto &t = s.t;
    ASSERT_EQ(t->rowCount(), Records);

    const qint64 before = procValue("/proc/self/io", "rchar:");
    qint64 wrong = 0;
    for (qint64 i = 0; i < Records; ++i) {
        const RowId row = i * Stride % Records;
        // Both fields of one record, then the number again: the record is read once.
        if (t->value(row, 1).toLongLong() != row || t->text(row, 0) != QLatin1String("Satz")
            || t->value(row, 1).toLongLong() != row)
            ++wrong;
    }
    EXPECT_EQ(wrong, 0);
    // A block of about 256 KB per record would be 25 GB; the records themselves are 2.2 MB.
    EXPECT_LT(procValue("/proc/self/io", "rchar:") - before, 4 * 1024 * 1024) << "bytes read by read calls";

    // Neighbours after a far jump still come right, from either path.
    for (const RowId row : {RowId(99999), RowId(5), RowId(6), RowId(7), RowId(50000), RowId(49999), RowId(0)})
        EXPECT_EQ(t->value(row, 1).toLongLong(), row);
}

TEST(DbaseScattered, FileShortenedByAnotherProgramIsReportedNotACrash)
{
    ScatteredTable s;
    auto &t = s.t;
    // Far reads first, so the file is in use the way an index order uses it.
    EXPECT_EQ(t->value(90000, 1).toLongLong(), 90000);
    EXPECT_EQ(t->value(10, 1).toLongLong(), 10);
    EXPECT_EQ(t->value(70000, 1).toLongLong(), 70000);

    ASSERT_TRUE(s.cutAfterRecord40000());

    try {
        t->value(95000, 1);
        ADD_FAILURE() << "a record past the new end was read";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.kind(), ErrorKind::Damaged);
        EXPECT_TRUE(e.message().contains(QLatin1String("endet vor dem Satz"))) << e.message().toStdString();
    }
    // Past the cut but on the file's last page, where a map reads zero bytes.
    EXPECT_EQ(t->value(3, 1).toLongLong(), 3);
    try {
        t->value(40001, 1);
        ADD_FAILURE() << "a record on the cut page was read";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.kind(), ErrorKind::Damaged);
    }
    try {
        t->value(60000, 0);
        ADD_FAILURE() << "a record past the new end was read";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.kind(), ErrorKind::Damaged);
    }
    // What is left is still read right, far apart or not.
    EXPECT_EQ(t->value(39999, 1).toLongLong(), 39999);
    EXPECT_EQ(t->value(3, 1).toLongLong(), 3);
    EXPECT_EQ(t->value(25000, 1).toLongLong(), 25000);
}

TEST(DbaseScattered, RecordOnTheCutPageIsReportedNotReadAsBlanks)
{
    ScatteredTable s;
    auto &t = s.t;
    EXPECT_EQ(t->value(90000, 1).toLongLong(), 90000);
    EXPECT_EQ(t->value(10, 1).toLongLong(), 10);

    ASSERT_TRUE(s.cutAfterRecord40000());
    // The page holding the cut is still mapped; its rest reads as zero bytes.
    try {
        const QVariant v = t->value(40001, 1);
        ADD_FAILURE() << "read " << v.toString().toStdString() << " past the end";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.kind(), ErrorKind::Damaged);
        EXPECT_TRUE(e.message().contains(QLatin1String("endet vor dem Satz 40001"))) << e.message().toStdString();
    }
    EXPECT_EQ(t->value(12, 1).toLongLong(), 12);
}

TEST(DbaseScattered, RecordsAppendedAfterFarReadsAreFound)
{
    ScatteredTable s;
    auto &t = s.t;
    EXPECT_EQ(t->value(80000, 1).toLongLong(), 80000);
    EXPECT_EQ(t->value(2, 1).toLongLong(), 2);
    const RowId added = t->append({QStringLiteral("neu"), 4711});
    ASSERT_EQ(added, Records);
    // Far from the last read, so past the part of the file seen before the append.
    EXPECT_EQ(t->value(1000, 1).toLongLong(), 1000);
    EXPECT_EQ(t->value(added, 1).toLongLong(), 4711);
    EXPECT_EQ(t->text(added, 0), QStringLiteral("neu"));
    EXPECT_EQ(t->value(30000, 1).toLongLong(), 30000);
    // A change to a record is seen by the next far read of it.
    t->update(30000, {}, {QStringLiteral("anders"), 7});
    EXPECT_EQ(t->value(90000, 1).toLongLong(), 90000);
    EXPECT_EQ(t->value(30000, 1).toLongLong(), 7);
    EXPECT_EQ(t->text(30000, 0), QStringLiteral("anders"));
}

TEST(DbaseScattered, FilterWalkOverAFileCutMeanwhileIsReportedNotACrash)
{
    ScatteredTable table;
    auto &t = table.t;
    const FilterExpression e = FilterExpression::parse(QStringLiteral("NR >= 99990 OR NAME <> 'Satz'"), t->fieldDefs());
    // The first walk maps the file and reads the two fields of every record from the map.
    const QVector<RowId> kept = keptRows(*t, e, 0, nullptr);
    ASSERT_EQ(kept.size(), 10);
    EXPECT_EQ(kept.front(), 99990);
    QVector<RowId> backwards;
    for (qint64 r = Records - 1; r >= 0; r -= 7)
        backwards << r;
    EXPECT_EQ(keptRows(*t, e, 0, &backwards), (QVector<RowId>{99999, 99992}));

    // Another program cuts the file mid-page; the next walk touches pages no longer backed by it.
    ASSERT_TRUE(table.cutAfterRecord40000());
    const QVector<RowId> *orders[] = {nullptr, &backwards};
    for (const QVector<RowId> *order : orders) {
        try {
            const QVector<RowId> rows = keptRows(*t, e, 0, order);
            ADD_FAILURE() << "the walk kept " << rows.size() << " rows of a cut file";
        } catch (const EngineError &error) {
            EXPECT_EQ(error.kind(), ErrorKind::Damaged);
            EXPECT_TRUE(error.message().contains(QLatin1String("endet vor dem Satz"))) << error.message().toStdString();
        }
    }
}

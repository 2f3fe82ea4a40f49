// The record count made in the background: the dataset moves before it is
// known, the count arrives from a second handle, a caller that needs it waits
// for it, and a count made before the table changed is dropped.
#include "Connection.h"
#include "TableDataset.h"
#include "TestSupport.h"
#include "drivers/dbase/DbaseDriver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::ScratchDir;

namespace {

// Five chunks of the driver's deleted-record bookkeeping and a bit.
constexpr qint64 Records = 5 * 65536 + 1234;

bool isDeleted(qint64 r)
{
    return (r >= 2 * 65536 + 10 && r < 2 * 65536 + 2010) || r % 50001 == 7 || r == Records - 1;
}

qint64 liveRecords()
{
    qint64 n = 0;
    for (qint64 r = 0; r < Records; ++r)
        n += isDeleted(r) ? 0 : 1;
    return n;
}

// NR holds the record number, so a value tells which record is current.
QString buildTable(const ScratchDir &dir)
{
    DbaseDriver driver;
    FieldDef nr;
    nr.name = QStringLiteral("NR");
    nr.dataType = ftInteger;
    driver.create(dir.path(), QStringLiteral("zaehl"), {nr});
    const QString path = dir.file(QStringLiteral("zaehl.dbf"));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadWrite));
    const QByteArray header = f.read(32);
    const int headerLength = quint8(header[8]) | (quint8(header[9]) << 8);
    EXPECT_EQ(quint8(header[10]) | (quint8(header[11]) << 8), 12);
    f.seek(headerLength);
    QByteArray block;
    for (qint64 r = 0; r < Records; ++r) {
        block += isDeleted(r) ? '*' : ' ';
        block += QByteArray::number(r).rightJustified(11, ' ');
    }
    block += '\x1A';
    f.write(block);
    f.seek(4);
    const quint32 count = quint32(Records);
    f.write(reinterpret_cast<const char *>(&count), 4);
    return path;
}

QCoreApplication &application()
{
    static int argc = 1;
    static char name[] = "test_engine";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    return app ? *app : *QCoreApplication::instance();
}

struct CountedTable {
    Connection connection;
    TableDataset table;
    int arrivals = 0;

    explicit CountedTable(const QString &path)
    {
        application();
        const QFileInfo info(path);
        connection.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("dBASE 5.0"));
        connection.setPropertyValue(QStringLiteral("Data Source"), info.absolutePath());
        table.setConnection(&connection);
        table.setTableName(info.fileName());
        table.setCountInBackground(true);
        QObject::connect(&table, &TableDataset::recordCountArrived, [this] { ++arrivals; });
        table.Open();
    }
    qint64 nr() { return table.FieldByName(QStringLiteral("NR"))->AsInteger(); }
    // Lets queued work run until the count is known (at most a minute).
    bool waitForCount()
    {
        QElapsedTimer timer;
        timer.start();
        while (!table.RecordCountKnown() && timer.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::processEvents();
        return table.RecordCountKnown();
    }
};

} // namespace

TEST(DatasetCount, MovesBeforeTheCountAndTakesItFromTheBackground)
{
    ScratchDir dir;
    CountedTable t(buildTable(dir));
    // Nothing ran the event loop yet, so the count cannot have arrived.
    ASSERT_FALSE(t.table.RecordCountKnown());
    EXPECT_EQ(t.table.RecordCountEstimate(), Records);
    EXPECT_EQ(t.table.RecNo(), 1);
    EXPECT_EQ(t.nr(), 0);
    t.table.Next();
    EXPECT_EQ(t.table.RecNo(), 2);
    // Across the run of deleted records in the third chunk.
    EXPECT_EQ(t.table.MoveBy(2 * 65536 + 100), 2 * 65536 + 100);
    EXPECT_EQ(t.table.RecNo(), 2 * 65536 + 102);
    EXPECT_EQ(t.nr(), 2 * 65536 + 101 + 2003); // 2000 in the run, 7, 50008 and 100009 before it
    t.table.Prior();
    EXPECT_EQ(t.table.RecNo(), 2 * 65536 + 101);
    EXPECT_FALSE(t.table.Eof());
    EXPECT_FALSE(t.table.Bof());
    EXPECT_FALSE(t.table.RecordCountKnown());
    EXPECT_EQ(t.arrivals, 0);

    ASSERT_TRUE(t.waitForCount());
    EXPECT_EQ(t.arrivals, 1);
    // Taken over from the scan: the table knows it without counting itself.
    EXPECT_TRUE(t.table.source()->countsInBackground()->rowCountKnown());
    EXPECT_EQ(t.table.RecordCount(), liveRecords());
    EXPECT_EQ(t.table.RecordCountEstimate(), liveRecords());
    EXPECT_EQ(t.table.RecNo(), 2 * 65536 + 101);
    t.table.Last();
    EXPECT_EQ(t.table.RecNo(), liveRecords());
    EXPECT_EQ(t.nr(), Records - 2);
}

TEST(DatasetCount, WhoNeedsTheCountWaitsForIt)
{
    ScratchDir dir;
    const QString path = buildTable(dir);
    {
        // RecordCount, as a printout asks it, before the scan could report.
        CountedTable t(path);
        ASSERT_FALSE(t.table.RecordCountKnown());
        EXPECT_EQ(t.table.RecordCount(), liveRecords());
        EXPECT_TRUE(t.table.RecordCountKnown());
        QCoreApplication::processEvents();
        EXPECT_EQ(t.arrivals, 1); // the status hears of it once
    }
    {
        CountedTable t(path);
        ASSERT_FALSE(t.table.RecordCountKnown());
        t.table.Last();
        EXPECT_EQ(t.table.RecNo(), liveRecords());
        EXPECT_TRUE(t.table.Eof());
        EXPECT_EQ(t.nr(), Records - 2);
    }
    {
        // Moving past the end finds the count on the way.
        CountedTable t(path);
        EXPECT_EQ(t.table.MoveBy(int(Records)), liveRecords() - 1);
        EXPECT_TRUE(t.table.Eof());
        EXPECT_TRUE(t.table.RecordCountKnown());
        EXPECT_EQ(t.table.RecNo(), liveRecords());
        QCoreApplication::processEvents();
        EXPECT_EQ(t.arrivals, 1);
    }
    {
        // Closing while the scan runs stops it; nothing arrives afterwards.
        CountedTable t(path);
        t.table.Close();
        QCoreApplication::processEvents();
        EXPECT_EQ(t.arrivals, 0);
    }
}

TEST(DatasetCount, CountMadeBeforeADeleteOrAForeignChangeIsDropped)
{
    ScratchDir dir;
    const QString path = buildTable(dir);
    DbaseDriver driver;
    {
        // A scan that saw the table as it was before its own append is taken
        // over: the appended record lies behind what it read and is not deleted.
        auto table = driver.open(dir.path(), QStringLiteral("zaehl"), {});
        CountsInBackground *counter = table->countsInBackground();
        ASSERT_NE(counter, nullptr);
        std::unique_ptr<CountScan> scan = counter->countScan();
        ASSERT_NE(scan, nullptr);
        table->append({QVariant(qint64(4711))});
        std::atomic<bool> stop{false};
        scan->run(stop);
        EXPECT_TRUE(counter->adoptCount(*scan));
        EXPECT_TRUE(counter->rowCountKnown());
        EXPECT_EQ(table->rowCount(), liveRecords() + 1);
        EXPECT_EQ(table->positionOf(Records), liveRecords());
        EXPECT_EQ(table->value(table->rowAt(liveRecords()), 0).toLongLong(), 4711);
    }
    {
        // The same after a delete; and a scan of the unchanged table is taken.
        auto table = driver.open(dir.path(), QStringLiteral("zaehl"), {});
        CountsInBackground *counter = table->countsInBackground();
        std::unique_ptr<CountScan> before = counter->countScan();
        table->remove(table->rowAt(3));
        std::atomic<bool> stop{false};
        before->run(stop);
        EXPECT_FALSE(counter->adoptCount(*before));
        std::unique_ptr<CountScan> after = counter->countScan();
        ASSERT_NE(after, nullptr);
        after->run(stop);
        EXPECT_TRUE(counter->adoptCount(*after));
        EXPECT_TRUE(counter->rowCountKnown());
        EXPECT_EQ(table->rowCount(), liveRecords()); // one appended, one deleted
        EXPECT_EQ(counter->countScan(), nullptr);  // nothing left to count
        // A stopped scan does not make the count known; the table counts the rest.
        auto fresh = driver.open(dir.path(), QStringLiteral("zaehl"), {});
        std::unique_ptr<CountScan> stopped = fresh->countsInBackground()->countScan();
        std::atomic<bool> stopNow{true};
        stopped->run(stopNow);
        EXPECT_FALSE(fresh->countsInBackground()->adoptCount(*stopped));
        EXPECT_FALSE(fresh->countsInBackground()->rowCountKnown());
        EXPECT_EQ(fresh->rowCount(), liveRecords());
    }
    {
        // Through the dataset: an append while the count is pending counts.
        CountedTable t(path);
        ASSERT_FALSE(t.table.RecordCountKnown());
        t.table.Append();
        t.table.FieldByName(QStringLiteral("NR"))->setValue(qint64(815));
        t.table.Post();
        ASSERT_TRUE(t.waitForCount());
        EXPECT_EQ(t.table.RecordCount(), liveRecords() + 1);
        EXPECT_EQ(t.table.RecNo(), liveRecords() + 1);
        t.table.Delete();
        EXPECT_EQ(t.table.RecordCount(), liveRecords());
    }
}

TEST(DatasetCount, ForeignAppendSeenByTheTablesOwnWriteDropsTheScan)
{
    ScratchDir dir;
    buildTable(dir);
    DbaseDriver driver;
    auto table = driver.open(dir.path(), QStringLiteral("zaehl"), {});
    auto other = driver.open(dir.path(), QStringLiteral("zaehl"), {}); // another program
    CountsInBackground *counter = table->countsInBackground();
    std::unique_ptr<CountScan> scan = counter->countScan();
    ASSERT_NE(scan, nullptr);
    other->append({QVariant(qint64(1))});
    other->remove(other->rowAt(3 * 65536)); // a deletion a scan may or may not have read
    table->append({QVariant(qint64(2))}); // reads the header anew under its lock
    std::atomic<bool> stop{false};
    scan->run(stop);
    EXPECT_FALSE(counter->adoptCount(*scan));
    EXPECT_EQ(table->rowCount(), liveRecords() + 1); // two appended, one deleted
}

TEST(DatasetCount, AppendDoesNotWaitForTheCount)
{
    ScratchDir dir;
    const QString path = buildTable(dir);
    {
        CountedTable t(path);
        ASSERT_FALSE(t.table.RecordCountKnown());
        t.table.Next();
        t.table.Append();
        EXPECT_FALSE(t.table.RecordCountKnown());
        // The insert row stands after the file's last record, as the grid shows it.
        EXPECT_EQ(t.table.RecNo(), Records + 1);
        t.table.FieldByName(QStringLiteral("NR"))->setValue(qint64(815));
        EXPECT_EQ(t.table.textAt(Records, 0), QStringLiteral("815"));
        t.table.Post();
        EXPECT_FALSE(t.table.RecordCountKnown());
        EXPECT_EQ(t.nr(), 815);
        EXPECT_EQ(t.table.RecNo(), Records + 1); // the file's last record until the count is there
        EXPECT_EQ(t.table.textAt(Records, 0), QStringLiteral("815"));
        // The rows before it, as the grid shows them, wait for the count
        // instead of reading the whole table for their places.
        EXPECT_EQ(t.table.textAt(Records - 3, 0), QString());
        EXPECT_FALSE(t.table.source()->countsInBackground()->rowCountKnown());
        EXPECT_EQ(t.table.textAt(0, 0), QStringLiteral("0")); // the first screen's rows are placed
        // A second append goes behind the first, still without the count.
        t.table.Append();
        t.table.FieldByName(QStringLiteral("NR"))->setValue(qint64(816));
        t.table.Post();
        EXPECT_FALSE(t.table.RecordCountKnown());
        EXPECT_EQ(t.nr(), 816);

        ASSERT_TRUE(t.waitForCount());
        EXPECT_EQ(t.table.RecordCount(), liveRecords() + 2);
        EXPECT_EQ(t.table.RecNo(), liveRecords() + 2);
        EXPECT_EQ(t.nr(), 816);
        EXPECT_EQ(t.table.textAt(liveRecords() - 1, 0), QString::number(Records - 2));
        t.table.Prior();
        EXPECT_EQ(t.nr(), 815);
        t.table.Prior();
        EXPECT_EQ(t.nr(), Records - 2); // the last record is deleted
    }
    {
        // A given-up append leaves the current record and the count pending.
        CountedTable t(path);
        t.table.MoveBy(5);
        t.table.Append();
        t.table.FieldByName(QStringLiteral("NR"))->setValue(qint64(999));
        t.table.Cancel();
        EXPECT_FALSE(t.table.RecordCountKnown());
        EXPECT_EQ(t.table.RecNo(), 6);
        EXPECT_EQ(t.nr(), 5);
    }
    {
        // Moving away from a record appended before the count waits for it
        // and starts from the record's exact place.
        CountedTable t(path);
        t.table.Append();
        t.table.FieldByName(QStringLiteral("NR"))->setValue(qint64(817));
        t.table.Post();
        ASSERT_FALSE(t.table.RecordCountKnown());
        t.table.Prior();
        EXPECT_TRUE(t.table.RecordCountKnown());
        EXPECT_EQ(t.table.RecordCount(), liveRecords() + 3);
        EXPECT_EQ(t.table.RecNo(), liveRecords() + 2);
        EXPECT_EQ(t.nr(), 816);
    }
}

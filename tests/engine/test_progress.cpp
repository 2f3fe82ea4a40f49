// Progress of long walks: when a meter reads the clock and tells its observer,
// which observer hears it, and what the export and the filter walk report.
#include "Connection.h"
#include "IndexRepair.h"
#include "Progress.h"
#include "TableDataset.h"
#include "TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

using namespace engine;
using testsupport::ScratchDir;

namespace {

using Reports = std::vector<std::pair<qint64, qint64>>;

struct Recorder : ProgressObserver {
    Reports reports;
    void progress(qint64 done, qint64 total) override { reports.emplace_back(done, total); }
};

// Timing for one test, put back afterwards for the tests that follow.
struct Timing {
    ProgressTiming before = progressTiming();
    explicit Timing(ProgressTiming t) { setProgressTiming(t); }
    ~Timing() { setProgressTiming(before); }
};

// A CSV table of n records "NR,ORT".
QString writeCsv(const ScratchDir &dir, const QString &name, int n)
{
    QFile file(dir.file(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("NR,ORT\r\n");
    for (int i = 1; i <= n; ++i)
        file.write(QByteArray::number(i) + (i % 2 ? ",K\xc3\xb6ln\r\n" : ",Bonn\r\n"));
    return file.fileName();
}

} // namespace

TEST(Progress, MeterWaitsForTheFirstDelayThenReportsAtMostEveryInterval)
{
    const Timing timing({500, 100});
    qint64 now = 1000;
    int clockReads = 0;
    const ProgressClock clock = [&] {
        ++clockReads;
        return now;
    };
    Recorder seen;
    ProgressMeter meter(&seen, 10000, clock);
    meter.step(0);
    now = 1499;
    meter.step(64);
    EXPECT_TRUE(seen.reports.empty()) << "nothing before the first delay";
    now = 1500;
    meter.step(128);
    now = 1599;
    meter.step(192);
    now = 1600;
    meter.step(256);
    EXPECT_EQ(seen.reports, (Reports{{128, 10000}, {256, 10000}}));

    // Between strides the clock is not even read, however late it is.
    now = 9000;
    const int readsBefore = clockReads;
    for (qint64 s = 257; s < 320; ++s)
        meter.step(s);
    EXPECT_EQ(clockReads, readsBefore);
    meter.step(320);
    EXPECT_EQ(seen.reports.back(), (std::pair<qint64, qint64>{320, 10000}));

    meter.finish();
    EXPECT_EQ(seen.reports.back(), (std::pair<qint64, qint64>{10000, 10000})) << "the end is told";
    EXPECT_EQ(seen.reports.size(), 4u);
}

TEST(Progress, ShortWorkAndWorkWithoutObserverShowNothing)
{
    const Timing timing({500, 100});
    qint64 now = 0;
    int clockReads = 0;
    const ProgressClock clock = [&] {
        ++clockReads;
        return now;
    };
    Recorder seen;
    {
        ProgressMeter quick(&seen, 100, clock);
        for (qint64 s = 0; s < 100; ++s) {
            now = s; // done within 100 ms
            quick.step(s);
        }
        quick.finish();
    }
    EXPECT_TRUE(seen.reports.empty()) << "no end is told where nothing was shown";

    clockReads = 0;
    ProgressMeter unobserved(1000000, clock); // no scope installed on this thread
    for (qint64 s = 0; s < 1000000; ++s)
        unobserved.step(s);
    unobserved.finish();
    EXPECT_EQ(clockReads, 0);
}

TEST(Progress, ScopesNestAndBelongToTheirThread)
{
    const Timing timing({0, 0});
    Recorder outer;
    Recorder inner;
    {
        const ProgressScope a(&outer);
        {
            const ProgressScope b(&inner);
            ProgressMeter m(10);
            m.step(0);
        }
        ProgressMeter m(20);
        m.step(0);
        m.finish();
    }
    ProgressMeter after(30);
    after.step(0);
    EXPECT_EQ(inner.reports, (Reports{{0, 10}}));
    EXPECT_EQ(outer.reports, (Reports{{0, 20}, {20, 20}}));
}

TEST(Progress, PercentIsWholeAndBounded)
{
    EXPECT_EQ(percentOf(0, 200), 0);
    EXPECT_EQ(percentOf(90, 200), 45);
    EXPECT_EQ(percentOf(199, 200), 99) << "not rounded up to a finish that has not come";
    EXPECT_EQ(percentOf(200, 200), 100);
    EXPECT_EQ(percentOf(250, 200), 100);
    EXPECT_EQ(percentOf(-5, 200), 0);
    EXPECT_EQ(percentOf(7, 0), 0);
    EXPECT_EQ(percentOf(4500000000000LL, 10000000000000LL), 45) << "large counts do not overflow";
}

TEST(Progress, ExportAndFilterReportEveryStrideAndTheirEnd)
{
    const Timing timing({0, 0});
    ScratchDir dir;
    writeCsv(dir, QStringLiteral("orte.csv"), 200);
    Connection connection;
    connection.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("Text"));
    connection.setPropertyValue(QStringLiteral("Data Source"), dir.path());

    Recorder csv;
    {
        const ProgressScope scope(&csv);
        EXPECT_EQ(connection.Execute(QStringLiteral("SELECT * INTO [kopie.csv] IN \"%1\" \"Text;\" FROM [orte.csv]").arg(dir.path())), 200);
    }
    EXPECT_EQ(csv.reports, (Reports{{0, 200}, {64, 200}, {128, 200}, {192, 200}, {200, 200}}));

    // dBASE measures its columns in a first walk: both walks are counted.
    Recorder dbf;
    {
        const ProgressScope scope(&dbf);
        EXPECT_EQ(connection.Execute(QStringLiteral("SELECT * INTO [kopie.dbf] IN \"%1\" \"dBASE IV;\" FROM [orte.csv]").arg(dir.path())), 200);
    }
    ASSERT_EQ(dbf.reports.size(), 8u);
    EXPECT_EQ(dbf.reports.front(), (std::pair<qint64, qint64>{0, 400}));
    EXPECT_EQ(dbf.reports.at(4), (std::pair<qint64, qint64>{256, 400})) << "the second walk goes on from the first";
    EXPECT_EQ(dbf.reports.back(), (std::pair<qint64, qint64>{400, 400}));

    TableDataset table;
    table.setConnection(&connection);
    table.setTableName(QStringLiteral("orte.csv"));
    table.setFilter(QStringLiteral("ORT = 'Bonn'"));
    table.setFiltered(true);
    Recorder filter;
    {
        const ProgressScope scope(&filter);
        table.Open();
    }
    EXPECT_EQ(table.RecordCount(), 100);
    EXPECT_EQ(filter.reports, (Reports{{0, 200}, {64, 200}, {128, 200}, {192, 200}, {200, 200}}));
}

TEST(Progress, BuildingAnIndexReportsItsWalk)
{
    const Timing timing({0, 0});
    ScratchDir dir;
    dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ndx-date.ndx"));
    dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ndx-date.dbf"));
    Connection connection;
    connection.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("dBASE 5.0"));
    connection.setPropertyValue(QStringLiteral("Data Source"), dir.path());
    auto table = connection.openTable(QStringLiteral("ndx-date.dbf"), {});
    ASSERT_NE(table->indexRepair(), nullptr);
    Recorder reindex;
    {
        const ProgressScope scope(&reindex);
        table->indexRepair()->reindex();
    }
    // 297 records, told every 64 and at the end.
    EXPECT_EQ(reindex.reports, (Reports{{0, 297}, {64, 297}, {128, 297}, {192, 297}, {256, 297}, {297, 297}}));
}

#pragma once
// Counting a table's rows on another thread while the table is read on its
// own: for kinds whose count means reading the whole file (dBASE finds its
// deleted records so), the first screen need not wait for it.
#include <QtGlobal>

#include <atomic>
#include <memory>

namespace engine {

// One count in the making. It reads through a handle of its own and touches
// nothing of the table, so run() may run on any thread.
class CountScan {
public:
    virtual ~CountScan() = default;
    // Reads what the count needs; returns early when stop is set. Throws
    // nothing: a failed scan is one the table refuses to take over.
    virtual void run(const std::atomic<bool> &stop) = 0;
};

class CountsInBackground {
public:
    virtual ~CountsInBackground() = default;
    // Whether rowCount() answers without reading the table.
    virtual bool rowCountKnown() const = 0;
    // The most rows the table can have now (the records in the file, deleted
    // ones included): a stand-in for the count until it is known.
    virtual qint64 rowCountAtMost() const = 0;
    // The rows up to limit: min(limit, rowCount()), reading no further than needed.
    virtual qint64 rowsUpTo(qint64 limit) = 0;
    // The rows whose places are known without reading: a position below it is
    // found at once, a later one may read the table up to it.
    virtual qint64 rowsPlacedWithoutReading() const = 0;
    // A scan of the table as it is now, on a second handle; nullptr when
    // there is nothing to count or no second handle opens.
    virtual std::unique_ptr<CountScan> countScan() = 0;
    // Takes over what a scan counted: all of it when it completed (true), the
    // part it finished when it was stopped (false). Nothing is taken (false)
    // when a change since the scan began may have changed what it read (a
    // delete, another program's records); the table's own appends and edits
    // are counted on, so that appending need not wait for the count.
    virtual bool adoptCount(CountScan &scan) = 0;
};

} // namespace engine

#pragma once
// The record search's walk over the records of a dataset: the first position
// at or after a start whose record the condition rows find. A table that hands
// out its cells as stored (dBASE) is read in batches of rows, only the chosen
// fields, and text is compared in its stored bytes; other cells and tables are
// compared in the field texts, as the dataset shows them.
#include "SearchRules.h"

#include <QString>
#include <array>

namespace engine {
class TableDataset;
}

namespace search {

struct SearchRow {
    int field = -1;  // the chosen field's number; -1: the row has none
    int joiner = 0;  // as RowResult::joiner
    QString value;   // as typed
};

// The position (0-based, in the dataset's present order and filter) of the
// first record from position from on that the rows find, or -1; progress is
// told to the thread's observer. The dataset stays where it is.
qint64 findRecord(engine::TableDataset &table, qint64 from, const std::array<SearchRow, 6> &rows, bool caseSensitive,
                  bool exact);

} // namespace search

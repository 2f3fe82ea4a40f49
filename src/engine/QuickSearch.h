#pragma once
// The quick search of the window's search box: the first record, in the order
// of the dataset's chosen index, whose key begins with the typed text (case
// does not count). The order itself stays; only the position is found.
#include <QString>

namespace engine {

class TableDataset;

struct QuickSearchResult {
    qint64 position = -1;      // 0-based in the dataset's present order; -1: no key begins so
    bool binarySearch = false; // the keys were halved, not walked
    qint64 keysRead = 0;       // how many keys were computed
};

// The key is the index's own key expression where the table can compute it,
// else the index's first key field. An ascending key upper- or lower-cased as a
// whole sorts case-folded, so it is searched by halving; any other key is
// walked from the first record.
QuickSearchResult quickSearch(TableDataset &table, const QString &text);

} // namespace engine

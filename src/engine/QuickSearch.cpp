#include "QuickSearch.h"

#include "EngineError.h"
#include "IndexKey.h"
#include "TableDataset.h"

namespace engine {

namespace {

// The first position p in [0, count) whose key begins with text, walking.
template <typename KeyAt>
qint64 walk(qint64 count, const QString &text, QuickSearchResult &result, KeyAt keyAt)
{
    for (qint64 p = 0; p < count; ++p) {
        ++result.keysRead;
        if (keyAt(p).startsWith(text, Qt::CaseInsensitive))
            return p;
    }
    return -1;
}

} // namespace

QuickSearchResult quickSearch(TableDataset &table, const QString &text)
{
    QuickSearchResult result;
    if (text.isEmpty() || !table.Active() || table.IndexName().isEmpty())
        return result;
    const int i = table.indexDefs().IndexOf(table.IndexName());
    if (i < 0)
        return result;
    const qint64 count = table.RecordCount();

    if (const auto key = IndexKeyText::forIndex(table.source(), table.IndexName())) {
        const auto keyAt = [&](qint64 p) {
            ++result.keysRead;
            return key->text([&](int field) { return table.valueAt(p, field); });
        };
        try {
            if (key->searchable()) {
                result.binarySearch = true;
                // Keys in index order sort case-folded: the first one not below the text.
                const QString wanted = text.toUpper();
                qint64 lo = 0, hi = count;
                while (lo < hi) {
                    const qint64 mid = lo + (hi - lo) / 2;
                    if (keyAt(mid).left(wanted.size()).toUpper() < wanted)
                        lo = mid + 1;
                    else
                        hi = mid;
                }
                if (lo < count && keyAt(lo).startsWith(text, Qt::CaseInsensitive))
                    result.position = lo;
                return result;
            }
            QuickSearchResult walked;
            result.position = walk(count, text, walked, [&](qint64 p) {
                return key->text([&](int field) { return table.valueAt(p, field); });
            });
            result.keysRead += walked.keysRead;
            return result;
        } catch (const EngineError &) {
            // A key that cannot be computed: the plain key field below still serves.
            result = QuickSearchResult();
        }
    }
    const QString keyField = table.indexDefs().Items(i).fields.section(QLatin1Char(';'), 0, 0);
    Field *field = keyField.isEmpty() ? nullptr : table.FindField(keyField);
    if (!field)
        return result;
    const int f = field->Index();
    result.position = walk(count, text, result, [&](qint64 p) { return table.textAt(p, f); });
    return result;
}

} // namespace engine

#include "QuickSearch.h"

#include "EngineError.h"
#include "IndexKey.h"
#include "RawCells.h"
#include "TableDataset.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace engine {

namespace {

// The first position p in [from, count) whose key begins with text, walking.
template <typename KeyAt>
qint64 walkFrom(qint64 from, qint64 count, const QString &text, QuickSearchResult &result, KeyAt keyAt)
{
    for (qint64 p = from; p < count; ++p) {
        ++result.keysRead;
        if (keyAt(p).startsWith(text, Qt::CaseInsensitive))
            return p;
    }
    return -1;
}

// The walk over a key that is a character field's text, where the table hands
// out that text as stored: each byte folded by the code page's table and
// compared with the typed text folded once, as startsWith(text, Qt::CaseInsensitive)
// compares; a cell in any other form is keyAt(p) as before. Nothing when the
// table cannot (the caller walks the keys then).
template <typename KeyAt>
std::optional<qint64> walkStored(TableDataset &table, int field, qint64 count, const QString &text,
                                 QuickSearchResult &result, KeyAt keyAt)
{
    auto *raw = dynamic_cast<RawCellSource *>(table.source());
    const Utf8Table *codePage = raw ? raw->utf8Table() : nullptr;
    if (!codePage || std::any_of(text.begin(), text.end(), [](QChar c) { return c.isSurrogate(); }))
        return std::nullopt;
    std::vector<char16_t> folded;
    for (const QChar c : text)
        folded.push_back(char16_t(QChar::toCaseFolded(char32_t(c.unicode()))));
    constexpr qint64 BatchRows = 512;
    std::vector<RowId> rows;
    for (qint64 first = 0; first < count; first += BatchRows) {
        const qint64 n = std::min(BatchRows, count - first);
        rows.resize(size_t(n));
        for (qint64 i = 0; i < n; ++i)
            rows[size_t(i)] = table.rowAt(first + i);
        if (!raw->gatherRows(rows.data(), n, &field, 1))
            return first == 0 ? std::nullopt : std::optional<qint64>(walkFrom(first, count, text, result, keyAt));
        for (qint64 i = 0; i < n; ++i) {
            ++result.keysRead;
            const RawCell cell = raw->gatheredCell(i, 0);
            bool hit;
            if (cell.form == RawCell::Text) {
                const auto *bytes = reinterpret_cast<const unsigned char *>(cell.data);
                hit = cell.size >= qsizetype(folded.size());
                for (size_t k = 0; hit && k < folded.size(); ++k)
                    hit = codePage->folded[bytes[k]] == folded[k];
            } else {
                hit = keyAt(first + i).startsWith(text, Qt::CaseInsensitive);
            }
            if (hit)
                return first + i;
        }
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
            const auto textAt = [&](qint64 p) {
                return key->text([&](int field) { return table.valueAt(p, field); });
            };
            // A record in edit is read from its fields, so only a browsing dataset walks the stored text.
            std::optional<qint64> stored;
            if (key->plainTextField() >= 0 && table.State() == dsBrowse)
                stored = walkStored(table, key->plainTextField(), count, text, walked, textAt);
            result.position = stored ? *stored : walkFrom(0, count, text, walked, textAt);
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
    result.position = walkFrom(0, count, text, result, [&](qint64 p) { return table.textAt(p, f); });
    return result;
}

} // namespace engine

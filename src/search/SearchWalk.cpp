#include "SearchWalk.h"

#include "Progress.h"
#include "RawCells.h"
#include "TableDataset.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace search {

namespace {

// Field types whose text is the number's plain digits (QString::number of the value).
bool isWhole(engine::TFieldType type)
{
    using namespace engine;
    return type == ftSmallint || type == ftInteger || type == ftWord || type == ftAutoInc || type == ftLargeint;
}

} // namespace

qint64 findRecord(engine::TableDataset &table, qint64 from, const std::array<SearchRow, 6> &rows, bool caseSensitive,
                  bool exact)
{
    const qint64 count = table.RecordCount();
    engine::TableSource &source = *table.source();
    auto *raw = dynamic_cast<engine::RawCellSource *>(&source);
    const engine::Utf8Table *codePage = raw ? raw->utf8Table() : nullptr;
    std::optional<StoredUpper> upper;
    if (codePage)
        upper.emplace(*codePage);
    // Digits are compared as stored text where the code page keeps ASCII as it is.
    const bool digitsAsText = codePage && codePage->asciiCompatible;

    // Each chosen field once, in the order first chosen; slot[r] is row r's place in it.
    std::vector<int> fields;
    std::array<int, 6> slot{};
    std::vector<Condition> conditions;
    std::array<RowResult, 6> results;
    for (size_t r = 0; r < rows.size(); ++r) {
        conditions.emplace_back(rows[r].value, caseSensitive, exact);
        results[r].chosen = rows[r].field >= 0;
        results[r].joiner = rows[r].joiner;
        slot[r] = -1;
        if (rows[r].field < 0)
            continue;
        const auto at = std::find(fields.begin(), fields.end(), rows[r].field);
        slot[r] = int(at - fields.begin());
        if (at == fields.end())
            fields.push_back(rows[r].field);
    }
    std::array<bool, 6> whole{};
    for (size_t r = 0; r < rows.size(); ++r)
        whole[r] = rows[r].field >= 0 && isWhole(source.fieldDefs().at(rows[r].field).dataType);

    // As the filter walk: a batch stays in the processor's cache until it is compared.
    constexpr qint64 BatchRows = 512;
    std::vector<engine::RowId> batch;
    engine::ProgressMeter meter(count);
    for (qint64 first = std::max<qint64>(0, from); first < count; first += BatchRows) {
        const qint64 n = std::min(BatchRows, count - first);
        batch.resize(size_t(n));
        for (qint64 i = 0; i < n; ++i)
            batch[size_t(i)] = table.rowAt(first + i);
        const bool gathered = raw && !fields.empty()
            && raw->gatherRows(batch.data(), n, fields.data(), int(fields.size()));
        for (qint64 i = 0; i < n; ++i) {
            meter.step(first + i);
            const engine::RowId row = batch[size_t(i)];
            for (size_t r = 0; r < rows.size(); ++r) {
                if (slot[r] < 0) {
                    results[r].result = true;
                    continue;
                }
                engine::RawCell cell;
                if (gathered)
                    cell = raw->gatheredCell(i, slot[r]);
                else if (raw)
                    cell = raw->rawCell(row, rows[r].field);
                // Text as stored where the table gives it, a whole number as its digits
                // written as the field's text writes them; any other cell as the field's text.
                if (cell.form == engine::RawCell::Text && upper) {
                    results[r].result = conditions[r].matchesStored(cell.data, cell.size, *upper);
                } else if (cell.form == engine::RawCell::Number && whole[r] && digitsAsText && cell.size <= 40) {
                    char digits[48];
                    const char *end = engine::formatPlainDecimal(cell.data, cell.size, true, '.', digits);
                    results[r].result = conditions[r].matchesStored(digits, int(end - digits), *upper);
                } else {
                    results[r].result = conditions[r].matches(source.text(row, rows[r].field));
                }
            }
            if (rowsMatch(results)) {
                meter.finish();
                return first + i;
            }
        }
    }
    meter.finish();
    return -1;
}

} // namespace search

#include "FilterWalk.h"

#include "Progress.h"
#include "RawCells.h"

#include <vector>

namespace engine {

QVector<RowId> keptRows(TableSource &source, const FilterExpression &expression, TFilterOptions options,
                        const QVector<RowId> *order)
{
    const qint64 count = order ? order->size() : source.rowCount();
    RowId row = 0;
    const std::function<QVariant(int)> valueOf = [&](int field) { return source.value(row, field); };
    RawCellSource *raw = dynamic_cast<RawCellSource *>(&source);
    const QVector<int> used = expression.fieldsUsed();
    const Utf8Table *table = raw ? raw->utf8Table() : nullptr;

    // A batch's records stay in the processor's cache between the gather and the comparisons.
    constexpr qint64 BatchRows = 512;
    std::vector<RowId> rows;
    QVector<RowId> kept;
    ProgressMeter meter(count);
    for (qint64 first = 0; first < count; first += BatchRows) {
        const qint64 n = std::min(BatchRows, count - first);
        rows.resize(size_t(n));
        for (qint64 i = 0; i < n; ++i)
            rows[size_t(i)] = order ? order->at(first + i) : source.rowAt(first + i);
        // The batch's fields at once where the source can, their cells made as
        // the expression looks at them; else row by row.
        const bool batched = raw && !used.isEmpty()
            && raw->gatherRows(rows.data(), n, used.constData(), int(used.size()));
        for (qint64 i = 0; i < n; ++i) {
            meter.step(first + i);
            row = rows[size_t(i)];
            bool keep;
            if (batched)
                keep = expression.matchesGathered(*raw, i, table, valueOf, options);
            else if (raw)
                keep = expression.matches(*raw, row, valueOf, options);
            else
                keep = expression.matches(valueOf, options);
            if (keep)
                kept.append(row);
        }
    }
    meter.finish();
    return kept;
}

} // namespace engine

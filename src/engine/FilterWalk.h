#pragma once
// The walk of a filter over a whole table: the rows an expression keeps, in
// the order walked. A source that hands out cells as stored is read in
// batches of rows and only for the fields the expression uses.
#include "Driver.h"
#include "FilterExpression.h"

#include <QVector>

namespace engine {

// The rows of order (nullptr: the source's natural order) that expression
// keeps, with progress told to the thread's observer.
QVector<RowId> keptRows(TableSource &source, const FilterExpression &expression, TFilterOptions options,
                        const QVector<RowId> *order);

} // namespace engine

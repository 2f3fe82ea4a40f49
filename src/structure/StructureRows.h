#pragma once
// The rows the structure listing shows for a table's fields and indexes; the
// structure dialog, its printout and the command-line tool all show these.
#include "TableDataset.h"

#include <QStringList>
#include <QVector>

namespace structure {

using Row = QStringList; // four cells

Row fieldHeading();
Row indexHeading();
// One row per field: number, name, German type name, size.
QVector<Row> fieldRows(const engine::TableDataset &table);
// The option text of an index: "Primär, Unique", "Unique, CaseIns.", "Absteig", ...
QString indexOptionText(engine::TIndexOptions options);
// One row per index: number (with "  »" for the index in use), name, fields or expression, options.
QVector<Row> indexRows(engine::TableDataset &table);

} // namespace structure

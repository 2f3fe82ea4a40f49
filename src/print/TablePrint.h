#pragma once
// The table printout: one line per record, one column per grid column of a
// printable type, the column widths and alignment fixed by the data type.
#include "FieldTypes.h"
#include "PrintCanvas.h"

#include <QString>
#include <QVector>
#include <optional>

namespace engine {
class TableDataset;
}

namespace print {

// How a type prints: its minimum width in characters and where its values go.
struct TypeLayout {
    int minimumWidth = 0;
    bool rightAligned = false;
};
// Nothing for the types that are not printed (memo, blob, picture, GUID, ...).
// Date-times are 19 wide: "dd.MM.yyyy hh:mm:ss" is shown whole.
std::optional<TypeLayout> typeLayout(engine::TFieldType type, int size);

struct PrintColumn {
    int field = 0; // index into the dataset's fields
    QString name;
    int width = 0;
    bool rightAligned = false;
};

// The field indexes of the grid's columns in their order; an empty list is
// every field in order, as the grid shows a table without chosen columns.
QVector<int> gridFields(const engine::TableDataset &table, const QVector<int> &visibleFields);

// FeldGroesse: the larger of the minimum width and the length of the name of
// the field behind grid column number column.
int FeldGroesse(const engine::TableDataset &table, const QVector<int> &fields, int column, int minimumWidth);

// The printed columns of the grid's columns; unprintable ones are left out.
QVector<PrintColumn> printColumns(const engine::TableDataset &table, const QVector<int> &fields);
// W: every printed cell is followed by one blank.
int lineWidth(const QVector<PrintColumn> &columns);
QString headingLine(const QVector<PrintColumn> &columns);
// One cell: left cells cut or filled to the width; right cells trimmed and
// filled in front, printed whole when longer.
QString printCell(const PrintColumn &column, const QString &text);
// The line of the dataset's current record.
QString recordLine(engine::TableDataset &table, const QVector<PrintColumn> &columns);

// The whole printout on a canvas: the page writer set up for the table, the
// bold header on every page, then every record of the dataset in its shown
// order (index and filter as set). The dataset ends on its last record.
void printTable(PrintCanvas &canvas, engine::TableDataset &table, const QVector<int> &fields,
                const QString &tableName, int fontSize);

} // namespace print

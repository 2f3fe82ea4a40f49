#pragma once
// The structure printout: a header block with the table's key figures, the
// field list and, when the table has indexes, the index list, printed from the
// rows the structure dialog shows.
#include "PrintCanvas.h"

#include <QStringList>
#include <QVector>
#include <optional>

namespace print {

struct StructurePrintout {
    QString databaseName;
    QString tableName;
    // Empty when no table is open: the header block then shows empty values.
    std::optional<qint64> recordCount;
    std::optional<int> recordSize;
    QString firstIndexSource;
    QVector<QStringList> fieldRows; // number, name, type name, size
    QVector<QStringList> indexRows; // number (with "  »"), name, fields, options
};

// "%-5s %-20s %-20s %8s": padded to at least the width, never cut.
QString fieldListLine(const QStringList &cells);
// "%-5s %-20s %-20s %-40s"
QString indexListLine(const QStringList &cells);
QString structureRule();

// Every line of the printout in order, with whether it is bold (the title).
struct StructureLine {
    QString text;
    bool bold = false;
};
QVector<StructureLine> structureLines(const StructurePrintout &printout);

// The printout through the page writer: title "Tabellenstruktur: " + table
// name + 20 blanks, no header lines of an earlier document.
void printStructure(PrintCanvas &canvas, const StructurePrintout &printout, int fontSize);

} // namespace print

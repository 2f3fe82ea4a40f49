#pragma once
// Copies a table into a new table of any kind that can be written: the target
// kind chooses its fields for the source's (and says what it had to change), a
// writer builds the new file beside its final name, and only a complete copy
// replaces an existing file.
#include "Driver.h"

#include <QStringList>

namespace engine {

struct ExportResult {
    qint64 rows = 0;
    QStringList changes; // what the target kind could not keep as it was, one sentence each
};

ExportResult exportTable(TableSource &source, Driver &target, const QString &dataSource, const QString &tableName);

// A value of a field of one type as a field of another type holds it (null stays
// null; text is read the way the engine shows values). Invalid when it does not convert.
QVariant convertValue(const QVariant &value, TFieldType from, TFieldType to);

// What one value needs of a column (see ColumnMeasure).
void measureValue(const QVariant &value, TFieldType type, ColumnMeasure &measure);

} // namespace engine

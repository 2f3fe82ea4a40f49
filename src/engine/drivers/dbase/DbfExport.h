#pragma once
// Export into a new dBASE IV table: fields chosen so every value fits (names of
// at most ten characters, long text as memo, numbers as wide as they need), and
// a writer that fills the table beside its final name.
#include "Driver.h"

namespace engine::dbase {

QVector<FieldDef> dbaseFieldsFor(const QVector<FieldDef> &source, const QVector<ColumnMeasure> &measures,
                                 QStringList &changes);

std::unique_ptr<TableWriter> createDbaseWriter(const QString &directory, const QString &tableName,
                                               const QVector<FieldDef> &fields);

} // namespace engine::dbase

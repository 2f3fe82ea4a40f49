#pragma once
// New Paradox 5.x tables without a key (code page 1252): the nearest Paradox
// types for the engine's fields, and a writer that streams the rows into a
// table and its blob file beside the target and renames them into place.
#include "Driver.h"

namespace engine::paradox {

QVector<FieldDef> paradoxFieldsFor(const QVector<FieldDef> &source, const QVector<ColumnMeasure> &measures,
                                   QStringList &changes);

std::unique_ptr<TableWriter> createParadoxWriter(const QString &dataSource, const QString &tableName,
                                                 const QVector<FieldDef> &fields);

} // namespace engine::paradox

#pragma once
// Creating a new, empty dBASE IV table (the kind export writes).
#include "Driver.h"

namespace engine::dbase {

struct StoredType {
    char type;
    int width;
    int decimals;
};

// How an engine field is stored in a new dBASE IV table; throws for types it cannot hold.
StoredType dbaseIVTypeFor(const FieldDef &field);

// Writes dataSource/tableName(.dbf), with a .dbt memo file when memo fields are
// asked for. Files are written beside and renamed into place. The memo file's
// header names its table: memoTableName when the files are written under a
// passing name and renamed later, else the table's own name.
void createDbaseIVTable(const QString &dataSource, const QString &tableName, const QVector<FieldDef> &fields,
                        const QString &memoTableName = QString());

} // namespace engine::dbase

#pragma once
// A table opened as the program opens a file (descriptor, connection, dataset),
// for the printouts' tests.
#include "Connection.h"
#include "KADOopen.h"
#include "TableDataset.h"

#include <QString>

struct OpenedTable {
    engine::Connection connection;
    engine::TableDataset table;
    data::TKADOopen descriptor;

    // table: the answer to the table choice of a data source with several tables.
    explicit OpenedTable(const QString &path, const QString &tableName = QString())
    {
        connection.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source="));
        table.setObjectName(QStringLiteral("TBView"));
        table.setConnection(&connection);
        descriptor.setADOTable(&table);
        descriptor.setAutoTableDirect(true);
        descriptor.setGetTablesDialog(true);
        descriptor.TablesDialogHook = [tableName](data::TKADOopen &) -> std::optional<QString> { return tableName; };
        descriptor.setDatabaseName(path);
        descriptor.Open();
    }
};

#pragma once
// Shared by the benchmarks: a dBASE table file bound to a connection and dataset.
#include "Connection.h"
#include "TableDataset.h"

#include <QFileInfo>

inline void bindDbaseTable(const QString &path, engine::Connection &connection, engine::TableDataset &table)
{
    const QFileInfo file(path);
    connection.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("dBASE 5.0"));
    connection.setPropertyValue(QStringLiteral("Data Source"), file.absolutePath());
    table.setObjectName(QStringLiteral("TBView"));
    table.setConnection(&connection);
    table.setTableName(file.fileName());
}

#pragma once
// Reading tables back after an export: every row's values through the engine's
// driver of a kind, and value comparison across kinds (a number stays the same
// number whether it came back as an integer, a double or text digits).
#include "Driver.h"

#include <QVariant>
#include <QVector>

namespace exporttest {

using Rows = QVector<QVector<QVariant>>;

Rows readRows(engine::TableSource &table);
Rows readRows(const QString &kind, const QString &dataSource, const QString &tableName);
QStringList fieldNames(const QString &kind, const QString &dataSource, const QString &tableName);

// Same value as another kind holds it; why not, in words, when not.
bool sameValue(const QVariant &a, const QVariant &b, QString *why = nullptr);
// Empty when both tables hold the same values row by row, else the first difference.
QString compareRows(const Rows &expected, const Rows &actual);

// The rows a reader that is not ours sees in a file (independent_read.py: kind
// "dbf", "csv", "xls" with the sheet as table, "html").
Rows independentRows(const QString &reader, const QString &path, const QString &table = QString());

// Runs a program; its standard output, or a failure naming it.
QString runProgram(const QString &program, const QStringList &arguments, int *exitCode);

} // namespace exporttest

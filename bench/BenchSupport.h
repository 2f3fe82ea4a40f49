#pragma once
// Shared by the benchmarks: a dBASE table file bound to a connection and dataset.
#include "Connection.h"
#include "TableDataset.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <cstdio>
#include <ctime>

inline void bindDbaseTable(const QString &path, engine::Connection &connection, engine::TableDataset &table)
{
    const QFileInfo file(path);
    connection.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("dBASE 5.0"));
    connection.setPropertyValue(QStringLiteral("Data Source"), file.absolutePath());
    table.setObjectName(QStringLiteral("TBView"));
    table.setConnection(&connection);
    table.setTableName(file.fileName());
}

inline double elapsedMs(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// One line of a benchmark's report: what, milliseconds, and what else there is to say.
inline void report(const char *what, double ms, const QString &extra = QString())
{
    printf("%-46s %10.1f ms %s\n", what, ms, qPrintable(extra));
}

// Processor time of this thread: on a busy machine it says more than the clock.
inline double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

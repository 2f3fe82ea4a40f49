#pragma once
// Shared by the reader fuzz targets. One input holds a table's files one after
// another, split at a marker line; they are written into a scratch folder and
// the table is read as the program reads it: the folder listed, each table
// opened, every value of its rows read in file order and in each index's
// order. Refusals (EngineError) are the expected answer to damaged files;
// anything else (a crash, a sanitizer report, a hang) is a finding.
#include "Driver.h"
#include "EngineError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <initializer_list>

namespace fuzz {

inline constexpr char PartMarker[] = "\n#BRISVEL-PART#\n";

// Rows read per table: enough to reach every page of a small file without
// letting one input take seconds.
inline constexpr qint64 MaxRows = 2000;

inline void readTable(engine::TableSource &t)
{
    const int fields = int(t.fieldDefs().size());
    const qint64 rows = std::min(t.rowCount(), MaxRows);
    for (qint64 p = 0; p < rows; ++p) {
        const engine::RowId row = t.rowAt(p);
        for (int f = 0; f < fields; ++f)
            t.text(row, f);
    }
    for (const engine::IndexDef &index : t.indexDefs()) {
        const QVector<engine::RowId> order = t.indexOrder(index.name);
        for (qsizetype i = 0; i < std::min<qsizetype>(order.size(), MaxRows); ++i)
            for (int f = 0; f < fields; ++f)
                t.text(order.at(i), f);
    }
    t.facts();
}

// names: the file each part is written to, in order; an empty or missing part
// writes no file. The driver's data source is the folder, or the first file
// when the kind keeps its tables inside one file.
inline void run(engine::Driver &driver, const uint8_t *data, size_t size, std::initializer_list<const char *> names)
{
    static QTemporaryDir dir;
    QDir folder(dir.path());
    for (const QString &old : folder.entryList(QDir::Files | QDir::Hidden))
        folder.remove(old);
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    qsizetype from = 0;
    for (const char *name : names) {
        qsizetype to = from < 0 ? -1 : input.indexOf(PartMarker, from);
        const QByteArray part = from < 0 ? QByteArray() : input.mid(from, to < 0 ? -1 : to - from);
        from = to < 0 ? -1 : to + qsizetype(sizeof PartMarker - 1);
        if (part.isEmpty())
            continue;
        QFile f(folder.filePath(QString::fromLatin1(name)));
        if (!f.open(QIODevice::WriteOnly))
            abort();
        f.write(part);
    }
    const QString source = driver.dataSourceIsDirectory() ? dir.path() : folder.filePath(QString::fromLatin1(*names.begin()));
    try {
        for (const QString &table : driver.tableNames(source)) {
            try {
                auto t = driver.open(source, table, engine::OpenOptions{true, false});
                readTable(*t);
            } catch (const engine::EngineError &) {
            }
        }
    } catch (const engine::EngineError &) {
    }
}

} // namespace fuzz

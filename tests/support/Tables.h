#pragma once
// Shared helpers for tests that open tables through the engine's drivers.
#include "Driver.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <memory>
#include <set>

namespace testsupport {

// A dBASE table file opened through the driver, as a connection opens it.
std::unique_ptr<engine::TableSource> openDbf(const QString &path, const engine::OpenOptions &options);
inline std::unique_ptr<engine::TableSource> openDbf(const QString &path, bool readOnly)
{
    return openDbf(path, engine::OpenOptions{readOnly, false});
}

// The number of a field by its name in any case; a missing field fails the test.
int fieldIndex(const engine::TableSource &t, const QString &name);

// The field names of a table, in order.
QStringList fieldNames(const engine::TableSource &t);
// The text of every field of the row at a position.
QStringList rowText(engine::TableSource &t, qint64 position);

// Every value of a row, in field order.
QVector<QVariant> rowValues(engine::TableSource &t, engine::RowId row);

// A dBASE table written byte by byte, for cells no program would write.
struct DbfFieldBytes {
    const char *name;
    char type;
    int width;
    int decimals;
};
// A record: its deletion flag and one stored text a field, padded to the
// field's width (numbers to the right, all else to the left) and cut to it.
struct DbfRowBytes {
    char flag;
    QVector<QByteArray> cells;
};
// The bytes of a dBASE III file (version 0x03, last changed 1.5.2024) with
// these fields and records; languageDriver is header byte 29.
QByteArray dbaseFileBytes(const QVector<DbfFieldBytes> &fields, const QVector<DbfRowBytes> &rows, quint8 languageDriver);
// Writes bytes to a new file at path; false when that fails.
bool writeBytes(const QString &path, const QByteArray &bytes);

// A table whose record r holds NAME "Satz" and NR r (C(10) and the N(11) the
// driver creates for an integer field), the records in deleted flagged
// deleted: created by the driver, its records written byte by byte. Returns
// the path; headerLength receives the header's length.
QString numberedDbf(const QString &dir, const QString &name, qint64 records, const std::set<qint64> &deleted,
                    int *headerLength = nullptr);

// A counter of this process from /proc/self/io or /proc/self/status
// ("rchar:", "VmRSS:"); -1 when there is none.
qint64 procValue(const char *file, const char *key);

} // namespace testsupport

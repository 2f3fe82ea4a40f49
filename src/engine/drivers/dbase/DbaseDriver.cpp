#include "DbaseDriver.h"

#include "DbfCreate.h"
#include "DbfExport.h"
#include "DbfIo.h"
#include "DbfTable.h"
#include "EngineError.h"

#include <QDir>
#include <algorithm>

namespace engine {

bool DbaseDriver::handles(const QString &extendedProperties) const
{
    // The kind may be followed by further properties ("dBASE IV;").
    const QString kind = extendedProperties.section(QLatin1Char(';'), 0, 0).trimmed();
    static const char *const kinds[] = {"dBASE III",  "dBASE IV",   "dBASE 5.0", "FoxPro 2.0",
                                        "FoxPro 2.5", "FoxPro 2.6", "FoxPro 3.0"};
    for (const char *k : kinds) {
        if (kind.compare(QLatin1String(k), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QStringList DbaseDriver::tableNames(const QString &dataSource)
{
    const QDir dir(dataSource);
    if (dataSource.isEmpty() || !dir.exists())
        throw EngineError(QStringLiteral("Den Ordner %1 gibt es nicht.").arg(dbase::nativePath(dataSource)));
    QStringList names;
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString &entry : entries) {
        if (entry.size() > 4 && entry.endsWith(QLatin1String(".dbf"), Qt::CaseInsensitive))
            names << entry.chopped(4);
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

std::unique_ptr<TableSource> DbaseDriver::open(const QString &dataSource, const QString &tableName,
                                               const OpenOptions &options)
{
    const QString path = resolveTableFile(dataSource, tableName, QStringLiteral(".dbf"));
    if (path.isEmpty())
        throw EngineError(QStringLiteral("Die Tabelle %1 gibt es im Ordner %2 nicht.")
                              .arg(tableName, dbase::nativePath(dataSource)));
    return dbase::DbfTable::open(path, options);
}

void DbaseDriver::create(const QString &dataSource, const QString &tableName, const QVector<FieldDef> &fields)
{
    dbase::createDbaseIVTable(dataSource, tableName, fields);
}

QVector<FieldDef> DbaseDriver::fieldsFor(const QVector<FieldDef> &source, const QVector<ColumnMeasure> &measures,
                                         QStringList &changes) const
{
    return dbase::dbaseFieldsFor(source, measures, changes);
}

std::unique_ptr<TableWriter> DbaseDriver::createWriter(const QString &dataSource, const QString &tableName,
                                                       const QVector<FieldDef> &fields)
{
    return dbase::createDbaseWriter(dataSource, tableName, fields);
}

} // namespace engine

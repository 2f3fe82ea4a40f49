#include "DbaseDriver.h"

#include "DbfCreate.h"
#include "DbfExport.h"
#include "common/FileIo.h"
#include "common/SharedAccess.h"
#include "DbfTable.h"
#include "EngineError.h"

#include <QDir>
#include <algorithm>

namespace engine {

bool DbaseDriver::handles(const QString &extendedProperties) const
{
    return isKind(extendedProperties, {"dBASE III", "dBASE IV", "dBASE 5.0", "FoxPro 2.0", "FoxPro 2.5", "FoxPro 2.6",
                                       "FoxPro 3.0"});
}

QStringList DbaseDriver::tableNames(const QString &dataSource)
{
    return tableFiles(dataSource, [](const QString &file) {
        return file.size() > 4 && file.endsWith(QLatin1String(".dbf"), Qt::CaseInsensitive) ? file.chopped(4) : QString();
    });
}

std::unique_ptr<TableSource> DbaseDriver::open(const QString &dataSource, const QString &tableName,
                                               const OpenOptions &options)
{
    const QString path = resolveTableFile(dataSource, tableName, QStringLiteral(".dbf"));
    if (path.isEmpty())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Die Tabelle %1 gibt es im Ordner %2 nicht.")
                              .arg(tableName, io::nativePath(dataSource)));
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

#include "ParadoxDriver.h"

#include "EngineError.h"
#include "PxCreate.h"
#include "PxTable.h"

#include <QDir>
#include <algorithm>

namespace engine {

bool ParadoxDriver::handles(const QString &extendedProperties) const
{
    return isKind(extendedProperties, {"Paradox 3.x", "Paradox 4.x", "Paradox 5.x"});
}

QStringList ParadoxDriver::tableNames(const QString &dataSource)
{
    return tableFiles(dataSource, [](const QString &file) {
        return file.size() > 3 && file.endsWith(QLatin1String(".db"), Qt::CaseInsensitive) ? file.chopped(3) : QString();
    });
}

std::unique_ptr<TableSource> ParadoxDriver::open(const QString &dataSource, const QString &tableName,
                                                 const OpenOptions &options)
{
    const QString path = resolveTableFile(dataSource, tableName, QStringLiteral(".db"));
    if (path.isEmpty())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Die Tabelle %1 gibt es im Ordner %2 nicht.")
                              .arg(tableName, QDir::toNativeSeparators(dataSource)));
    return paradox::PxTable::open(path, options);
}

void ParadoxDriver::create(const QString &dataSource, const QString &tableName, const QVector<FieldDef> &fields)
{
    const QString existing = resolveTableFile(dataSource, tableName, QStringLiteral(".db"));
    if (!existing.isEmpty() && QDir(dataSource).exists())
        throw EngineError(QStringLiteral("Die Tabelle %1 gibt es schon.").arg(QDir::toNativeSeparators(existing)));
    auto writer = paradox::createParadoxWriter(dataSource, tableName, fields);
    writer->commit();
}

QVector<FieldDef> ParadoxDriver::fieldsFor(const QVector<FieldDef> &source, const QVector<ColumnMeasure> &measures,
                                           QStringList &changes) const
{
    return paradox::paradoxFieldsFor(source, measures, changes);
}

std::unique_ptr<TableWriter> ParadoxDriver::createWriter(const QString &dataSource, const QString &tableName,
                                                         const QVector<FieldDef> &fields)
{
    return paradox::createParadoxWriter(dataSource, tableName, fields);
}

} // namespace engine

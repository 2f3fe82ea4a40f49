#include "ParadoxDriver.h"

#include "EngineError.h"
#include "PxCreate.h"
#include "PxTable.h"

#include <QDir>
#include <algorithm>

namespace engine {

bool ParadoxDriver::handles(const QString &extendedProperties) const
{
    const QString kind = extendedProperties.section(QLatin1Char(';'), 0, 0).trimmed();
    static const char *const kinds[] = {"Paradox 3.x", "Paradox 4.x", "Paradox 5.x"};
    for (const char *k : kinds) {
        if (kind.compare(QLatin1String(k), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QStringList ParadoxDriver::tableNames(const QString &dataSource)
{
    const QDir dir(dataSource);
    if (dataSource.isEmpty() || !dir.exists())
        throw EngineError(QStringLiteral("Den Ordner %1 gibt es nicht.").arg(QDir::toNativeSeparators(dataSource)));
    QStringList names;
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString &entry : entries) {
        if (entry.size() > 3 && entry.endsWith(QLatin1String(".db"), Qt::CaseInsensitive))
            names << entry.chopped(3);
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

std::unique_ptr<TableSource> ParadoxDriver::open(const QString &dataSource, const QString &tableName,
                                                 const OpenOptions &options)
{
    const QString path = resolveTableFile(dataSource, tableName, QStringLiteral(".db"));
    if (path.isEmpty())
        throw EngineError(QStringLiteral("Die Tabelle %1 gibt es im Ordner %2 nicht.")
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

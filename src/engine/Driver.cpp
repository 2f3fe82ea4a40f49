#include "Driver.h"

#include "EngineError.h"
#include "ValueText.h"
#include "drivers/access/AccessDriver.h"
#include "drivers/csv/CsvDriver.h"
#include "drivers/dbase/DbaseDriver.h"
#include "drivers/excel/ExcelDriver.h"
#include "drivers/html/HtmlDriver.h"
#include "drivers/paradox/ParadoxDriver.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace engine {

QString TableSource::text(RowId row, int field)
{
    return formatValue(value(row, field), fieldDefs().at(field).dataType);
}

QVector<RowId> TableSource::indexOrder(const QString &indexName)
{
    throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die Tabelle %1 kann nicht nach dem Index '%2' sortiert werden.").arg(tableName(), indexName));
}

std::unique_ptr<IndexKeyText> TableSource::indexKey(const QString &)
{
    return nullptr;
}

std::unique_ptr<IndexKeyText> IndexKeyText::forIndex(TableSource *source, const QString &indexName)
{
    return source ? source->indexKey(indexName) : nullptr;
}

RowId TableSource::append(const QVector<QVariant> &)
{
    throw EngineError(readOnlyReason());
}

void TableSource::update(RowId, const QVector<QVariant> &, const QVector<QVariant> &)
{
    throw EngineError(readOnlyReason());
}

void TableSource::remove(RowId)
{
    throw EngineError(readOnlyReason());
}

void Driver::create(const QString &, const QString &tableName, const QVector<FieldDef> &)
{
    throw EngineError(ErrorKind::Unsupported, QStringLiteral("Tabellen der Art %1 können nicht angelegt werden (%2).")
                          .arg(kindName(), tableName));
}

QVector<FieldDef> Driver::fieldsFor(const QVector<FieldDef> &source, const QVector<ColumnMeasure> &,
                                    QStringList &) const
{
    return source;
}

std::unique_ptr<TableWriter> Driver::createWriter(const QString &, const QString &tableName,
                                                  const QVector<FieldDef> &)
{
    throw EngineError(ErrorKind::Unsupported, QStringLiteral("In Tabellen der Art %1 kann nicht exportiert werden (%2).")
                          .arg(kindName(), tableName));
}

const QList<Driver *> &allDrivers()
{
    static DbaseDriver dbase;
    static ParadoxDriver paradox;
    static ExcelDriver excel;
    static HtmlDriver html;
    static CsvDriver text;
    static AccessDriver access; // the kind without "Extended Properties": asked last
    static const QList<Driver *> drivers = {&dbase, &paradox, &excel, &html, &text, &access};
    return drivers;
}

bool isKind(const QString &extendedProperties, std::initializer_list<const char *> kinds)
{
    const QString kind = extendedProperties.section(QLatin1Char(';'), 0, 0).trimmed();
    return std::any_of(kinds.begin(), kinds.end(),
                       [&](const char *k) { return kind.compare(QLatin1String(k), Qt::CaseInsensitive) == 0; });
}

QStringList tableFiles(const QString &directory, const std::function<QString(const QString &fileName)> &tableName)
{
    const QDir dir(directory);
    if (directory.isEmpty() || !QFileInfo(directory).isDir())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Den Ordner %1 gibt es nicht.").arg(QDir::toNativeSeparators(directory)));
    QStringList names;
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString &entry : entries) {
        const QString name = tableName(entry);
        if (!name.isEmpty())
            names << name;
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

void checkNewTable(const QString &dataSource, const QString &tableName, const QVector<FieldDef> &fields,
                   int maxFields, const QString &kind)
{
    if (dataSource.isEmpty() || !QFileInfo(dataSource).isDir())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Den Ordner %1 gibt es nicht.").arg(QDir::toNativeSeparators(dataSource)));
    if (tableName.trimmed().isEmpty() || tableName.contains(QLatin1Char('/')) || tableName.contains(QChar(0)))
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("%1 ist kein gültiger Tabellenname.").arg(tableName));
    if (fields.isEmpty())
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Die Tabelle %1 braucht mindestens ein Feld.").arg(tableName));
    if (fields.size() > maxFields)
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Eine %1-Tabelle fasst höchstens %2 Felder, %3 hat %4.")
                              .arg(kind)
                              .arg(maxFields)
                              .arg(tableName)
                              .arg(fields.size()));
}

Driver *driverFor(const QString &extendedProperties)
{
    for (Driver *driver : allDrivers()) {
        if (driver->handles(extendedProperties))
            return driver;
    }
    return nullptr;
}

QString resolveTableFile(const QString &directory, const QString &tableName, const QString &extension)
{
    if (tableName.isEmpty())
        return QString();
    const QDir dir(directory);
    QStringList candidates{tableName};
    if (!tableName.endsWith(extension, Qt::CaseInsensitive))
        candidates << tableName + extension;
    for (const QString &name : candidates) {
        const QFileInfo info(dir.filePath(name));
        if (info.isFile())
            return info.filePath();
    }
    // Linux names are case-sensitive; the upper-cased names of old programs still
    // find their file when exactly one spelling exists.
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : candidates) {
        for (const QString &entry : entries) {
            if (entry.compare(name, Qt::CaseInsensitive) == 0)
                return dir.filePath(entry);
        }
    }
    return QString();
}

} // namespace engine

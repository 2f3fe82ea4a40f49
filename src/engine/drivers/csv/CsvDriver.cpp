#include "CsvDriver.h"

#include "CsvSchema.h"
#include "CsvTable.h"
#include "CsvText.h"
#include "CsvWriter.h"
#include "EngineError.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace engine {

namespace {

const char *const Extensions[] = {"csv", "txt", "tab", "tsv"};

bool isTableExtension(const QString &suffix)
{
    return std::any_of(std::begin(Extensions), std::end(Extensions),
                       [&](const char *e) { return suffix.compare(QLatin1String(e), Qt::CaseInsensitive) == 0; });
}

} // namespace

bool CsvDriver::handles(const QString &extendedProperties) const
{
    return isKind(extendedProperties, {"Text"});
}

QString CsvDriver::fileNameOf(const QString &tableName)
{
    const int hash = tableName.lastIndexOf(QLatin1Char('#'));
    if (hash > 0 && isTableExtension(tableName.mid(hash + 1)))
        return tableName.left(hash) + QLatin1Char('.') + tableName.mid(hash + 1);
    return tableName;
}

QStringList CsvDriver::tableNames(const QString &dataSource)
{
    return tableFiles(dataSource, [](const QString &file) {
        const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
        return dot > 0 && isTableExtension(file.mid(dot + 1)) ? file.left(dot) + QLatin1Char('#') + file.mid(dot + 1)
                                                               : QString();
    });
}

std::unique_ptr<TableSource> CsvDriver::open(const QString &dataSource, const QString &tableName,
                                             const OpenOptions &options)
{
    QString path = resolveTableFile(dataSource, fileNameOf(tableName), QStringLiteral(".csv"));
    if (path.isEmpty() && fileNameOf(tableName) != tableName)
        path = resolveTableFile(dataSource, tableName, QStringLiteral(".csv"));
    if (path.isEmpty())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Die Tabelle %1 gibt es im Ordner %2 nicht.")
                              .arg(tableName, QDir::toNativeSeparators(dataSource)));
    return csv::CsvTable::open(path, options);
}

// The file a new table gets: the name as given, ".csv" added when it has no text-table extension.
static QString newTableFile(const QString &tableName)
{
    QString fileName = CsvDriver::fileNameOf(tableName);
    if (!isTableExtension(QFileInfo(fileName).suffix()))
        fileName += QStringLiteral(".csv");
    return fileName;
}

void CsvDriver::create(const QString &dataSource, const QString &tableName, const QVector<FieldDef> &fields)
{
    const QString path = QDir(dataSource).filePath(newTableFile(tableName));
    if (!dataSource.isEmpty() && QFileInfo::exists(path))
        throw EngineError(QStringLiteral("Die Datei %1 gibt es schon.").arg(QDir::toNativeSeparators(path)));
    createWriter(dataSource, tableName, fields)->commit();
}

QVector<FieldDef> CsvDriver::fieldsFor(const QVector<FieldDef> &source, const QVector<ColumnMeasure> &,
                                       QStringList &changes) const
{
    return csv::textFieldsFor(source, changes);
}

std::unique_ptr<TableWriter> CsvDriver::createWriter(const QString &dataSource, const QString &tableName,
                                                     const QVector<FieldDef> &fields)
{
    return csv::createTextWriter(dataSource, newTableFile(tableName), fields);
}

} // namespace engine

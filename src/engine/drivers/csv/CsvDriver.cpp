#include "CsvDriver.h"

#include "CsvSchema.h"
#include "CsvTable.h"
#include "CsvText.h"
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
    const QString kind = extendedProperties.section(QLatin1Char(';'), 0, 0).trimmed();
    return kind.compare(QLatin1String("Text"), Qt::CaseInsensitive) == 0;
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
    const QDir dir(dataSource);
    if (dataSource.isEmpty() || !dir.exists())
        throw EngineError(QStringLiteral("Den Ordner %1 gibt es nicht.").arg(QDir::toNativeSeparators(dataSource)));
    QStringList names;
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString &entry : entries) {
        const int dot = entry.lastIndexOf(QLatin1Char('.'));
        if (dot > 0 && isTableExtension(entry.mid(dot + 1)))
            names << entry.left(dot) + QLatin1Char('#') + entry.mid(dot + 1);
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

std::unique_ptr<TableSource> CsvDriver::open(const QString &dataSource, const QString &tableName,
                                             const OpenOptions &options)
{
    QString path = resolveTableFile(dataSource, fileNameOf(tableName), QStringLiteral(".csv"));
    if (path.isEmpty() && fileNameOf(tableName) != tableName)
        path = resolveTableFile(dataSource, tableName, QStringLiteral(".csv"));
    if (path.isEmpty())
        throw EngineError(QStringLiteral("Die Tabelle %1 gibt es im Ordner %2 nicht.")
                              .arg(tableName, QDir::toNativeSeparators(dataSource)));
    return csv::CsvTable::open(path, options);
}

void CsvDriver::create(const QString &dataSource, const QString &tableName, const QVector<FieldDef> &fields)
{
    const QDir dir(dataSource);
    if (dataSource.isEmpty() || !dir.exists())
        throw EngineError(QStringLiteral("Den Ordner %1 gibt es nicht.").arg(QDir::toNativeSeparators(dataSource)));
    QString fileName = fileNameOf(tableName);
    if (!isTableExtension(QFileInfo(fileName).suffix()))
        fileName += QStringLiteral(".csv");
    if (fileName.contains(QLatin1Char('/')) || fileName.startsWith(QLatin1Char('.')))
        throw EngineError(QStringLiteral("'%1' ist kein gültiger Tabellenname.").arg(tableName));
    const QString path = dir.filePath(fileName);
    if (QFileInfo::exists(path))
        throw EngineError(QStringLiteral("Die Datei %1 gibt es schon.").arg(QDir::toNativeSeparators(path)));
    if (fields.isEmpty())
        throw EngineError(QStringLiteral("Die Tabelle %1 braucht mindestens ein Feld.").arg(tableName));

    QStringList header;
    QList<QPair<QString, QString>> entries{{QStringLiteral("ColNameHeader"), QStringLiteral("True")},
                                           {QStringLiteral("Format"), QStringLiteral("CSVDelimited")},
                                           {QStringLiteral("CharacterSet"), QStringLiteral("65001")}};
    QStringList seen;
    for (int i = 0; i < fields.size(); ++i) {
        const FieldDef &f = fields.at(i);
        const QString type = csv::schemaTypeName(f.dataType);
        if (type.isEmpty())
            throw EngineError(QStringLiteral("Felder der Art %1 (%2) lassen sich in einer Textdatei nicht speichern.")
                                  .arg(fieldTypeName(f.dataType), f.name));
        if (f.name.trimmed().isEmpty() || f.name.contains(QLatin1Char('"')) || seen.contains(f.name, Qt::CaseInsensitive))
            throw EngineError(QStringLiteral("'%1' ist kein gültiger oder ein doppelter Feldname.").arg(f.name));
        seen << f.name;
        header << QLatin1Char('"') + f.name + QLatin1Char('"');
        const bool text = f.dataType == ftString || f.dataType == ftFixedChar || f.dataType == ftWideString;
        entries.append({QStringLiteral("Col%1").arg(i + 1), csv::columnEntry(f.name, type, text ? f.size : 0)});
    }
    // Without its schema.ini section the file would read back with guessed types:
    // the two are written together, and a failed schema.ini takes the new file away again.
    csv::SchemaIni ini = csv::SchemaIni::load(dataSource);
    ini.setSection(fileName, entries);
    const QByteArray content = (header.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
    csv::writeFileSafely(path, -1, [&](const csv::ByteSink &sink) { sink(content.constData(), content.size()); });
    try {
        ini.save();
    } catch (...) {
        QFile::remove(path);
        throw;
    }
}

} // namespace engine

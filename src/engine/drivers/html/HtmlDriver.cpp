#include "HtmlDriver.h"

#include "EngineError.h"
#include "HtmlPage.h"
#include "HtmlTable.h"
#include "HtmlWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace engine {

namespace {

bool isPageFile(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix();
    return suffix.compare(QLatin1String("htm"), Qt::CaseInsensitive) == 0
        || suffix.compare(QLatin1String("html"), Qt::CaseInsensitive) == 0;
}

void requireDirectory(const QString &dataSource)
{
    if (dataSource.isEmpty() || !QFileInfo(dataSource).isDir())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Den Ordner %1 gibt es nicht.").arg(QDir::toNativeSeparators(dataSource)));
}

bool isBinary(TFieldType t)
{
    switch (t) {
    case ftBytes: case ftVarBytes: case ftBlob: case ftGraphic: case ftParadoxOle: case ftDBaseOle:
    case ftTypedBinary: case ftOraBlob:
        return true;
    default:
        return false;
    }
}

// The page file a new table goes to: the name with .htm added where it has no page extension.
QString pagePath(const QString &dataSource, const QString &tableName)
{
    requireDirectory(dataSource);
    QString fileName = tableName.trimmed();
    if (fileName.isEmpty() || fileName.contains(QLatin1Char('/')) || fileName.contains(QLatin1Char('\\'))
        || fileName.startsWith(QLatin1Char('.')))
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("'%1' ist kein gültiger Name für eine HTML-Datei.").arg(tableName));
    if (!isPageFile(fileName))
        fileName += QStringLiteral(".htm");
    return QDir(dataSource).filePath(fileName);
}

} // namespace

bool HtmlDriver::handles(const QString &extendedProperties) const
{
    return isKind(extendedProperties, {"HTML Import", "HTML Export"});
}

QString HtmlDriver::fileNameOf(const QString &tableName, int *tableNumber)
{
    static const QRegularExpression numbered(QStringLiteral("^(.+)#(\\d{1,6})$"));
    const QRegularExpressionMatch m = numbered.match(tableName);
    if (m.hasMatch()) {
        *tableNumber = m.captured(2).toInt();
        return m.captured(1);
    }
    *tableNumber = 1;
    return tableName;
}

QStringList HtmlDriver::tableNames(const QString &dataSource)
{
    const QStringList files = tableFiles(dataSource, [](const QString &file) { return isPageFile(file) ? file : QString(); });
    QStringList names;
    for (const QString &file : files) {
        int count = 0;
        try {
            count = html::readPage(QDir(dataSource).filePath(file), 0).tableCount;
        } catch (const EngineError &) {
            // An unreadable page is listed: opening it says what is wrong.
            count = 1;
        }
        if (count > 0)
            names << file;
        for (int n = 2; n <= count; ++n)
            names << QStringLiteral("%1#%2").arg(file).arg(n);
    }
    return names;
}

std::unique_ptr<TableSource> HtmlDriver::open(const QString &dataSource, const QString &tableName, const OpenOptions &)
{
    requireDirectory(dataSource);
    int number = 1;
    const QString fileName = fileNameOf(tableName, &number);
    QString path = resolveTableFile(dataSource, fileName, QStringLiteral(".htm"));
    if (path.isEmpty())
        path = resolveTableFile(dataSource, fileName, QStringLiteral(".html"));
    // A file whose own name ends in "#<digits>".
    if (path.isEmpty() && fileName != tableName) {
        path = resolveTableFile(dataSource, tableName, QStringLiteral(".htm"));
        number = 1;
    }
    if (path.isEmpty())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Die Tabelle %1 gibt es im Ordner %2 nicht.")
                              .arg(tableName, QDir::toNativeSeparators(dataSource)));
    return html::HtmlTable::open(path, tableName, number);
}

void HtmlDriver::create(const QString &dataSource, const QString &tableName, const QVector<FieldDef> &fields)
{
    const QString path = pagePath(dataSource, tableName);
    if (QFileInfo::exists(path))
        throw EngineError(QStringLiteral("Die Datei %1 gibt es schon.").arg(QDir::toNativeSeparators(path)));
    createWriter(dataSource, tableName, fields)->commit();
}

QVector<FieldDef> HtmlDriver::fieldsFor(const QVector<FieldDef> &source, const QVector<ColumnMeasure> &,
                                        QStringList &changes) const
{
    for (const FieldDef &f : source) {
        if (isBinary(f.dataType))
            changes << QStringLiteral("Das Feld %1 enthält Binärdaten; die HTML-Seite zeigt davon nur die Größe.").arg(f.name);
    }
    return source;
}

std::unique_ptr<TableWriter> HtmlDriver::createWriter(const QString &dataSource, const QString &tableName,
                                                      const QVector<FieldDef> &fields)
{
    const QString path = pagePath(dataSource, tableName);
    if (fields.isEmpty())
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Die Tabelle %1 braucht mindestens ein Feld.").arg(tableName));
    return html::createPageWriter(path, QFileInfo(path).completeBaseName(), fields);
}

} // namespace engine

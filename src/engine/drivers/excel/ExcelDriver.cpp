#include "ExcelDriver.h"

#include "EngineError.h"
#include "XlsTable.h"
#include "XlsWorkbook.h"
#include "XlsWriter.h"

#include <QDir>
#include <QFileInfo>

namespace engine {

namespace {

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

std::shared_ptr<xls::Workbook> loadWorkbook(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Die Excel-Arbeitsmappe %1 gibt es nicht.").arg(shown(path)));
    if (!info.isFile())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("%1 ist keine Datei, sondern ein Ordner; eine Excel-Arbeitsmappe ist eine Datei.").arg(shown(path)));
    return xls::Workbook::load(path);
}

// Index of the first entry equal to name, exactly or else ignoring case.
template<typename List, typename NameOf>
int findName(const List &list, const QString &name, NameOf nameOf)
{
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < list.size(); ++i) {
            if (nameOf(list[i]).compare(name, pass == 0 ? Qt::CaseSensitive : Qt::CaseInsensitive) == 0)
                return i;
        }
    }
    return -1;
}

} // namespace

bool ExcelDriver::handles(const QString &extendedProperties) const
{
    return isKind(extendedProperties, {"Excel 8.0", "Excel 5.0", "Excel 4.0", "Excel 3.0"});
}

QStringList ExcelDriver::tableNames(const QString &dataSource)
{
    const auto book = loadWorkbook(dataSource);
    QStringList names;
    for (const xls::SheetInfo &sheet : book->sheets()) {
        if (sheet.type == 0)
            names << sheet.name + QLatin1Char('$');
    }
    for (const xls::DefinedName &name : book->names())
        names << name.name;
    return names;
}

std::unique_ptr<TableSource> ExcelDriver::open(const QString &dataSource, const QString &tableName,
                                               const OpenOptions &)
{
    const auto book = loadWorkbook(dataSource);
    QString name = tableName.trimmed();
    if (name.size() > 2 && name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    const auto sheetName = [](const xls::SheetInfo &s) { return s.type == 0 ? s.name : QString(); };

    if (!name.endsWith(QLatin1Char('$'))) {
        const int n = findName(book->names(), name, [](const xls::DefinedName &d) { return d.name; });
        if (n >= 0) {
            const xls::DefinedName &d = book->names().at(n);
            return std::make_unique<xls::XlsTable>(book, d.sheet, xls::Area{d.firstRow, d.lastRow, d.firstCol, d.lastCol},
                                                   d.name, true);
        }
    }
    // "Name$" is the worksheet; a bare sheet name works where no range has it.
    int sheet = -1;
    if (name.endsWith(QLatin1Char('$')))
        sheet = findName(book->sheets(), name.chopped(1), sheetName);
    if (sheet < 0 && !name.isEmpty())
        sheet = findName(book->sheets(), name, sheetName);
    if (sheet < 0)
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Die Tabelle %1 gibt es in der Excel-Arbeitsmappe %2 nicht.").arg(tableName, shown(dataSource)));
    return std::make_unique<xls::XlsTable>(book, sheet, xls::Area{}, book->sheets().at(sheet).name + QLatin1Char('$'), false);
}

void ExcelDriver::create(const QString &dataSource, const QString &tableName, const QVector<FieldDef> &fields)
{
    // A table is a new workbook of its own: sheets are not added to a workbook that exists.
    if (QFileInfo::exists(dataSource))
        throw EngineError(QStringLiteral("Die Excel-Arbeitsmappe %1 gibt es schon; eine Tabelle wird nur als neue Arbeitsmappe angelegt.")
                              .arg(shown(dataSource)));
    xls::WorkbookWriter writer(dataSource, tableName, fields);
    writer.commit();
}

QVector<FieldDef> ExcelDriver::fieldsFor(const QVector<FieldDef> &source, const QVector<ColumnMeasure> &measures,
                                         QStringList &changes) const
{
    if (source.size() > xls::WorkbookWriter::MaxColumns)
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Ein Excel-Arbeitsblatt fasst höchstens %1 Spalten; die Tabelle hat %2 Felder.")
                              .arg(xls::WorkbookWriter::MaxColumns).arg(source.size()));
    QVector<FieldDef> out;
    for (int i = 0; i < source.size(); ++i) {
        const FieldDef &src = source[i];
        const ColumnMeasure measure = i < measures.size() ? measures[i] : ColumnMeasure{};
        FieldDef f;
        f.name = src.name;
        f.fieldNo = i + 1;
        const auto textField = [&](bool memo) {
            const int length = std::max(memo ? 0 : src.size, measure.textLength);
            if (length > xls::WorkbookWriter::MaxTextLength)
                changes << QStringLiteral("Texte des Feldes %1 über %2 Zeichen werden gekürzt: mehr fasst eine Excel-Zelle nicht.")
                               .arg(src.name).arg(xls::WorkbookWriter::MaxTextLength);
            if (memo || length > xls::XlsTable::MaxStringSize) {
                f.dataType = ftMemo;
            } else {
                f.dataType = ftString;
                f.size = std::max(1, length);
            }
        };
        switch (src.dataType) {
        case ftString: case ftFixedChar: case ftWideString: case ftGuid:
            textField(false);
            break;
        case ftMemo: case ftFmtMemo: case ftOraClob:
            textField(true);
            break;
        case ftSmallint: case ftInteger: case ftWord: case ftLargeint: case ftAutoInc:
            f.dataType = ftFloat;
            f.size = 8;
            if (src.dataType == ftAutoInc)
                changes << QStringLiteral("Das Zählerfeld %1 wird als einfache Zahl gespeichert.").arg(src.name);
            if (measure.integerDigits > 16 || (measure.integerDigits == 16 && src.dataType == ftLargeint))
                changes << QStringLiteral("Zahlen des Feldes %1 mit mehr als 15 Stellen werden gerundet: Excel rechnet mit 15 Stellen.").arg(src.name);
            break;
        case ftFloat: case ftBCD: case ftFMTBcd: case ftCurrency:
            f.dataType = ftFloat;
            f.size = 8;
            if (src.dataType == ftCurrency)
                changes << QStringLiteral("Das Währungsfeld %1 wird als Zahl gespeichert.").arg(src.name);
            break;
        case ftDate: case ftTime: case ftDateTime: case ftBoolean:
            f.dataType = src.dataType;
            f.size = 8;
            break;
        case ftTimeStamp:
            f.dataType = ftDateTime;
            f.size = 8;
            break;
        case ftBytes: case ftVarBytes: case ftBlob: case ftGraphic: case ftParadoxOle: case ftDBaseOle:
        case ftTypedBinary: case ftOraBlob:
            f.dataType = src.dataType;
            f.size = src.size;
            changes << QStringLiteral("Das Feld %1 enthält Binärdaten, die eine Excel-Zelle nicht aufnehmen kann; seine Spalte bleibt leer.")
                           .arg(src.name);
            break;
        default:
            textField(true);
            break;
        }
        out.append(f);
    }
    return out;
}

std::unique_ptr<TableWriter> ExcelDriver::createWriter(const QString &dataSource, const QString &tableName,
                                                       const QVector<FieldDef> &fields)
{
    return std::make_unique<xls::WorkbookWriter>(dataSource, tableName, fields);
}

} // namespace engine

#include "TablePrint.h"

#include "PageWriter.h"
#include "Progress.h"
#include "TableDataset.h"

namespace print {

using namespace engine;

std::optional<TypeLayout> typeLayout(TFieldType type, int size)
{
    switch (type) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
        return TypeLayout{size, false};
    case ftSmallint:
        return TypeLayout{5, true};
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
        return TypeLayout{11, true};
    case ftBoolean:
        return TypeLayout{5, false};
    case ftDate:
    case ftTime:
        return TypeLayout{10, false};
    case ftDateTime:
    case ftTimeStamp:
        return TypeLayout{19, false};
    case ftBytes:
    case ftVarBytes:
        return TypeLayout{3, false};
    default:
        return std::nullopt;
    }
}

QVector<int> gridFields(const TableDataset &table, const QVector<int> &visibleFields)
{
    if (!visibleFields.isEmpty())
        return visibleFields;
    QVector<int> all;
    const int count = int(table.FieldDefs().size());
    all.reserve(count);
    for (int i = 0; i < count; ++i)
        all << i;
    return all;
}

int FeldGroesse(const TableDataset &table, const QVector<int> &fields, int column, int minimumWidth)
{
    const FieldDef &def = table.FieldDefs().at(fields.at(column));
    return std::max(minimumWidth, int(def.name.size()));
}

QVector<PrintColumn> printColumns(const TableDataset &table, const QVector<int> &fields)
{
    QVector<PrintColumn> columns;
    for (int c = 0; c < fields.size(); ++c) {
        const FieldDef &def = table.FieldDefs().at(fields.at(c));
        const std::optional<TypeLayout> layout = typeLayout(def.dataType, def.size);
        if (!layout)
            continue;
        columns.append(PrintColumn{fields.at(c), def.name, FeldGroesse(table, fields, c, layout->minimumWidth),
                                   layout->rightAligned});
    }
    return columns;
}

int lineWidth(const QVector<PrintColumn> &columns)
{
    int width = 0;
    for (const PrintColumn &c : columns)
        width += c.width + 1;
    return width;
}

QString headingLine(const QVector<PrintColumn> &columns)
{
    QString line;
    for (const PrintColumn &c : columns)
        line += c.name.leftJustified(c.width, QLatin1Char(' '), true) + QLatin1Char(' ');
    return line;
}

QString printCell(const PrintColumn &column, const QString &text)
{
    if (!column.rightAligned)
        return text.leftJustified(column.width, QLatin1Char(' '), true);
    // Blanks and control characters go at both ends, as Trim takes them.
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text.at(from).unicode() <= ' ')
        ++from;
    while (to > from && text.at(to - 1).unicode() <= ' ')
        --to;
    return text.mid(from, to - from).rightJustified(column.width, QLatin1Char(' '), false);
}

QString recordLine(TableDataset &table, const QVector<PrintColumn> &columns)
{
    QString line;
    for (const PrintColumn &c : columns)
        line += printCell(c, table.Fields(c.field)->AsString()) + QLatin1Char(' ');
    return line;
}

void printTable(PrintCanvas &canvas, TableDataset &table, const QVector<int> &fields, const QString &tableName,
                int fontSize)
{
    PageWriterState &w = pageWriter();
    w.PrintTitle = tableName;
    w.PrintHeader1.clear();
    w.PrintHeader2.clear();
    w.PrintTop = 200;
    w.PrintLeft = 100;
    PrintBegin(canvas, printFontName(), fontSize);
    const QVector<PrintColumn> columns = printColumns(table, fields);
    w.PrintHeader1 = headingLine(columns);
    // The rule is as wide as the line: one hyphen per character.
    w.PrintHeader2 = QString(lineWidth(columns), QLatin1Char('-'));
    PrintPageHeader(true);
    PrintSetFont(printFontName(), fontSize, FontStyle::Regular);
    table.First();
    engine::ProgressMeter meter(table.RecordCount());
    qint64 printed = 0;
    while (!table.Eof()) {
        meter.step(printed++);
        PrintLine(recordLine(table, columns));
        table.Next();
    }
    PrintEnd();
    meter.finish();
}

} // namespace print

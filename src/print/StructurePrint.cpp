#include "StructurePrint.h"

#include "PageWriter.h"

namespace print {

namespace {

QString left(const QString &text, int width)
{
    return text.leftJustified(width, QLatin1Char(' '), false);
}

QString right(const QString &text, int width)
{
    return text.rightJustified(width, QLatin1Char(' '), false);
}

} // namespace

QString fieldListLine(const QStringList &cells)
{
    return left(cells.value(0), 5) + QLatin1Char(' ') + left(cells.value(1), 20) + QLatin1Char(' ')
        + left(cells.value(2), 20) + QLatin1Char(' ') + right(cells.value(3), 8);
}

QString indexListLine(const QStringList &cells)
{
    return left(cells.value(0), 5) + QLatin1Char(' ') + left(cells.value(1), 20) + QLatin1Char(' ')
        + left(cells.value(2), 20) + QLatin1Char(' ') + left(cells.value(3), 40);
}

QString structureRule()
{
    return QString(85, QLatin1Char('-'));
}

QVector<StructureLine> structureLines(const StructurePrintout &p)
{
    QVector<StructureLine> lines;
    const auto add = [&lines](const QString &text) { lines.append(StructureLine{text, false}); };
    lines.append(StructureLine{QStringLiteral("Tabellenstruktur für ") + p.tableName, true});
    add(QString());
    add(QStringLiteral("Datenbank     : ") + p.databaseName);
    add(QStringLiteral("Tabelle       : ") + p.tableName);
    add(QStringLiteral("Satzanzahl    : ") + (p.recordCount ? QString::number(*p.recordCount) : QString()));
    add(QStringLiteral("Satzgröße     : ") + (p.recordSize ? QString::number(*p.recordSize) : QString()));
    // The program keeps neither a code page nor a language driver per table.
    add(QStringLiteral("Codepage      : "));
    add(QStringLiteral("Sprachtreiber : "));
    add(QString());
    add(fieldListLine({QStringLiteral("Nr."), QStringLiteral("Feldname"), QStringLiteral("Feldtyp"),
                       QStringLiteral("Größe")}));
    add(structureRule());
    for (const QStringList &row : p.fieldRows)
        add(fieldListLine(row));
    add(QString());
    if (!p.indexRows.isEmpty()) {
        add(QStringLiteral("Indizes:      : ") + p.firstIndexSource.toLower());
        add(QString());
        add(indexListLine({QStringLiteral("Nr."), QStringLiteral("Indexname"), QStringLiteral("Felder"),
                           QStringLiteral("Optionen")}));
        add(structureRule());
        for (const QStringList &row : p.indexRows)
            add(indexListLine(row));
    }
    return lines;
}

void printStructure(PrintCanvas &canvas, const StructurePrintout &printout, int fontSize)
{
    PageWriterState &w = pageWriter();
    w.PrintTitle = QStringLiteral("Tabellenstruktur: ") + printout.tableName + QString(20, QLatin1Char(' '));
    w.PrintHeader1.clear();
    w.PrintHeader2.clear();
    w.PrintTop = 200;
    w.PrintLeft = 100;
    PrintBegin(canvas, printFontName(), fontSize);
    bool bold = false;
    for (const StructureLine &line : structureLines(printout)) {
        if (line.bold != bold) {
            PrintSetFont(printFontName(), fontSize, line.bold ? FontStyle::Bold : FontStyle::Regular);
            bold = line.bold;
        }
        PrintLine(line.text);
    }
    PrintEnd();
}

} // namespace print

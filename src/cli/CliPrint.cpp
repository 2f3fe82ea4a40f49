#include "CliPrint.h"

#include "EngineError.h"
#include "KADOopen.h"
#include "PageWriter.h"
#include "PdfOutput.h"
#include "StructurePrint.h"
#include "StructureRows.h"
#include "TableDataset.h"
#include "TablePrint.h"

#include <QFileInfo>

namespace cli {

// What the program prints with the built-in PDF printer, into a PDF file: the
// table as the grid shows it with every field, or its structure printout.
QString printToPdfFile(data::TKADOopen &descriptor, engine::TableDataset &table, const PrintRequest &request)
{
    const QString target = QFileInfo(request.target).absoluteFilePath();
    if (QFileInfo(target).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0)
        throw engine::EngineError(QStringLiteral("Gedruckt wird in eine PDF-Datei; %1 endet nicht auf .pdf.")
                                      .arg(request.target));
    if (QFileInfo::exists(target) && !request.overwrite)
        throw engine::EngineError(QStringLiteral("Die Datei %1 gibt es schon; mit --overwrite wird sie ersetzt.")
                                      .arg(request.target));
    const int fontSize = print::effectivePrintFontSize(request.fontSize);
    const QPageLayout layout =
        print::pdfPageLayout(request.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    const QString tableName = descriptor.TableName();
    int pages = 0;
    if (request.structure) {
        print::StructurePrintout printout;
        printout.databaseName = descriptor.DatabaseName();
        printout.tableName = tableName;
        printout.recordCount = table.RecordCount();
        printout.recordSize = table.RecordSize();
        if (table.indexDefs().Count() > 0)
            printout.firstIndexSource = table.indexDefs().Items(0).source;
        for (const structure::Row &row : structure::fieldRows(table))
            printout.fieldRows.append(row);
        for (const structure::Row &row : structure::indexRows(table))
            printout.indexRows.append(row);
        print::printToPdf(target, layout, [&](print::PrintCanvas &canvas) {
            print::printStructure(canvas, printout, fontSize);
            pages = print::pageWriter().PageNumber;
        });
    } else {
        const QVector<int> fields = print::gridFields(table, {});
        print::printToPdf(target, layout, [&](print::PrintCanvas &canvas) {
            print::printTable(canvas, table, fields, tableName, fontSize);
            pages = print::pageWriter().PageNumber;
        });
    }
    return pages == 1 ? QStringLiteral("1 Seite gedruckt in %1.").arg(request.target)
                      : QStringLiteral("%1 Seiten gedruckt in %2.").arg(pages).arg(request.target);
}

} // namespace cli

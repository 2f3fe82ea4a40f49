#include "PrintJob.h"

#include "EngineError.h"
#include "ExportDestination.h"
#include "PageWriter.h"
#include "PainterCanvas.h"
#include "PdfOutput.h"
#include "Printers.h"
#include "SharedTools.h"
#include "WaitCursor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPrinter>
#include <QRegularExpression>

namespace print {

namespace {

PdfFileDialogHook &dialogHook()
{
    static PdfFileDialogHook hook;
    return hook;
}

QString askPdfFile(QWidget *parent, const QString &proposed)
{
    if (dialogHook())
        return dialogHook()(proposed);
    // The replacement question is the program's own, asked afterwards.
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Drucken in PDF-Datei"), proposed,
                                        QStringLiteral("PDF-Dateien (*.pdf)"), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

void printOnPrinter(const std::function<void(PrintCanvas &)> &body)
{
    std::unique_ptr<QPrinter> printer = createPrinter();
    if (!printer->isValid())
        throw engine::EngineError(QStringLiteral("Der Drucker %1 ist nicht verfügbar").arg(currentPrinterName()));
    QPrinter *device = printer.get();
    PainterCanvas canvas(device, [device](const QString &name) { device->setDocName(name); });
    try {
        body(canvas);
    } catch (...) {
        PrintAbort();
        device->abort();
        throw;
    }
}

} // namespace

QString proposedPdfFile(const QString &tableName)
{
    QString base = QFileInfo(tableName).completeBaseName();
    // Names such as "[Tabelle$]" or "Umsätze" from a workbook or database:
    // keep them readable but safe as a file name.
    base.replace(QRegularExpression(QStringLiteral("[/\\\\:*?\"<>|\\[\\]$]")), QString());
    base = base.trimmed();
    if (base.isEmpty())
        base = QStringLiteral("Tabelle");
    return QFileInfo(pdfOutputFileName()).absoluteDir().filePath(base + QStringLiteral(".pdf"));
}

void setPdfFileDialogHook(PdfFileDialogHook hook)
{
    dialogHook() = std::move(hook);
}

bool runPrintJob(QWidget *parent, const QString &tableName, const std::function<void(PrintCanvas &)> &body)
{
    if (currentPrinterName() != pdfPrinterName()) {
        widgets::WaitCursor wait;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        printOnPrinter(body);
        return true;
    }
    QString file = askPdfFile(parent, proposedPdfFile(tableName));
    if (file.isEmpty())
        return false;
    if (QFileInfo(file).suffix().isEmpty())
        file += QStringLiteral(".pdf");
    file = QFileInfo(file).absoluteFilePath();
    if (QFileInfo::exists(file) && !app::AskYesNo(data::overwriteQuestion(file)))
        return false;
    setPdfOutputFileName(file);
    widgets::WaitCursor wait;
    // The closed dialogs leave the window repainted before the work starts.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    printToPdf(file, pageLayout(), body);
    return true;
}

} // namespace print

#pragma once
// The printing services: the installed printers plus one built-in printer that
// writes a PDF file, the current printer and each printer's page layout
// (orientation above all). Everything that prints asks here for its QPrinter.
#include <QPageLayout>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QPrinter;
class QWidget;

namespace print {

// Name of the built-in printer that writes a PDF file.
QString pdfPrinterName();

// The printer choices: the installed printers, then the PDF printer.
QStringList printerNames();

// The current printer, as index into printerNames() and as name. Until one is
// chosen it is the system's default printer, or the PDF printer without one.
int printerIndex();
QString currentPrinterName();
// Makes a printer current; an index outside the list raises engine::EngineError.
void setPrinterIndex(int index);
void setCurrentPrinterName(const QString &name);

// The orientation of the current printer (each printer keeps its own).
QPageLayout::Orientation orientation();
void setOrientation(QPageLayout::Orientation orientation);
QPageLayout pageLayout();
void setPageLayout(const QPageLayout &layout);

// Where the PDF printer writes.
QString pdfOutputFileName();
void setPdfOutputFileName(const QString &fileName);

// A printer set up for the current printer: its page layout, high resolution;
// the PDF printer writes PDF at 600 dpi to pdfOutputFileName().
std::unique_ptr<QPrinter> createPrinter();

// The printer setup dialog on the current printer (QPageSetupDialog); an
// accepted change of page layout is kept. Returns true when accepted.
bool runPrinterSetup(QWidget *parent);
// Stands in for that dialog (tests): gets the configured printer, may change
// it, returns whether the user "accepted". An empty hook shows the dialog.
using PrinterSetupHook = std::function<bool(QPrinter &printer)>;
void setPrinterSetupHook(PrinterSetupHook hook);

// Forgets the chosen printer and layouts, as at program start.
void resetPrinterState();

} // namespace print

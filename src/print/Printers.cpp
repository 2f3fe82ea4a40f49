#include "Printers.h"

#include "EngineError.h"
#include "PdfOutput.h"

#include <QDir>
#include <QHash>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>

namespace print {

namespace {

struct State {
    QString current; // empty: not chosen yet
    QHash<QString, QPageLayout> layouts;
    QString pdfFile;
    PrinterSetupHook setupHook;
};

State &state()
{
    static State s;
    return s;
}

QString defaultPrinterName()
{
    const QString systemDefault = QPrinterInfo::defaultPrinterName();
    if (!systemDefault.isEmpty() && QPrinterInfo::availablePrinterNames().contains(systemDefault))
        return systemDefault;
    return pdfPrinterName();
}

QString defaultPdfFile()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    return QDir(folder).filePath(QStringLiteral("brisvel.pdf"));
}

// A printer for a name, without the kept page layout.
std::unique_ptr<QPrinter> barePrinter(const QString &name)
{
    std::unique_ptr<QPrinter> printer;
    if (name == pdfPrinterName()) {
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setResolution(PdfResolution);
        printer->setOutputFileName(pdfOutputFileName());
        // The same page as brisvel-cli's PDF: A4 portrait, 10-point margins.
        printer->setPageLayout(pdfPageLayout(QPageLayout::Portrait));
    } else {
        printer = std::make_unique<QPrinter>(QPrinterInfo::printerInfo(name), QPrinter::HighResolution);
    }
    printer->setDocName(QStringLiteral("brisvel ostrel"));
    return printer;
}

QPageLayout layoutOf(const QString &name)
{
    State &s = state();
    auto found = s.layouts.constFind(name);
    if (found != s.layouts.constEnd())
        return *found;
    const QPageLayout layout = barePrinter(name)->pageLayout();
    s.layouts.insert(name, layout);
    return layout;
}

} // namespace

QString pdfPrinterName()
{
    return QStringLiteral("PDF-Datei (brisvel)");
}

QStringList printerNames()
{
    QStringList names = QPrinterInfo::availablePrinterNames();
    names.removeAll(pdfPrinterName());
    names.append(pdfPrinterName());
    return names;
}

QString currentPrinterName()
{
    State &s = state();
    // A printer removed since it was chosen gives way to the default one.
    if (s.current.isEmpty() || !printerNames().contains(s.current))
        s.current = defaultPrinterName();
    return s.current;
}

int printerIndex()
{
    return int(printerNames().indexOf(currentPrinterName()));
}

void setPrinterIndex(int index)
{
    const QStringList names = printerNames();
    if (index < 0 || index >= names.size())
        throw engine::EngineError(QStringLiteral("Druckerindex außerhalb des gültigen Bereichs"));
    state().current = names.at(index);
}

void setCurrentPrinterName(const QString &name)
{
    const int index = int(printerNames().indexOf(name));
    setPrinterIndex(index);
}

QPageLayout pageLayout()
{
    return layoutOf(currentPrinterName());
}

void setPageLayout(const QPageLayout &layout)
{
    state().layouts.insert(currentPrinterName(), layout);
}

QPageLayout::Orientation orientation()
{
    return pageLayout().orientation();
}

void setOrientation(QPageLayout::Orientation orientation)
{
    QPageLayout layout = pageLayout();
    layout.setOrientation(orientation);
    setPageLayout(layout);
}

QString pdfOutputFileName()
{
    State &s = state();
    if (s.pdfFile.isEmpty())
        s.pdfFile = defaultPdfFile();
    return s.pdfFile;
}

void setPdfOutputFileName(const QString &fileName)
{
    state().pdfFile = fileName;
}

std::unique_ptr<QPrinter> createPrinter()
{
    const QString name = currentPrinterName();
    std::unique_ptr<QPrinter> printer = barePrinter(name);
    printer->setPageLayout(layoutOf(name));
    return printer;
}

bool runPrinterSetup(QWidget *parent)
{
    std::unique_ptr<QPrinter> printer = createPrinter();
    bool accepted = false;
    if (const PrinterSetupHook &hook = state().setupHook) {
        accepted = hook(*printer);
    } else {
        QPageSetupDialog dialog(printer.get(), parent);
        dialog.setWindowTitle(QStringLiteral("Drucker einrichten"));
        accepted = dialog.exec() == QDialog::Accepted;
    }
    if (accepted)
        setPageLayout(printer->pageLayout());
    return accepted;
}

void setPrinterSetupHook(PrinterSetupHook hook)
{
    state().setupHook = std::move(hook);
}

void resetPrinterState()
{
    State &s = state();
    s.current.clear();
    s.layouts.clear();
    s.pdfFile.clear();
}

} // namespace print

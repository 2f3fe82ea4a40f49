#pragma once
// A printout on the current printer. For the built-in PDF printer the user
// names the file first (save dialog, the program's own question before an
// existing file is replaced); the document is written beside it and put in
// place only when complete.
#include "PrintCanvas.h"

#include <QString>
#include <functional>

class QWidget;

namespace print {

// The file a PDF goes to, proposed from the table's name in the folder of the
// last PDF: "KUNDEN.DBF" gives ".../KUNDEN.pdf".
QString proposedPdfFile(const QString &tableName);

// Stands in for the save dialog (tests): gets the proposed file, returns the
// chosen one or an empty text for Cancel. An empty hook shows the dialog.
using PdfFileDialogHook = std::function<QString(const QString &proposed)>;
void setPdfFileDialogHook(PdfFileDialogHook hook);

// Runs body on a canvas of the current printer with the hourglass shown.
// False when the user cancelled the file choice or the replacement (nothing
// printed). Printer and file errors raise engine::EngineError with a German
// message; the cursor is restored and an unfinished document is dropped.
bool runPrintJob(QWidget *parent, const QString &tableName, const std::function<void(PrintCanvas &)> &body);

} // namespace print

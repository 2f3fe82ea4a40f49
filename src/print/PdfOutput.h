#pragma once
// Printing into a PDF file, as the built-in PDF printer does: A4, 600 dpi,
// the margins of Qt's PDF printer. The file is written beside the target and
// replaces it only when the whole document is done, so a failed print never
// leaves half a PDF in place of an old one.
#include "PrintCanvas.h"

#include <QPageLayout>
#include <functional>

namespace print {

inline constexpr int PdfResolution = 600;

// The page layout of the built-in PDF printer in an orientation.
QPageLayout pdfPageLayout(QPageLayout::Orientation orientation = QPageLayout::Portrait);

// Runs body on a canvas over a new PDF document and puts the file in place.
// Raises engine::EngineError with a German message when the file cannot be
// written; the old file is then left as it was.
void printToPdf(const QString &fileName, const QPageLayout &layout,
                const std::function<void(PrintCanvas &canvas)> &body);

} // namespace print

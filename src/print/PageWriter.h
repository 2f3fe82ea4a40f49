#pragma once
// The page writer: a line printer with one document at a time. Callers set the
// title, header lines and margins, start a document, hand it whole lines and
// end it; the writer moves down by a fixed pitch, breaks pages and repeats the
// page header. Positions are device pixels of the canvas, never scaled.
#include "PrintCanvas.h"

#include <QString>
#include <QtGlobal>

namespace print {

// The writer's process-wide state; callers assign the first five directly.
// It survives from one document to the next: PrintBegin resets only PrintY,
// PrintPageHeight and PrintLineHeight.
struct PageWriterState {
    QString PrintTitle;
    QString PrintHeader1;
    QString PrintHeader2;
    qint32 PrintLeft = 0;
    qint32 PrintTop = 0;
    qint32 PrintY = 0;
    qint32 PrintPageHeight = 0;
    qint32 PrintLineHeight = 0;
    bool PrintHeaderBold = false;
    int PageNumber = 0; // 1 after PrintBegin, one more at each new page
    PrintCanvas *Canvas = nullptr; // the document in progress
};

PageWriterState &pageWriter();
// Everything back to program start (tests).
void resetPageWriter();

enum class FontStyle { Regular, Bold };

// Starts a document on the canvas, job name PrintTitle. Prints nothing.
void PrintBegin(PrintCanvas &canvas, const QString &fontName, int fontSize);
// Name, size and style of the canvas font; the line pitch stays as it is.
void PrintSetFont(const QString &fontName, int fontSize, FontStyle style);
// The page header at the current position: title with page number, the
// non-empty header lines, one blank line. Never breaks the page.
void PrintPageHeader(bool bold);
// One line; a page break follows at once when the next line would lie past
// the bottom margin.
void PrintLine(const QString &text);
void PrintEnd();
// Forgets a document that an error ended, without ending it on the canvas,
// so the next document can start.
void PrintAbort();

// The print font size as the printouts use it: a size outside 4 to 14 (0 on a
// fresh profile, where "DRSize" was never stored) prints at 10, the start
// value of the settings dialog's spin box.
int effectivePrintFontSize(int fontSize);

// The font both printouts use.
inline QString printFontName() { return QStringLiteral("Courier New"); }

} // namespace print

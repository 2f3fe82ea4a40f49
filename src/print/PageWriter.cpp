#include "PageWriter.h"

#include "EngineError.h"

namespace print {

namespace {

PrintCanvas &canvas()
{
    PrintCanvas *c = pageWriter().Canvas;
    if (!c)
        throw engine::EngineError(QStringLiteral("Es wird gerade kein Dokument gedruckt"));
    return *c;
}

void drawAndAdvance(const QString &text)
{
    PageWriterState &s = pageWriter();
    canvas().drawText(s.PrintLeft, s.PrintY, text);
    s.PrintY += s.PrintLineHeight;
}

} // namespace

PageWriterState &pageWriter()
{
    static PageWriterState state;
    return state;
}

void resetPageWriter()
{
    pageWriter() = PageWriterState();
}

void PrintBegin(PrintCanvas &target, const QString &fontName, int fontSize)
{
    PageWriterState &s = pageWriter();
    if (s.Canvas)
        throw engine::EngineError(QStringLiteral("Es wird bereits ein Dokument gedruckt"));
    s.PrintPageHeight = target.pageHeight();
    target.begin(s.PrintTitle);
    s.Canvas = &target;
    s.PageNumber = 1;
    s.PrintY = s.PrintTop;
    CanvasFont font = target.font();
    font.name = fontName;
    font.pointSize = fontSize;
    target.setFont(font);
    s.PrintLineHeight = fontSize * 10;
}

void PrintSetFont(const QString &fontName, int fontSize, FontStyle style)
{
    canvas().setFont(CanvasFont{fontName, fontSize, style == FontStyle::Bold});
}

void PrintPageHeader(bool bold)
{
    PageWriterState &s = pageWriter();
    s.PrintHeaderBold = bold;
    const CanvasFont before = canvas().font();
    if (bold)
        PrintSetFont(before.name, before.pointSize, FontStyle::Bold);
    drawAndAdvance(s.PrintTitle + QStringLiteral(" Seite: ") + QString::number(s.PageNumber));
    if (!s.PrintHeader1.isEmpty())
        drawAndAdvance(s.PrintHeader1);
    if (!s.PrintHeader2.isEmpty())
        drawAndAdvance(s.PrintHeader2);
    s.PrintY += s.PrintLineHeight;
    if (bold) {
        const CanvasFont now = canvas().font();
        PrintSetFont(now.name, now.pointSize, before.bold ? FontStyle::Bold : FontStyle::Regular);
    }
}

void PrintLine(const QString &text)
{
    PageWriterState &s = pageWriter();
    drawAndAdvance(text);
    if (s.PrintY > s.PrintPageHeight - s.PrintTop) {
        canvas().newPage();
        ++s.PageNumber;
        s.PrintY = s.PrintTop;
        PrintPageHeader(s.PrintHeaderBold);
    }
}

void PrintEnd()
{
    PrintCanvas &c = canvas();
    // The document is over whatever the canvas answers; a failed end must not
    // leave the writer believing it is still printing.
    pageWriter().Canvas = nullptr;
    c.end();
}

void PrintAbort()
{
    pageWriter().Canvas = nullptr;
}

int effectivePrintFontSize(int fontSize)
{
    return fontSize >= 4 && fontSize <= 14 ? fontSize : 10;
}

} // namespace print

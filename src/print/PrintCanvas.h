#pragma once
// What the page writer draws on: a document of pages with a current font and
// text drawn at device positions. The program hands it a painter on a printer
// or a PDF file; tests hand it a canvas that records every call.
#include <QString>

namespace print {

// The canvas font: name, size in points and whether it is bold (the only
// style the printouts use).
struct CanvasFont {
    QString name;
    int pointSize = 0;
    bool bold = false;
    bool operator==(const CanvasFont &) const = default;
};

class PrintCanvas {
public:
    virtual ~PrintCanvas() = default;
    // Height of the printable area in device pixels.
    virtual int pageHeight() const = 0;
    // Starts the document under a job name; the first page is open afterwards.
    virtual void begin(const QString &jobName) = 0;
    virtual void newPage() = 0;
    virtual void setFont(const CanvasFont &font) = 0;
    virtual CanvasFont font() const = 0;
    // y is the top of the text line, not its baseline.
    virtual void drawText(int x, int y, const QString &text) = 0;
    virtual void end() = 0;
};

} // namespace print

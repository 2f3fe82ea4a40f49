#pragma once
// The page writer's canvas on a real paged device (a printer or a PDF file):
// a QPainter, fonts by name and point size, text placed by its top.
#include "PrintCanvas.h"

#include <QPainter>
#include <functional>

class QPagedPaintDevice;

namespace print {

class PainterCanvas : public PrintCanvas {
public:
    // nameJob gives the document its job name (printer) or title (PDF).
    PainterCanvas(QPagedPaintDevice *device, std::function<void(const QString &)> nameJob);
    ~PainterCanvas() override;

    int pageHeight() const override;
    void begin(const QString &jobName) override;
    void newPage() override;
    void setFont(const CanvasFont &font) override;
    CanvasFont font() const override { return m_font; }
    void drawText(int x, int y, const QString &text) override;
    void end() override;

private:
    QPagedPaintDevice *m_device;
    std::function<void(const QString &)> m_nameJob;
    QPainter m_painter;
    CanvasFont m_font;
    int m_ascent = 0;
};

} // namespace print

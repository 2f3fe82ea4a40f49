#pragma once
// The page writer's canvas on a real paged device (a printer or a PDF file):
// a QPainter, fonts by name and point size, text placed by its top.
#include "PrintCanvas.h"

#include <QPainter>
#include <QRawFont>
#include <QVector>
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
    int m_advance = 0; // of every character in a fixed-pitch font; 0 otherwise
    // The font's glyphs at the device's size: a fixed-pitch line is placed
    // glyph by glyph without laying the text out again for every record.
    QRawFont m_raw;
    QVector<QPointF> m_positions;
    bool drawFixedPitch(int x, int baseline, const QString &text);
};

} // namespace print

#include "PainterCanvas.h"

#include "EngineError.h"

#include <QFontMetrics>
#include <QPagedPaintDevice>

namespace print {

namespace {

engine::EngineError printerError(const QString &what)
{
    return engine::EngineError(what);
}

} // namespace

PainterCanvas::PainterCanvas(QPagedPaintDevice *device, std::function<void(const QString &)> nameJob)
    : m_device(device), m_nameJob(std::move(nameJob))
{
}

PainterCanvas::~PainterCanvas()
{
    if (m_painter.isActive())
        m_painter.end();
}

int PainterCanvas::pageHeight() const
{
    return m_device->height();
}

void PainterCanvas::begin(const QString &jobName)
{
    if (m_nameJob)
        m_nameJob(jobName);
    if (!m_painter.begin(m_device))
        throw printerError(QStringLiteral("Der Druckauftrag konnte nicht gestartet werden"));
    m_painter.setPen(Qt::black);
    if (!m_font.name.isEmpty())
        setFont(m_font);
}

void PainterCanvas::newPage()
{
    if (!m_device->newPage())
        throw printerError(QStringLiteral("Der Drucker konnte keine neue Seite beginnen"));
}

void PainterCanvas::setFont(const CanvasFont &font)
{
    m_font = font;
    if (!m_painter.isActive())
        return;
    QFont f(font.name);
    // A fixed-pitch face also where the named one is missing.
    f.setStyleHint(QFont::TypeWriter);
    if (font.pointSize > 0)
        f.setPointSize(font.pointSize);
    f.setBold(font.bold);
    m_painter.setFont(f);
    m_ascent = QFontMetrics(f, m_device).ascent();
}

void PainterCanvas::drawText(int x, int y, const QString &text)
{
    // The writer's y is the top of the line; QPainter draws on the baseline.
    if (!text.isEmpty())
        m_painter.drawText(x, y + m_ascent, text);
}

void PainterCanvas::end()
{
    if (!m_painter.end())
        throw printerError(QStringLiteral("Der Druckauftrag konnte nicht abgeschlossen werden"));
}

} // namespace print

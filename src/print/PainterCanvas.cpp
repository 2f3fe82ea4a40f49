#include "PainterCanvas.h"

#include "EngineError.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QPagedPaintDevice>

namespace print {

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
        throw engine::EngineError(QStringLiteral("Der Druckauftrag konnte nicht gestartet werden"));
    m_painter.setPen(Qt::black);
    if (!m_font.name.isEmpty())
        setFont(m_font);
}

void PainterCanvas::newPage()
{
    if (!m_device->newPage())
        throw engine::EngineError(QStringLiteral("Der Drucker konnte keine neue Seite beginnen"));
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
    const QFontMetrics metrics(f, m_device);
    m_ascent = metrics.ascent();
    // A line wider than the page runs off its edge; with a fixed pitch the
    // characters out there are known and need not be laid out at all.
    m_advance = QFontInfo(f).fixedPitch() ? metrics.horizontalAdvance(QLatin1Char('M')) : 0;
    m_raw = m_advance > 0 ? QRawFont::fromFont(QFont(f, m_device)) : QRawFont();
    m_positions.clear();
}

void PainterCanvas::drawText(int x, int y, const QString &text)
{
    // The writer's y is the top of the line; QPainter draws on the baseline.
    if (text.isEmpty())
        return;
    const qsizetype visible = m_advance > 0 ? (m_device->width() - x) / m_advance + 2 : text.size();
    const QString shown = text.size() > visible ? text.left(std::max<qsizetype>(visible, 0)) : text;
    if (!drawFixedPitch(x, y + m_ascent, shown))
        m_painter.drawText(x, y + m_ascent, shown);
}

bool PainterCanvas::drawFixedPitch(int x, int baseline, const QString &text)
{
    if (!m_raw.isValid())
        return false;
    // Only what is one glyph per character, each one advance wide: no
    // surrogates, marks or characters the font lacks (those take the full layout).
    for (const QChar c : text) {
        if (c.isSurrogate() || c.isMark() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return false;
    }
    const QList<quint32> glyphs = m_raw.glyphIndexesForString(text);
    if (glyphs.size() != text.size() || glyphs.contains(0u))
        return false;
    while (m_positions.size() < glyphs.size())
        m_positions.append(QPointF(double(m_positions.size()) * m_advance, 0));
    QGlyphRun run;
    run.setRawFont(m_raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(m_positions.mid(0, glyphs.size()));
    m_painter.drawGlyphRun(QPointF(x, baseline), run);
    return true;
}

void PainterCanvas::end()
{
    if (!m_painter.end())
        throw engine::EngineError(QStringLiteral("Der Druckauftrag konnte nicht abgeschlossen werden"));
}

} // namespace print

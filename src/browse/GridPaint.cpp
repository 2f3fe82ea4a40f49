#include "GridPaint.h"

#include <QFontMetrics>

namespace browse {

// The system colours the rules name, as the platform's palette gives them.
static QColor activeCaption(const QPalette &p) { return p.color(QPalette::Active, QPalette::Highlight); }
static QColor window(const QPalette &p) { return p.color(QPalette::Active, QPalette::Base); }
static QColor windowText(const QPalette &p) { return p.color(QPalette::Active, QPalette::Text); }
static QColor infoBackground(const QPalette &p) { return p.color(QPalette::Active, QPalette::ToolTipBase); }

QColor rasterColor()
{
    return QColor(240, 251, 255);
}

CellColours cellColours(const QPalette &palette, bool focused, bool showColorGrid, int top)
{
    if (focused)
        return {activeCaption(palette), window(palette), activeCaption(palette)};
    QColor background = window(palette);
    if (showColorGrid) {
        const int band = ((top % 36) + 36) % 36;
        background = band < 18 ? rasterColor() : infoBackground(palette);
    }
    return {windowText(palette), windowText(palette), background};
}

QColor editorBackground(const QPalette &palette, bool showColorGrid, int gridRow)
{
    if (!showColorGrid)
        return window(palette);
    return gridRow % 2 == 1 ? infoBackground(palette) : rasterColor();
}

QString cellText(const QFontMetrics &metrics, const QString &text, int width)
{
    int room = width - metrics.averageCharWidth();
    if (qint64(text.size()) * metrics.maxWidth() <= room)
        return text;
    for (const QChar c : text) {
        // Combining marks, surrogates and scripts beyond Latin and Greek are
        // shaped together, not as the sum of their characters.
        if (c.unicode() >= 0x0300 && !(c.unicode() >= 0x0370 && c.unicode() < 0x0400))
            return metrics.elidedText(text, Qt::ElideRight, width);
        // Whole pixels: the shaped advance may be up to a pixel wider.
        room -= metrics.horizontalAdvance(c) + 1;
        if (room < 0)
            return metrics.elidedText(text, Qt::ElideRight, width);
    }
    return text;
}

} // namespace browse

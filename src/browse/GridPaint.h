#pragma once
// The grid's own painting rules: the focused cell in the active caption colours
// and, with the coloured raster on, bands of 18 pixels in two colours.
#include <QColor>
#include <QPalette>
#include <QString>

class QFontMetrics;

namespace browse {

// The fixed raster colour (red 240, green 251, blue 255).
QColor rasterColor();

struct CellColours {
    QColor pen;
    QColor text;
    QColor background;
};

// top: the cell's top coordinate in the grid, in pixels (the title row starts at 0).
CellColours cellColours(const QPalette &palette, bool focused, bool showColorGrid, int top);

// Background of the in-place editor on the grid's row number (title row 0, first data row 1).
QColor editorBackground(const QPalette &palette, bool showColorGrid, int gridRow);

// The text a cell shows in width pixels: the whole text, or cut with "…".
// Cutting measures the text once more than drawing it does, which is most of
// a screen's painting; so a text whose characters one by one (their widths
// are cached by the font, in whole pixels: a pixel more each), plus one
// character's width for kerning, fit surely is shown without being measured whole.
QString cellText(const QFontMetrics &metrics, const QString &text, int width);

} // namespace browse

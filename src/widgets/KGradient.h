#pragma once
// The styled panel's drawing, worked out as plain data: the colour ramp of one
// gradient half, and the list of filled rectangles a panel of a given size and
// look consists of. The widget only hands the list to a painter, so tests can
// check the bands without a window.
#include <QColor>
#include <QRect>
#include <QSize>
#include <vector>

class QPainter;

namespace widgets {

// Nearest integer, a half going to the even neighbour (2.5 -> 2, 3.5 -> 4).
int roundHalfEven(double value);

// One step of a ramp: its colour and the pixels it covers, counted from the
// start of the ramp. Neighbouring bands overlap by about one pixel.
struct RampBand {
    QColor colour;
    int start = 0;
    int length = 0;
    int end() const { return start + length; } // first pixel after the band
};

// The ramp from colour a towards colour b over half of length pixels: one band
// per unit of the largest channel difference (at least one band); b itself is
// never reached.
std::vector<RampBand> colorRamp(QColor a, QColor b, int length);

// Everything the panel's painting depends on.
struct StylePanelLook {
    bool lineTop = false;
    bool lineBottom = false;
    bool lineLeft = false;
    bool lineRight = false;
    QColor lineColor = Qt::black;
    QColor gradientColor1 = QColor(0x66, 0x66, 0x66);
    QColor gradientColor2 = QColor(0xBB, 0xBB, 0xBB);
    QColor gradientColor3 = QColor(0xBB, 0xBB, 0xBB);
    QColor gradientColor4 = QColor(0x66, 0x66, 0x66);
    QColor gradientColor3DLight = QColor(0xEE, 0xEE, 0xEE);
    QColor gradientColor3DDark = QColor(0x99, 0x99, 0x99);
    bool gradientVertical = false;
    bool gradient = true;
    QColor color = QColor(0xF0, 0xF0, 0xF0); // fill when the gradient is off
};

// One filled rectangle, painted in list order (later ones cover earlier ones).
struct PaintStep {
    QRect rect;
    QColor colour;
    bool operator==(const PaintStep &other) const = default;
};

// The rectangles of a panel of the given client size, in painting order:
// background or 3D line and gradient body, then the border lines.
std::vector<PaintStep> stylePanelPaintPlan(const StylePanelLook &look, QSize size);

// Paints the plan onto the painter (no antialiasing, no off-screen buffer).
void paintStylePanel(QPainter &painter, const StylePanelLook &look, QSize size);

} // namespace widgets

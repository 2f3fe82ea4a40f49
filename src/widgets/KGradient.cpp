#include "KGradient.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace widgets {

int roundHalfEven(double value)
{
    const double lower = std::floor(value);
    const double fraction = value - lower;
    if (fraction > 0.5)
        return static_cast<int>(lower) + 1;
    if (fraction < 0.5)
        return static_cast<int>(lower);
    const int even = static_cast<int>(lower);
    return even % 2 == 0 ? even : even + 1;
}

std::vector<RampBand> colorRamp(QColor a, QColor b, int length)
{
    const int dR = b.red() - a.red();
    const int dG = b.green() - a.green();
    const int dB = b.blue() - a.blue();
    const int n = std::max({std::abs(dR), std::abs(dG), std::abs(dB), 1});
    const double s = double(length) / n / 2.0;
    const int bandLength = roundHalfEven(s) + 1;

    std::vector<RampBand> bands;
    bands.reserve(n);
    for (int i = 0; i < n; ++i) {
        RampBand band;
        band.colour = QColor(a.red() + roundHalfEven(double(i) * dR / n),
                             a.green() + roundHalfEven(double(i) * dG / n),
                             a.blue() + roundHalfEven(double(i) * dB / n));
        band.start = roundHalfEven(i * s);
        band.length = bandLength;
        bands.push_back(band);
    }
    return bands;
}

namespace {

class Plan {
public:
    explicit Plan(QSize size) : m_client(QPoint(0, 0), size) {}

    void fill(const QRect &rect, const QColor &colour)
    {
        const QRect visible = rect.intersected(m_client);
        if (!visible.isEmpty())
            m_steps.push_back({visible, colour});
    }

    std::vector<PaintStep> take() { return std::move(m_steps); }

private:
    QRect m_client;
    std::vector<PaintStep> m_steps;
};

// Horizontal 3D line: dark at both ends, light in the middle, drawn as runs of
// a line whose end point is left out.
void horizontal3DLine(Plan &plan, const StylePanelLook &look, int width, int row)
{
    int x = 0;
    for (const RampBand &band : colorRamp(look.gradientColor3DDark, look.gradientColor3DLight, width)) {
        if (band.end() > x)
            plan.fill(QRect(x, row, band.end() - x, 1), band.colour);
        x = std::max(x, band.end());
    }
    const int half = roundHalfEven(width / 2.0);
    x = half;
    for (const RampBand &band : colorRamp(look.gradientColor3DLight, look.gradientColor3DDark, width)) {
        const int end = half + band.end();
        if (end > x)
            plan.fill(QRect(x, row, end - x, 1), band.colour);
        x = std::max(x, end);
    }
}

} // namespace

std::vector<PaintStep> stylePanelPaintPlan(const StylePanelLook &look, QSize size)
{
    const int width = size.width();
    const int height = size.height();
    Plan plan(size);
    if (width <= 0 || height <= 0)
        return plan.take();

    const int k = look.lineTop ? 2 : 1; // first row of the gradient body
    if (!look.gradient) {
        plan.fill(QRect(0, 0, width, height), look.color);
    } else if (look.gradientVertical) {
        plan.fill(QRect(0, k - 1, width, 1), look.gradientColor3DLight);
        for (const RampBand &band : colorRamp(look.gradientColor1, look.gradientColor2, height))
            plan.fill(QRect(0, k + band.start, width, band.length), band.colour);
        // The lower half starts two rows above the middle.
        const int lowerStart = k + roundHalfEven(height / 2.0) - 2;
        const std::vector<RampBand> lower = colorRamp(look.gradientColor3, look.gradientColor4, height);
        for (const RampBand &band : lower)
            plan.fill(QRect(0, lowerStart + band.start, width, band.length), band.colour);
        // Rounding can stop the last band one row short of the bottom; its
        // colour fills that row.
        const int end = lowerStart + lower.back().end();
        const int bottom = look.lineBottom ? height - 1 : height;
        if (end < bottom)
            plan.fill(QRect(0, end, width, bottom - end), lower.back().colour);
    } else {
        horizontal3DLine(plan, look, width, k - 1);
        for (const RampBand &band : colorRamp(look.gradientColor1, look.gradientColor2, width))
            plan.fill(QRect(band.start, k, band.length, height - k), band.colour);
        const int rightStart = roundHalfEven(width / 2.0);
        const std::vector<RampBand> right = colorRamp(look.gradientColor3, look.gradientColor4, width);
        for (const RampBand &band : right)
            plan.fill(QRect(rightStart + band.start, k, band.length, height - k), band.colour);
        // As below, for the last column (rounding never actually leaves it uncovered).
        const int end = rightStart + right.back().end();
        const int rightEdge = look.lineRight ? width - 1 : width;
        if (end < rightEdge)
            plan.fill(QRect(end, 0, rightEdge - end, height), right.back().colour);
    }

    if (look.lineTop)
        plan.fill(QRect(0, 0, width, 1), look.lineColor);
    if (look.lineBottom)
        plan.fill(QRect(0, height - 1, width, 1), look.lineColor);
    if (look.lineLeft)
        plan.fill(QRect(0, 0, 1, height), look.lineColor);
    if (look.lineRight)
        plan.fill(QRect(width - 1, 0, 1, height), look.lineColor);
    return plan.take();
}

void paintStylePanel(QPainter &painter, const StylePanelLook &look, QSize size)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const PaintStep &step : stylePanelPaintPlan(look, size))
        painter.fillRect(step.rect, step.colour);
    painter.restore();
}

} // namespace widgets

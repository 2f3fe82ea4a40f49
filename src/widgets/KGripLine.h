#pragma once
// TKGripLine: a row of small embossed dots, used as a separator on the styled
// panels. Draws no text and no background.
#include "KCustomLabel.h"
#include "KThemes.h"

#include <QPoint>
#include <vector>

class QPainter;

namespace widgets {

// Top-left corners of the dots of a grip line of the given size: along the
// line at a pitch of 3 (small dots) or 4 (large dots), across it placed by
// alignment (vertical lines) or layout (horizontal lines).
std::vector<QPoint> gripDotPositions(QSize size, bool vertical, bool smallDots, TAlignment alignment,
                                     TTextLayout layout);

// Draws the dots: a large dot is three dark pixels in the top-left and three
// light ones in the bottom-right of a 3 x 3 cell; a small one a dark pixel and
// a light one diagonally below it.
void paintGripLine(QPainter &painter, QSize size, bool vertical, bool smallDots, TAlignment alignment,
                   TTextLayout layout, const QColor &dark, const QColor &light);

class TKGripLine : public TKCustomLabel {
    Q_OBJECT
public:
    explicit TKGripLine(QWidget *parent = nullptr);

    // --- properties, in their published order ---
    // A changed colour switches Theme to thCustom.
    QColor Color3DDark() const { return m_dark; }
    void setColor3DDark(const QColor &colour);
    QColor Color3DLight() const { return m_light; }
    void setColor3DLight(const QColor &colour);
    bool SmallDots() const { return m_smallDots; }
    void setSmallDots(bool on);
    // Any theme but thCustom copies its grip colours.
    TKThemeTypes Theme() const { return m_theme; }
    void setTheme(TKThemeTypes theme);
    bool Vertical() const { return m_vertical; }
    void setVertical(bool on);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_dark = Qt::black;
    QColor m_light = Qt::white;
    bool m_smallDots = false;
    TKThemeTypes m_theme = thCustom;
    bool m_vertical = false;
};

} // namespace widgets

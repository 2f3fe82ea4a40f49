#include "KGripLine.h"

#include <QPainter>
#include <algorithm>

namespace widgets {

std::vector<QPoint> gripDotPositions(QSize size, bool vertical, bool smallDots, TAlignment alignment,
                                     TTextLayout layout)
{
    const int pitch = smallDots ? 3 : 4;
    const int dotSpan = smallDots ? 2 : 3; // pixels a dot covers across the line
    const int along = vertical ? size.height() : size.width();
    const int across = vertical ? size.width() : size.height();

    int cross = 0;
    const bool atEnd = vertical ? alignment == taRightJustify : layout == tlBottom;
    const bool centred = vertical ? alignment == taCenter : layout == tlCenter;
    if (atEnd)
        cross = across - dotSpan;
    else if (centred)
        cross = across / 2 - 2;
    cross = std::max(cross, 0);

    std::vector<QPoint> dots;
    const int count = along / pitch;
    for (int i = 0; i < count; ++i)
        dots.push_back(vertical ? QPoint(cross, pitch * i) : QPoint(pitch * i, cross));
    return dots;
}

void paintGripLine(QPainter &painter, QSize size, bool vertical, bool smallDots, TAlignment alignment,
                   TTextLayout layout, const QColor &dark, const QColor &light)
{
    for (const QPoint &p : gripDotPositions(size, vertical, smallDots, alignment, layout)) {
        const int x = p.x(), y = p.y();
        if (smallDots) {
            painter.fillRect(x, y, 1, 1, dark);
            painter.fillRect(x + 1, y + 1, 1, 1, light);
        } else {
            painter.fillRect(x, y, 2, 1, dark);
            painter.fillRect(x, y + 1, 1, 1, dark);
            painter.fillRect(x + 2, y + 1, 1, 2, light);
            painter.fillRect(x + 1, y + 2, 1, 1, light);
        }
    }
}

TKGripLine::TKGripLine(QWidget *parent) : TKCustomLabel(parent)
{
    setAutoSize(false);
    setTransparent(true);
    resize(30, 30);
}

void TKGripLine::setColor3DDark(const QColor &colour)
{
    const QColor value = QColor::fromRgb(colour.rgb());
    if (value == m_dark)
        return;
    m_dark = value;
    m_theme = thCustom;
    update();
}

void TKGripLine::setColor3DLight(const QColor &colour)
{
    const QColor value = QColor::fromRgb(colour.rgb());
    if (value == m_light)
        return;
    m_light = value;
    m_theme = thCustom;
    update();
}

void TKGripLine::setSmallDots(bool on)
{
    if (on == m_smallDots)
        return;
    m_smallDots = on;
    update();
}

void TKGripLine::setVertical(bool on)
{
    if (on == m_vertical)
        return;
    m_vertical = on;
    update();
}

void TKGripLine::setTheme(TKThemeTypes theme)
{
    if (const TKTheme *record = themeRecord(theme)) {
        m_dark = themeColor(record->GripColorDark);
        m_light = themeColor(record->GripColorLight);
    }
    m_theme = theme;
    update();
}

void TKGripLine::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintGripLine(painter, size(), m_vertical, m_smallDots, Alignment(), Layout(), m_dark, m_light);
}

} // namespace widgets

#include "KWindowZones.h"

#include <algorithm>

namespace widgets {

WindowZone windowZoneAt(QPoint p, QSize form)
{
    const bool left = p.x() < ZoneBand;
    const bool right = !left && p.x() > form.width() - ZoneBand;
    if (p.y() < ZoneBand)
        return left ? WindowZone::TopLeft : right ? WindowZone::TopRight : WindowZone::Top;
    if (p.y() > form.height() - ZoneBand)
        return left ? WindowZone::BottomLeft : right ? WindowZone::BottomRight : WindowZone::Bottom;
    return left ? WindowZone::Left : right ? WindowZone::Right : WindowZone::Inner;
}

Qt::CursorShape zoneCursor(WindowZone zone)
{
    switch (zone) {
    case WindowZone::TopLeft:
    case WindowZone::BottomRight:
        return Qt::SizeFDiagCursor;
    case WindowZone::TopRight:
    case WindowZone::BottomLeft:
        return Qt::SizeBDiagCursor;
    case WindowZone::Top:
    case WindowZone::Bottom:
        return Qt::SizeVerCursor;
    case WindowZone::Left:
    case WindowZone::Right:
        return Qt::SizeHorCursor;
    case WindowZone::Inner:
        break;
    }
    return Qt::ArrowCursor;
}

SizeCommand zoneSizeCommand(WindowZone zone)
{
    switch (zone) {
    case WindowZone::Left: return scSizeLeft;
    case WindowZone::Right: return scSizeRight;
    case WindowZone::Top: return scSizeTop;
    case WindowZone::TopLeft: return scSizeTopLeft;
    case WindowZone::TopRight: return scSizeTopRight;
    case WindowZone::Bottom: return scSizeBottom;
    case WindowZone::BottomLeft: return scSizeBottomLeft;
    case WindowZone::BottomRight: return scSizeBottomRight;
    case WindowZone::Inner: break;
    }
    return scNone;
}

Qt::Edges zoneEdges(WindowZone zone)
{
    switch (zone) {
    case WindowZone::Left: return Qt::LeftEdge;
    case WindowZone::Right: return Qt::RightEdge;
    case WindowZone::Top: return Qt::TopEdge;
    case WindowZone::TopLeft: return Qt::TopEdge | Qt::LeftEdge;
    case WindowZone::TopRight: return Qt::TopEdge | Qt::RightEdge;
    case WindowZone::Bottom: return Qt::BottomEdge;
    case WindowZone::BottomLeft: return Qt::BottomEdge | Qt::LeftEdge;
    case WindowZone::BottomRight: return Qt::BottomEdge | Qt::RightEdge;
    case WindowZone::Inner: break;
    }
    return {};
}

SizeCommand PressAction::command() const
{
    switch (kind) {
    case Resize: return zoneSizeCommand(zone);
    case Move: return scMoveCaption;
    case None: break;
    }
    return scNone;
}

PressAction pressActionAt(QPoint p, QSize form, bool formResize, bool formMove)
{
    const WindowZone zone = windowZoneAt(p, form);
    if (formResize && zone != WindowZone::Inner)
        return {PressAction::Resize, zone};
    if (formMove)
        return {PressAction::Move, WindowZone::Inner};
    return {};
}

QRect draggedGeometry(const QRect &start, WindowZone zone, QPoint delta, QSize minimum)
{
    if (zone == WindowZone::Inner)
        return start.translated(delta);
    const Qt::Edges edges = zoneEdges(zone);
    int left = start.left(), top = start.top();
    int right = left + start.width(), bottom = top + start.height(); // exclusive
    const int minWidth = std::max(minimum.width(), 1);
    const int minHeight = std::max(minimum.height(), 1);
    if (edges & Qt::LeftEdge)
        left = std::min(left + delta.x(), right - minWidth);
    if (edges & Qt::RightEdge)
        right = std::max(right + delta.x(), left + minWidth);
    if (edges & Qt::TopEdge)
        top = std::min(top + delta.y(), bottom - minHeight);
    if (edges & Qt::BottomEdge)
        bottom = std::max(bottom + delta.y(), top + minHeight);
    return QRect(left, top, right - left, bottom - top);
}

} // namespace widgets

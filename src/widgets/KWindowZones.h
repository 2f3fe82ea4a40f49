#pragma once
// The frame behaviour of a styled panel, decided in form coordinates: which
// zone of the window a point lies in, the cursor and the window-manager request
// that belong to it, and what a press does.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <Qt>

namespace widgets {

enum class WindowZone { Inner, Left, Right, Top, TopLeft, TopRight, Bottom, BottomLeft, BottomRight };

// Width of the resize band along each window edge.
constexpr int ZoneBand = 5;

// Size command codes of the window manager (SC_SIZE plus the edge code) and
// the move-by-caption command.
enum SizeCommand : int {
    scNone = 0,
    scSizeLeft = 0xF001,
    scSizeRight = 0xF002,
    scSizeTop = 0xF003,
    scSizeTopLeft = 0xF004,
    scSizeTopRight = 0xF005,
    scSizeBottom = 0xF006,
    scSizeBottomLeft = 0xF007,
    scSizeBottomRight = 0xF008,
    scMoveCaption = 0xF012
};

// The zone of point p (form coordinates) in a form of the given outer size:
// top y < 5, bottom y > H - 5, left x < 5, right x > W - 5; the top wins over
// the bottom and the left over the right on forms too small to tell them apart.
WindowZone windowZoneAt(QPoint p, QSize form);

// Cursor shown over a zone; Qt::ArrowCursor for the inner area.
Qt::CursorShape zoneCursor(WindowZone zone);

// The size command for a zone (scNone for the inner area).
SizeCommand zoneSizeCommand(WindowZone zone);

// The edges QWindow::startSystemResize takes for a zone (none for the inner area).
Qt::Edges zoneEdges(WindowZone zone);

// What a mouse press on a panel does to its form.
struct PressAction {
    enum Kind { None, Resize, Move };
    Kind kind = None;
    WindowZone zone = WindowZone::Inner;
    // scSizeLeft..scSizeBottomRight, scMoveCaption or scNone.
    SizeCommand command() const;
    bool operator==(const PressAction &other) const = default;
};

// A press at p (form coordinates): with formResize a press in an edge zone
// resizes from that edge; with formMove a press in the inner area, or anywhere
// when formResize is off, moves the form.
PressAction pressActionAt(QPoint p, QSize form, bool formResize, bool formMove);

// Geometry of a window dragged by delta from start: a move (zone Inner) shifts
// it; an edge or corner zone moves those edges, never making the window smaller
// than minimum and keeping the opposite edges in place. Used where the window
// manager cannot take over the move or resize.
QRect draggedGeometry(const QRect &start, WindowZone zone, QPoint delta, QSize minimum);

} // namespace widgets

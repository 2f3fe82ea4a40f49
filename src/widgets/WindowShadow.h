#pragma once
// The drop shadow of a frameless window, where the window system can show
// translucency. Qt has no class style for it, so a see-through companion
// window, which takes neither input nor focus, lies below and right of the
// window and follows it: moved, resized, hidden while the window is hidden,
// minimised, maximised or full screen.
#include <QPointer>
#include <QRect>
#include <QWidget>

class QPainter;

namespace widgets {

// How far the shadow reaches right and below the window.
inline constexpr int ShadowDepth = 6;

// The shadow's place for a window's frame: the frame moved right and down.
QRect shadowGeometry(const QRect &frame, int depth = ShadowDepth);
// Whether a window in this state casts its shadow.
bool castsShadow(bool visible, Qt::WindowStates state);
// Paints a soft shadow of a box of boxSize whose top left is at offset
// (depth, depth) in the painter's coordinates, darker towards its middle; the
// box itself at (0, 0) is left clear, so the shadow never dims the window.
void paintSoftShadow(QPainter &painter, const QSize &boxSize, int depth, bool clearBox);

class WindowShadow : public QWidget {
    Q_OBJECT
public:
    explicit WindowShadow(QWidget *window);
    ~WindowShadow() override;

    // Places or hides the shadow after the window's state; restack puts the
    // window back above its shadow (on show and activation, not while dragged).
    void follow(bool restack);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QPointer<QWidget> m_window;
};

} // namespace widgets

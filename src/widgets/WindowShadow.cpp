#include "WindowShadow.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

namespace widgets {

QRect shadowGeometry(const QRect &frame, int depth)
{
    return frame.translated(depth, depth);
}

bool castsShadow(bool visible, Qt::WindowStates state)
{
    return visible && !(state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
}

void paintSoftShadow(QPainter &painter, const QSize &boxSize, int depth, bool clearBox)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    if (clearBox) {
        QPainterPath outside;
        outside.addRect(QRectF(0, 0, boxSize.width() + depth, boxSize.height() + depth));
        QPainterPath box;
        box.addRect(QRectF(QPointF(0, 0), QSizeF(boxSize)));
        painter.setClipPath(outside.subtracted(box));
    }
    const QRect shadow(QPoint(depth, depth), boxSize);
    // Layers inset one pixel each: the middle is covered most often.
    for (int i = 0; i < depth; ++i) {
        painter.setBrush(QColor(0, 0, 0, 14));
        painter.drawRoundedRect(shadow.adjusted(i, i, -i, -i), depth - i, depth - i);
    }
    painter.restore();
}

WindowShadow::WindowShadow(QWidget *window)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                           Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
      m_window(window)
{
    setObjectName(QStringLiteral("WindowShadow"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    window->installEventFilter(this);
    follow(false);
}

WindowShadow::~WindowShadow()
{
    if (m_window)
        m_window->removeEventFilter(this);
}

void WindowShadow::follow(bool restack)
{
    if (!m_window || !castsShadow(m_window->isVisible(), m_window->windowState())) {
        hide();
        return;
    }
    setGeometry(shadowGeometry(m_window->frameGeometry()));
    if (isVisible() && !restack)
        return;
    show();
    // The window goes above its shadow again.
    raise();
    m_window->raise();
}

bool WindowShadow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Hide:
        case QEvent::WindowStateChange:
            follow(false);
            break;
        case QEvent::Show:
        case QEvent::WindowActivate:
            follow(true);
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void WindowShadow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // In its own coordinates the window lies at (-depth, -depth).
    painter.translate(-ShadowDepth, -ShadowDepth);
    paintSoftShadow(painter, size(), ShadowDepth, true);
}

} // namespace widgets

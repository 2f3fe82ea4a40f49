#include "KStylePanel.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace widgets {

namespace {

QColor opaque(const QColor &colour)
{
    return QColor::fromRgb(colour.rgb()); // 24-bit RGB, no alpha
}

} // namespace

TKStylePanel::TKStylePanel(QWidget *parent) : QWidget(parent)
{
    m_look.color = palette().color(QPalette::Button);
    setAttribute(Qt::WA_OpaquePaintEvent); // every pixel comes from the plan
    setMouseTracking(true);                // the resize cursor follows the mouse
}

void TKStylePanel::setLookFlag(bool StylePanelLook::*member, bool on)
{
    if (m_look.*member == on)
        return;
    m_look.*member = on;
    changedByHand();
}

void TKStylePanel::setLookColor(QColor StylePanelLook::*member, const QColor &colour)
{
    const QColor value = opaque(colour);
    if (m_look.*member == value)
        return;
    m_look.*member = value;
    changedByHand();
}

void TKStylePanel::changedByHand()
{
    m_theme = thCustom;
    update();
}

void TKStylePanel::setLineTop(bool on)
{
    m_look.lineTop = on;
    update();
}

void TKStylePanel::setLineBottom(bool on)
{
    m_look.lineBottom = on;
    update();
}

void TKStylePanel::setLineLeft(bool on)
{
    m_look.lineLeft = on;
    update();
}

void TKStylePanel::setLineRight(bool on)
{
    m_look.lineRight = on;
    update();
}

void TKStylePanel::setLineColor(const QColor &colour) { setLookColor(&StylePanelLook::lineColor, colour); }
void TKStylePanel::setGradientColor1(const QColor &colour) { setLookColor(&StylePanelLook::gradientColor1, colour); }
void TKStylePanel::setGradientColor2(const QColor &colour) { setLookColor(&StylePanelLook::gradientColor2, colour); }
void TKStylePanel::setGradientColor3(const QColor &colour) { setLookColor(&StylePanelLook::gradientColor3, colour); }
void TKStylePanel::setGradientColor4(const QColor &colour) { setLookColor(&StylePanelLook::gradientColor4, colour); }
void TKStylePanel::setGradientColor3DLight(const QColor &colour)
{
    setLookColor(&StylePanelLook::gradientColor3DLight, colour);
}
void TKStylePanel::setGradientColor3DDark(const QColor &colour)
{
    setLookColor(&StylePanelLook::gradientColor3DDark, colour);
}
void TKStylePanel::setGradientVertical(bool on) { setLookFlag(&StylePanelLook::gradientVertical, on); }
void TKStylePanel::setGradient(bool on) { setLookFlag(&StylePanelLook::gradient, on); }

void TKStylePanel::setColor(const QColor &colour)
{
    m_look.color = colour;
    update();
}

void TKStylePanel::setTheme(TKThemeTypes theme)
{
    if (const TKTheme *record = themeRecord(theme)) {
        m_look.lineColor = themeColor(record->LineColor);
        m_look.gradientColor1 = themeColor(record->GradientColor1);
        m_look.gradientColor2 = themeColor(record->GradientColor2);
        m_look.gradientColor3 = themeColor(record->GradientColor3);
        m_look.gradientColor4 = themeColor(record->GradientColor4);
        m_look.gradientColor3DLight = themeColor(record->GradientColor3DLight);
        m_look.gradientColor3DDark = themeColor(record->GradientColor3DDark);
        m_look.gradientVertical = record->GradientVertical;
        m_look.gradient = true;
    }
    m_theme = theme;
    update();
}

void TKStylePanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintStylePanel(painter, m_look, size());
}

QWidget *TKStylePanel::form() const
{
    QWidget *parent = parentWidget();
    return parent && parent->isWindow() ? parent : nullptr;
}

bool TKStylePanel::requestSystemResize(Qt::Edges edges)
{
    QWidget *window = form();
    QWindow *handle = window ? window->windowHandle() : nullptr;
    return handle && handle->startSystemResize(edges);
}

bool TKStylePanel::requestSystemMove()
{
    QWidget *window = form();
    QWindow *handle = window ? window->windowHandle() : nullptr;
    return handle && handle->startSystemMove();
}

// The mouse handlers accept their events: a panel inside another panel must
// not hand a press or double click on to the outer one.
void TKStylePanel::mouseMoveEvent(QMouseEvent *event)
{
    QWidget::mouseMoveEvent(event);
    event->accept();
    QWidget *window = form();
    if (!window)
        return;
    const QPoint global = event->globalPosition().toPoint();
    if (m_dragging) {
        window->setGeometry(draggedGeometry(m_startGeometry, m_dragZone, global - m_pressGlobal,
                                            window->minimumSize()));
        return;
    }
    if (m_movePending && event->buttons() != Qt::NoButton
        && (global - m_pressGlobal).manhattanLength() >= QApplication::startDragDistance()) {
        m_movePending = false;
        if (!requestSystemMove()) {
            m_dragging = true;
            m_dragZone = WindowZone::Inner;
            m_startGeometry = window->geometry();
        }
        return;
    }
    if (m_formResize) {
        // The panel's own cursor, so it never outlives the pointer leaving the
        // panel (a size cursor over the grid would promise a resize that the
        // grid does not do).
        const WindowZone zone = windowZoneAt(pos() + event->position().toPoint(), window->size());
        if (zone == WindowZone::Inner)
            unsetCursor();
        else
            setCursor(zoneCursor(zone));
    }
}

void TKStylePanel::mousePressEvent(QMouseEvent *event)
{
    QWidget::mousePressEvent(event);
    event->accept();
    m_movePending = false;
    m_dragging = false;
    QWidget *window = form();
    if (!window)
        return;
    m_pressGlobal = event->globalPosition().toPoint();
    const PressAction action =
        pressActionAt(pos() + event->position().toPoint(), window->size(), m_formResize, m_formMove);
    if (action.kind == PressAction::Resize) {
        if (!requestSystemResize(zoneEdges(action.zone))) {
            m_dragging = true;
            m_dragZone = action.zone;
            m_startGeometry = window->geometry();
        }
    } else if (action.kind == PressAction::Move) {
        m_movePending = true;
    }
}

void TKStylePanel::mouseReleaseEvent(QMouseEvent *event)
{
    QWidget::mouseReleaseEvent(event);
    event->accept();
    m_movePending = false;
    m_dragging = false;
}

void TKStylePanel::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
    m_movePending = false;
    m_dragging = false;
    QWidget *window = form();
    if (!window || !m_formMaximize)
        return;
    const Qt::WindowStates state = window->windowState();
    if (!(state & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
        window->setWindowState((state & ~Qt::WindowActive) | Qt::WindowMaximized);
    else
        window->setWindowState(state & ~(Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen));
}

void TKStylePanel::enterEvent(QEnterEvent *event)
{
    QWidget::enterEvent(event);
    if (OnMouseEnter)
        OnMouseEnter(*this);
}

void TKStylePanel::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    if (OnMouseLeave)
        OnMouseLeave(*this);
}

void applyApplicationActive(QWidget *owner, bool active)
{
    if (!owner)
        return;
    for (TKStylePanel *panel : owner->findChildren<TKStylePanel *>()) {
        const TKThemeTypes theme = themeForApplicationState(panel->Theme(), active);
        if (theme != panel->Theme())
            panel->setTheme(theme);
    }
}

} // namespace widgets

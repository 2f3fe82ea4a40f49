#pragma once
// TKStylePanel: a panel painted as a two-part colour gradient with a one-pixel
// 3D line and optional border lines, coloured from a KThemes theme. Placed
// directly on a window it can serve as that window's frame: its edges and
// corners resize the window (FormResize), its inner area moves it (FormMove)
// and a double click maximises or restores it (FormMaximize).
#include "KGradient.h"
#include "KThemes.h"
#include "KWindowZones.h"

#include <QPoint>
#include <QRect>
#include <QWidget>
#include <functional>

namespace widgets {

class TKStylePanel : public QWidget {
    Q_OBJECT
public:
    using NotifyEvent = std::function<void(TKStylePanel &sender)>;

    explicit TKStylePanel(QWidget *parent = nullptr);

    // --- properties, in their published order ---
    // The Line... flags store and repaint. LineColor, the GradientColor...
    // values, GradientVertical and Gradient store, switch Theme to thCustom and
    // repaint when the value changes; an equal value does nothing.
    bool LineTop() const { return m_look.lineTop; }
    void setLineTop(bool on);
    bool LineBottom() const { return m_look.lineBottom; }
    void setLineBottom(bool on);
    bool LineLeft() const { return m_look.lineLeft; }
    void setLineLeft(bool on);
    bool LineRight() const { return m_look.lineRight; }
    void setLineRight(bool on);
    QColor LineColor() const { return m_look.lineColor; }
    void setLineColor(const QColor &colour);
    QColor GradientColor1() const { return m_look.gradientColor1; }
    void setGradientColor1(const QColor &colour);
    QColor GradientColor2() const { return m_look.gradientColor2; }
    void setGradientColor2(const QColor &colour);
    QColor GradientColor3() const { return m_look.gradientColor3; }
    void setGradientColor3(const QColor &colour);
    QColor GradientColor4() const { return m_look.gradientColor4; }
    void setGradientColor4(const QColor &colour);
    QColor GradientColor3DLight() const { return m_look.gradientColor3DLight; }
    void setGradientColor3DLight(const QColor &colour);
    QColor GradientColor3DDark() const { return m_look.gradientColor3DDark; }
    void setGradientColor3DDark(const QColor &colour);
    bool GradientVertical() const { return m_look.gradientVertical; }
    void setGradientVertical(bool on);
    bool Gradient() const { return m_look.gradient; }
    void setGradient(bool on);
    // Window behaviours; only stored, they act on the parent window when it is
    // the panel's direct parent.
    bool FormResize() const { return m_formResize; }
    void setFormResize(bool on) { m_formResize = on; }
    bool FormMove() const { return m_formMove; }
    void setFormMove(bool on) { m_formMove = on; }
    bool FormMaximize() const { return m_formMaximize; }
    void setFormMaximize(bool on) { m_formMaximize = on; }
    // Any theme but thCustom copies its line, gradient and 3D colours and its
    // vertical flag and switches Gradient on; thCustom keeps the colours.
    TKThemeTypes Theme() const { return m_theme; }
    void setTheme(TKThemeTypes theme);
    // Raised with the panel as sender when the mouse enters or leaves it.
    NotifyEvent OnMouseEnter;
    NotifyEvent OnMouseLeave;

    // Fill colour while Gradient is off (the panel's own colour).
    QColor Color() const { return m_look.color; }
    void setColor(const QColor &colour);

    // Everything the painting uses.
    const StylePanelLook &look() const { return m_look; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

    // Hand an interactive resize or move of the window to the window manager;
    // false when it cannot take it, and the panel then drags the window itself.
    // Tests override these to see the requests.
    virtual bool requestSystemResize(Qt::Edges edges);
    virtual bool requestSystemMove();

private:
    // The window the frame behaviours act on: the direct parent when it is a
    // window, else nullptr (a panel inside another panel does nothing).
    QWidget *form() const;
    void setLookColor(QColor StylePanelLook::*member, const QColor &colour);
    void setLookFlag(bool StylePanelLook::*member, bool on);
    void changedByHand();

    StylePanelLook m_look;
    bool m_formResize = false;
    bool m_formMove = false;
    bool m_formMaximize = false;
    TKThemeTypes m_theme = thCustom;

    // A press in the inner area starts the window move only once the mouse has
    // moved a little, so a double click still reaches the panel.
    bool m_movePending = false;
    // Set while the panel drags the window itself.
    bool m_dragging = false;
    WindowZone m_dragZone = WindowZone::Inner;
    QPoint m_pressGlobal;
    QRect m_startGeometry;
};

// The application gained (active) or lost the focus: every styled panel owned
// by owner with theme thVerticalDark takes thVerticalDarkDisabled, and back.
// Panels with other themes are left alone.
void applyApplicationActive(QWidget *owner, bool active);

} // namespace widgets

#include "ToolbarSkin.h"

#include <QMenuBar>
#include <QToolBar>

namespace app {

namespace {

struct Colours {
    const char *barTop;      // bar background (top of the gradient)
    const char *barBottom;   // bottom of the gradient of the Windows XP look
    const char *menu;        // popup menu background
    const char *band;        // the icon band at the left of a popup menu
    const char *hot;         // item under the mouse
    const char *hotBottom;   // lower end of the hot gradient (Windows XP look)
    const char *hotBorder;
    const char *pressed;
    const char *frame;       // popup menu frame
    const char *separator;
    const char *hotText;     // text of a selected popup menu item
};

// Office XP: warm grey bars, a lavender-grey highlight framed in navy.
constexpr Colours OfficeColours = {"#f7f5f0", "#e2ded3", "#fcfcf9", "#dbd8d1", "#b6bdd2",
                                   "#9fa9c8", "#0a246a", "#8592b5", "#808080", "#a6a6a6",
                                   "#000000"};
// Windows XP (Luna): blue bars, a light blue highlight framed in Luna blue.
constexpr Colours WindowsColours = {"#e3efff", "#9ebef5", "#f9fbff", "#c4d8f8", "#c1d2ee",
                                    "#98b5e2", "#316ac5", "#7d9fd9", "#6a8ccb", "#6f9ddc",
                                    "#000000"};

QString sheet(bool windowsLook, const Colours &c)
{
    const QString bar = windowsLook
                            ? QStringLiteral("qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %1, stop:1 %2)")
                                  .arg(QLatin1String(c.barTop), QLatin1String(c.barBottom))
                            : QString::fromLatin1(c.barTop);
    const QString hot = windowsLook
                            ? QStringLiteral("qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %1, stop:1 %2)")
                                  .arg(QLatin1String(c.hot), QLatin1String(c.hotBottom))
                            : QString::fromLatin1(c.hot);
    // The Windows XP look has rounded highlights, the Office XP look square ones.
    const QString radius = windowsLook ? QStringLiteral("3px") : QStringLiteral("0px");
    QString text = QStringLiteral(
        "QMenuBar { background: @bar; border: none; }\n"
        "QMenuBar::item { background: transparent; padding: 3px 8px; border: 1px solid transparent;"
        " border-radius: @radius; }\n"
        "QMenuBar::item:selected { background: @hot; border: 1px solid @hotBorder; }\n"
        "QMenuBar::item:pressed { background: @band; border: 1px solid @frame; }\n"
        "QToolBar { background: @bar; border: none; spacing: 2px; padding: 1px; }\n"
        "QToolBar::separator { background: @separator; width: 1px; margin: 4px 3px; }\n"
        "QToolButton { background: transparent; border: 1px solid transparent; padding: 2px;"
        " border-radius: @radius; }\n"
        "QToolButton:hover { background: @hot; border: 1px solid @hotBorder; }\n"
        "QToolButton:pressed, QToolButton:checked { background: @pressed; border: 1px solid @hotBorder; }\n"
        "QMenu { background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 @band, stop:0.12 @band,"
        " stop:0.1201 @menu, stop:1 @menu); border: 1px solid @frame; padding: 2px; }\n"
        "QMenu::item { background: transparent; padding: 3px 20px 3px 28px; border: 1px solid transparent;"
        " border-radius: @radius; }\n"
        "QMenu::item:selected { background: @hot; border: 1px solid @hotBorder; color: @hotText; }\n"
        "QMenu::separator { height: 1px; background: @separator; margin: 3px 2px 3px 28px; }\n");
    text.replace(QLatin1String("@bar"), bar);
    text.replace(QLatin1String("@hotBorder"), QLatin1String(c.hotBorder));
    text.replace(QLatin1String("@hotText"), QLatin1String(c.hotText));
    text.replace(QLatin1String("@hot"), hot);
    text.replace(QLatin1String("@radius"), radius);
    text.replace(QLatin1String("@band"), QLatin1String(c.band));
    text.replace(QLatin1String("@frame"), QLatin1String(c.frame));
    text.replace(QLatin1String("@separator"), QLatin1String(c.separator));
    text.replace(QLatin1String("@pressed"), QLatin1String(c.pressed));
    text.replace(QLatin1String("@menu"), QLatin1String(c.menu));
    return text;
}

} // namespace

ToolbarSkin::ToolbarSkin(QObject *parent) : QObject(parent) {}

void ToolbarSkin::registerMenuBar(QMenuBar *menuBar)
{
    registerWidget(menuBar);
}

void ToolbarSkin::registerToolBar(QToolBar *toolBar)
{
    registerWidget(toolBar);
}

void ToolbarSkin::registerWidget(QWidget *widget)
{
    if (!widget)
        return;
    m_widgets.append(widget);
    widget->setStyleSheet(styleSheet());
}

void ToolbarSkin::setSkinType(int skinType)
{
    m_skinType = skinType;
    apply();
}

void ToolbarSkin::setColorSet(int colorSet)
{
    m_colorSet = colorSet;
    apply();
}

QString ToolbarSkin::styleSheetFor(int skinType, int colorSet)
{
    if (skinType != stOfficeXP && skinType != stWindowsXP)
        return QString();
    return sheet(skinType == stWindowsXP, colorSet == csWindowsXP ? WindowsColours : OfficeColours);
}

void ToolbarSkin::apply()
{
    const QString text = styleSheet();
    m_widgets.removeAll(nullptr);
    for (const QPointer<QWidget> &widget : std::as_const(m_widgets))
        widget->setStyleSheet(text);
    emit changed();
}

} // namespace app

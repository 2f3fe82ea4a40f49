#pragma once
// KThemes: the named colour sets the styled panel and the grip line copy their
// colours from. The table is a compile-time constant, so it exists before any
// component and never changes.
#include <QColor>
#include <QString>

namespace widgets {

// Ordinals are binding (0..17); thCustom means "colours set one by one" and has
// no record of its own.
enum TKThemeTypes {
    thCustom,               // 0
    thHorizontalDark,       // 1
    thHorizontalMedium,     // 2
    thHorizontalLight,      // 3
    thVerticalDark,         // 4
    thVerticalDarkDisabled, // 5
    thVerticalMedium,       // 6
    thVerticalLight,        // 7
    thVerticalLightWhite,   // 8
    thVerticalAquaDark,     // 9
    thVerticalAquaLight,    // 10
    thVerticalGreen,        // 11
    thVerticalRed,          // 12
    thVerticalYellow,       // 13
    thVerticalBlue,         // 14
    thVerticalWhite,        // 15
    thXPDark,               // 16
    thXPLight               // 17
};

constexpr int ThemeTypeCount = thXPLight + 1;

// One colour set; colours are 24-bit RGB (0xRRGGBB).
struct TKTheme {
    QRgb LineColor;
    QRgb GradientColor1;
    QRgb GradientColor2;
    QRgb GradientColor3;
    QRgb GradientColor4;
    QRgb GradientColor3DLight;
    QRgb GradientColor3DDark;
    bool GradientVertical;
    QRgb GripColorDark;
    QRgb GripColorLight;
};

// The record of a theme; nullptr for thCustom and for values outside the enumeration.
const TKTheme *themeRecord(TKThemeTypes theme);

// "thVerticalDark" and so on; empty outside the enumeration.
QString themeName(TKThemeTypes theme);

// A 24-bit table value as an opaque colour.
inline QColor themeColor(QRgb rgb) { return QColor::fromRgb(rgb | 0xFF000000u); }

// The theme a panel takes when the application gains (active) or loses the
// focus: thVerticalDark and thVerticalDarkDisabled swap, every other theme
// (thCustom included) stays.
TKThemeTypes themeForApplicationState(TKThemeTypes current, bool active);

} // namespace widgets

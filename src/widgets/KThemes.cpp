#include "KThemes.h"

#include <array>

namespace widgets {

namespace {

constexpr bool V = true;  // gradient runs top to bottom
constexpr bool H = false; // gradient runs left to right

// Index = ordinal; entry 0 (thCustom) is a placeholder and never handed out.
constexpr std::array<TKTheme, ThemeTypeCount> Table{{
    // line     grad1     grad2     grad3     grad4     3D light  3D dark   vert  grip dark grip light
    {0x000000, 0x666666, 0xBBBBBB, 0xBBBBBB, 0x666666, 0xEEEEEE, 0x999999, H, 0x000000, 0xFFFFFF}, // thCustom
    {0x555555, 0x000000, 0x666666, 0x666666, 0x000000, 0x999999, 0x333333, H, 0x000000, 0xFFFFFF}, // thHorizontalDark
    {0x555555, 0x666666, 0xBBBBBB, 0xBBBBBB, 0x666666, 0xEEEEEE, 0x999999, H, 0x000000, 0xFFFFFF}, // thHorizontalMedium
    {0x888888, 0xBBBBBB, 0xFFFFFF, 0xFFFFFF, 0xBBBBBB, 0xFFFFFF, 0x999999, H, 0x888888, 0xFFFFFF}, // thHorizontalLight
    {0x000000, 0x444444, 0x222222, 0x222222, 0x000000, 0x999999, 0x000000, V, 0x000000, 0x999999}, // thVerticalDark
    {0x000000, 0x555555, 0x333333, 0x333333, 0x111111, 0x999999, 0x000000, V, 0x000000, 0x999999}, // thVerticalDarkDisabled
    {0x000000, 0x999999, 0x777777, 0x777777, 0x555555, 0xCCCCCC, 0x000000, V, 0x000000, 0xBBBBBB}, // thVerticalMedium
    {0x888888, 0xEEEEEE, 0xDDDDDD, 0xDDDDDD, 0xCCCCCC, 0xFFFFFF, 0x808080, V, 0x888888, 0xFFFFFF}, // thVerticalLight
    {0x888888, 0xFFFFFF, 0xEEEEEE, 0xEEEEEE, 0xDDDDDD, 0xFFFFFF, 0x808080, V, 0x888888, 0xFFFFFF}, // thVerticalLightWhite
    {0x000000, 0x666666, 0x333333, 0x181818, 0x000000, 0x666666, 0x000000, V, 0x000000, 0x999999}, // thVerticalAquaDark
    {0x888888, 0xFFFFFF, 0xDDDDDD, 0xD4D4D4, 0xCCCCCC, 0xFFFFFF, 0x808080, V, 0x888888, 0xFFFFFF}, // thVerticalAquaLight
    {0xC0C0C0, 0xBBDDAA, 0x66BB33, 0x66BB33, 0xAADD66, 0xBBDDAA, 0x999999, V, 0x888888, 0xFFFFFF}, // thVerticalGreen
    {0xC0C0C0, 0xEECCCC, 0xBB2222, 0xBB2222, 0xEE9999, 0xEECCCC, 0x999999, V, 0x888888, 0xFFFFFF}, // thVerticalRed
    {0xC0C0C0, 0xFFEECC, 0xDDBB00, 0xDDBB00, 0xFFEE88, 0xFFEECC, 0x999999, V, 0x888888, 0xFFFFFF}, // thVerticalYellow
    {0xC0C0C0, 0xBBCCFF, 0x0022CC, 0x0022CC, 0x8888FF, 0xBBCCFF, 0x999999, V, 0x888888, 0xFFFFFF}, // thVerticalBlue
    {0xC0C0C0, 0xFFFFFF, 0xDDDDDD, 0xDDDDDD, 0xEEEEEE, 0xFFFFFF, 0x999999, V, 0x888888, 0xFFFFFF}, // thVerticalWhite
    {0x002D96, 0x5987D6, 0x2D5BB7, 0x2D5BB7, 0x002D96, 0x5381D2, 0x999999, V, 0x000000, 0xFFFFFF}, // thXPDark
    {0x002D96, 0x5987D6, 0x2D5BB7, 0x2D5BB7, 0x002D96, 0x5381D2, 0x999999, V, 0x000000, 0xFFFFFF}, // thXPLight
}};

constexpr std::array<const char *, ThemeTypeCount> Names{
    "thCustom",           "thHorizontalDark",     "thHorizontalMedium", "thHorizontalLight",
    "thVerticalDark",     "thVerticalDarkDisabled", "thVerticalMedium", "thVerticalLight",
    "thVerticalLightWhite", "thVerticalAquaDark", "thVerticalAquaLight", "thVerticalGreen",
    "thVerticalRed",      "thVerticalYellow",     "thVerticalBlue",     "thVerticalWhite",
    "thXPDark",           "thXPLight"};

bool inRange(TKThemeTypes theme) { return theme >= 0 && theme < ThemeTypeCount; }

} // namespace

const TKTheme *themeRecord(TKThemeTypes theme)
{
    if (theme == thCustom || !inRange(theme))
        return nullptr;
    return &Table[theme];
}

QString themeName(TKThemeTypes theme)
{
    return inRange(theme) ? QString::fromLatin1(Names[theme]) : QString();
}

TKThemeTypes themeForApplicationState(TKThemeTypes current, bool active)
{
    if (active && current == thVerticalDarkDisabled)
        return thVerticalDark;
    if (!active && current == thVerticalDark)
        return thVerticalDarkDisabled;
    return current;
}

} // namespace widgets

#include "StatusPlaces.h"

#include <QFontDatabase>
#include <QStringList>
#include <algorithm>

namespace app {

namespace {
constexpr int Top = 3;
constexpr int Height = 15;
constexpr int TableX = 332;
constexpr int TableWidth = 149;
// From the end of the table field to its grip line, and from there to the next field.
constexpr int GripGap = 23;
constexpr int FieldGap = 12;
constexpr int RightMargin = 8;
} // namespace

StatusPlaces statusPlaces(int panelWidth, int tableTextWidth)
{
    StatusPlaces p;
    p.record = QRect(8, Top, 305, Height);
    p.grip1 = QRect(320, Top, 3, Height);
    // A label draws its text one pixel in from each side.
    p.table = QRect(TableX, Top, std::max(TableWidth, tableTextWidth + 2), Height);
    p.grip2 = QRect(TableX + p.table.width() + GripGap, Top, 3, Height);
    const int databaseX = p.grip2.x() + FieldGap;
    p.database = QRect(databaseX, Top, std::max(50, panelWidth - databaseX - RightMargin), Height);
    return p;
}

void provideTahoma()
{
    static const bool provided = [] {
        if (QFontDatabase::families().contains(QStringLiteral("Tahoma")))
            return true;
        bool any = false;
        for (const char *file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
            any = QFontDatabase::addApplicationFont(QString::fromLatin1(file)) >= 0 || any;
        return any;
    }();
    (void)provided;
}

} // namespace app

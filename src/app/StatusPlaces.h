#pragma once
// Where the status panel's three fields and their two grip lines go. The table
// field is at least as wide as designed and grows to the width of its text, so
// that a long table name with both mode marks is never cut; the grip line and
// the database field after it move along.
#include <QRect>

namespace app {

struct StatusPlaces {
    QRect record;
    QRect grip1;
    QRect table;
    QRect grip2;
    QRect database;
};

StatusPlaces statusPlaces(int panelWidth, int tableTextWidth);

// "Tahoma" is the window's font. Where the system has no such family, the
// Tahoma of Debian's fonts-wine (the same widths) is made available to the
// program; without it the texts would fall back to a much wider face.
void provideTahoma();

} // namespace app

#pragma once
// The program's own pictures (src/widgets/pictures/), from the resources.
#include <QIcon>
#include <QPixmap>

namespace widgets {

// A picture by its file name in the resources ("logo.png"); null if there is none.
QPixmap picture(const QString &name);
// The program icon at all its sizes, for the window system's task bar.
QIcon brisvelIcon();

} // namespace widgets

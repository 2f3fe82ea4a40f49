#include "Pictures.h"

// A static library's resources must be registered by hand.
static void registerPictures()
{
    Q_INIT_RESOURCE(pictures);
}

namespace widgets {

QPixmap picture(const QString &name)
{
    static const bool registered = (registerPictures(), true);
    Q_UNUSED(registered);
    return QPixmap(QStringLiteral(":/pictures/") + name);
}

QIcon brisvelIcon()
{
    QIcon icon;
    for (const char *size : {"16", "32", "48", "256"})
        icon.addPixmap(picture(QStringLiteral("brisvel-%1.png").arg(QLatin1String(size))));
    return icon;
}

} // namespace widgets

#include "Quoting.h"

namespace engine::text {

QString quoted(const QString &text, QChar open, QChar close)
{
    QString out;
    out.reserve(text.size() + 2);
    out += open;
    for (const QChar c : text) {
        if (c == close)
            out += close;
        out += c;
    }
    out += close;
    return out;
}

QString csvCell(const QString &text, QChar separator, bool always)
{
    const bool needed = text.contains(separator) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\r'))
                        || text.contains(QLatin1Char('\n'));
    return always || needed ? doubleQuoted(text) : text;
}

} // namespace engine::text
